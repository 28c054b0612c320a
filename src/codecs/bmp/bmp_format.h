// BMP file layout shared by the reader and the writer (private to the codec).
#pragma once

#include <cstdint>

namespace lumora::bmp {

inline constexpr uint16_t kSignature = 0x4D42;  // "BM"
inline constexpr int kFileHeaderSize = 14;
inline constexpr int kOs2V1HeaderSize = 12;
inline constexpr int kWindowsHeaderSize = 40;
inline constexpr int kOs2V2HeaderSize = 64;
// Headers of at least this size carry the red, green and blue masks at
// offsets 40, 44 and 48 (BITMAPV2INFOHEADER and later); shorter Windows
// headers are followed by the masks.
inline constexpr int kHeaderWithMasks = 52;
inline constexpr int kHeaderWithAlphaMask = 56;

enum TCompression : uint32_t {
  kNone = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
};

// Values of BmpVersion.
enum TVersion : int32_t {
  kVersionOther = 0,
  kVersionWindows = 1,
  kVersionOs2V1 = 2,
  kVersionOs2V2 = 3,
};

// Pixels per metre to dots per inch and back, rounded half to even.
double RoundHalfEven(double value);

}  // namespace lumora::bmp
