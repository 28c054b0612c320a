// Raw bitmap fields of the I/O parameters (data only).
#pragma once

#include <cstdint>

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

}  // namespace lumora
