// JPEG codec on libjpeg-turbo: full and scaled decoding, the APPn/COM
// markers kept between a load and a save, ICC, IPTC and XMP, and the writer.
//
// This header stays free of library headers; the library glue lives in
// jpeg_error.h and jpeg_io.h, the byte-level marker work in jpeg_markers.h.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/jpeg/jpeg_markers.h"
#include "codecs/jpeg/jpeg_params.h"
#include "imageio/codec.h"

namespace lumora {

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
// Thumbnail loads decode at the smallest scale that still fills the box,
// with the fast DCT, or take the EXIF thumbnail for small boxes.
void PrepareJpegThumbnail(TIOParamsVals& params, const TThumbnailRequest& request);

}  // namespace lumora
