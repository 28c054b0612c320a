// JPEG fields of the I/O parameters (data only).
#pragma once

#include <cstdint>

#include "codecs/jpeg/jpeg_markers.h"

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

}  // namespace lumora
