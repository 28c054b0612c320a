// JPEG 2000 fields of the I/O parameters (data only).
#pragma once

#include <cstdint>

namespace lumora {

// J2000ColorSpace values (writer).
inline constexpr uint8_t kJ2000Gray = 0;   // one component
inline constexpr uint8_t kJ2000RGB = 1;    // three components
inline constexpr uint8_t kJ2000YCbCr = 2;  // written like RGB

// J2000ProgressionOrder values (writer); anything else: the encoder's default.
inline constexpr uint8_t kJ2000LRCP = 0;  // layer-resolution-component-position
inline constexpr uint8_t kJ2000RLCP = 1;  // resolution-layer-component-position

// J2000Reduce: the reader picks the largest reduction whose image is not
// smaller than the requested Width x Height (the thumbnail path).
inline constexpr int32_t kJ2000ReduceAuto = -1;

// JPEG 2000 fields of TIOParamsVals.
struct TJ2000Params {
  // Writer: 0 gray, 1 RGB, 2 YCbCr. The reader leaves it alone.
  uint8_t J2000ColorSpace = kJ2000RGB;
  // Writer: size of the code stream as a fraction of the uncompressed
  // samples; 1 (or more) is lossless.
  double J2000Rate = 1.0;
  uint8_t J2000ProgressionOrder = kJ2000LRCP;
  // Reader: resolution levels to leave out, each halving width and height
  // (0 the full image; clamped to what the code stream holds), or
  // kJ2000ReduceAuto. Decoding fewer levels costs a fraction of a full decode.
  int32_t J2000Reduce = 0;
  // Reader: levels left out by the last load.
  int32_t J2000ReduceUsed = 0;
};

}  // namespace lumora
