// Layout constants of PCX and DCX shared by the reader and the writer.
#pragma once

#include <cstdint>

namespace lumora::pcx {

inline constexpr int kHeaderSize = 128;
inline constexpr uint8_t kManufacturer = 10;
inline constexpr int kHeaderPaletteOffset = 16;
inline constexpr int kHeaderPaletteEntries = 16;
inline constexpr uint8_t kPaletteMarker = 12;
inline constexpr int kPaletteBytes = 768;
inline constexpr uint8_t kRunFlag = 0xC0;
inline constexpr int kMaxRun = 63;

inline constexpr uint32_t kDcxMagic = 987654321;
inline constexpr int kDcxMaxPages = 1024;

}  // namespace lumora::pcx
