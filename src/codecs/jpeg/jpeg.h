// JPEG codec on libjpeg-turbo: full and scaled decoding, the APPn/COM
// markers kept between a load and a save, ICC, IPTC and XMP, and the writer.
//
// This header stays free of library headers; the library glue lives in
// jpeg_error.h and jpeg_io.h, the byte-level marker work in jpeg_markers.h.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/jpeg/jpeg_markers.h"
#include "imageio/codec.h"

namespace lumora {

// JpegColorSpace values: the file's colour space after a load, the one to
// write on a save (a value outside these writes RGB).
inline constexpr uint8_t kJpegRGB = 0;
inline constexpr uint8_t kJpegGray = 1;
inline constexpr uint8_t kJpegYCbCr = 2;
inline constexpr uint8_t kJpegCMYK = 3;
inline constexpr uint8_t kJpegYCCK = 4;

// JpegDctMethod values (reader and writer).
inline constexpr uint8_t kJpegDctAccurate = 0;  // accurate integer
inline constexpr uint8_t kJpegDctFast = 1;      // fast integer
inline constexpr uint8_t kJpegDctFloat = 2;     // floating point

// JpegScale values (reader).
inline constexpr uint8_t kJpegScaleAuto = 0;  // largest 1/2^n not smaller than Width x Height
inline constexpr uint8_t kJpegScaleFull = 1;
inline constexpr uint8_t kJpegScaleHalf = 2;
inline constexpr uint8_t kJpegScaleQuarter = 3;
inline constexpr uint8_t kJpegScaleEighth = 4;

// JPEG fields of TIOParamsVals.
struct TJpegParams {
  uint8_t JpegColorSpace = kJpegYCbCr;
  int32_t JpegQuality = 80;  // writer, 1..100 (the library clamps)
  uint8_t JpegDctMethod = kJpegDctAccurate;
  // Writer, YCbCr only: luminance sampling 0 = 2x1, 1 = 2x2, 2 = 1x1
  // (the chrominance components are always 1x1).
  uint8_t JpegChromaSubsampling = 1;
  bool JpegOptimalHuffman = false;  // writer: optimised Huffman tables
  int32_t JpegSmooth = 0;           // writer: smoothing 0..100
  bool JpegProgressive = false;     // reader: the file is progressive; writer: write one
  uint8_t JpegScale = kJpegScaleFull;
  int32_t JpegScaleUsed = 1;        // reader: the denominator used (1, 2, 4, 8)
  // The APPn and COM segments of the last load (except the JFIF header),
  // written back by the next save (except APP14, which the library writes).
  TLmMarkerList JpegMarkers;
  int32_t JpegWarningCount = 0;     // reader: library warnings of the last load
  int32_t JpegWarningCode = 0;      // reader: message code of the last warning
  bool JpegAutoOrientation = false; // reader: turn upright by the EXIF orientation
  // Reader: deliver the EXIF thumbnail instead of the image when there is one.
  bool JpegGetExifThumbnail = false;

  void ClearImageInfo() { JpegMarkers.Clear(); }
  void SetAutoOrientation(bool on) { JpegAutoOrientation = on; }
};

// How JpegReadStream is called; the defaults are those of a load.
struct TJpegReadOptions {
  // Tables-only datastream to read before the image (JPEG in TIFF); may be
  // null, and is ignored when it is the image stream itself.
  TLmStream* Tables = nullptr;
  bool NativePixelFormat = false;  // pf8g / pfCMYK as stored instead of pf24RGB
  int MaxRows = -1;                // rows to decode; -1 = all rows of the bitmap
  bool ReadIcc = true;             // load the ICC profile into the parameters
  bool InvertCmyk = false;         // CMYK data stored non-inverted (TIFF)
  bool ReadMetadata = true;        // IPTC, EXIF, XMP
  bool RawYCbCr = false;           // deliver Y, Cb, Cr bytes instead of colours
  bool ParamsOnly = false;         // header only, no pixel decoded
};

// Decodes the JPEG that starts at the stream's position (or up to 149 bytes
// after it) into `bitmap`. Returns the rows decoded; failure sets the
// aborting flag, and the rows decoded so far stay in the bitmap.
int JpegReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TJpegReadOptions& options,
                   TIOProgress& progress);

// Writes `bitmap` as one JPEG image at the stream's position, with the
// parameters' writer settings and JpegMarkers.
void JpegWriteStream(TLmStream& stream, const TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

// Position of the first 0xFF 0xD8 0xFF among the 150 positions from the
// stream's position on, or -1. The stream's position is kept.
int64_t FindJpegStart(TLmStream& stream);

// Bytes from the stream's position through the end-of-image marker, walking
// the segments (or to the end of the stream when there is no end marker).
// The stream's position is kept.
int64_t JpegStreamLength(TLmStream& stream);

// Refreshes the metadata segments of JpegMarkers from the parameters before
// a save: the resolution in the Photoshop block, IPTC and XMP.
void PrepareJpegMarkersForSave(TIOParamsVals& params);

// The codec shape (imageio/codec.h): a load, and a save with the metadata
// refreshed first.
void ReadJpeg(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteJpeg(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribeJpeg(const TIOParamsVals& params);

}  // namespace lumora
