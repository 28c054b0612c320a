// Raw bitmap: headerless pixel data read into a bitmap that the caller has
// already allocated with the data's size and pixel format (file type
// ftRawBitmap; reached through LoadImageAs / LoadImageFromStreamAs only).
// The writer stores the pixels the same way.
#pragma once

#include <cstdint>

#include "imageio/codec.h"

namespace lumora {

enum class TRawDataFormat : uint8_t {
  Binary,       // the samples as bytes (16-bit samples little-endian)
  Decimal,      // one decimal number per sample, separated by anything else
  Hexadecimal,  // one upper-case hexadecimal number per sample, likewise
};

struct TRawBitmapParams {
  int32_t RawHeaderSize = 0;     // bytes skipped before the data (read only)
  int32_t RawRowAlignment = 8;   // binary rows are padded to this many bits
  bool RawPlanar = false;        // 24-bit, CMYK and 48-bit data in one plane per channel
  bool RawBGR = false;           // colour channels stored blue, green, red (default red first)
  TRawDataFormat RawDataFormat = TRawDataFormat::Binary;
};

void ReadRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress);
void WriteRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

}  // namespace lumora
