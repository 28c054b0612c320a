// Colour values shared by the pixel container and the parameter records.
#pragma once

#include <cstdint>

namespace lumora {

// A 24-bit colour value: blue in bits 0-7, green in 8-15, red in 16-23.
using TLmColor = uint32_t;

#pragma pack(push, 1)
// One palette entry or pf24RGB pixel, in memory order blue, green, red.
struct TLmRGBTriple {
  uint8_t b = 0, g = 0, r = 0;

  static constexpr TLmRGBTriple FromRGB(uint8_t red, uint8_t green, uint8_t blue) {
    TLmRGBTriple t;
    t.r = red;
    t.g = green;
    t.b = blue;
    return t;
  }
  static constexpr TLmRGBTriple FromColor(TLmColor color) {
    return FromRGB(static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8), static_cast<uint8_t>(color));
  }
  constexpr TLmColor ToColor() const { return (TLmColor{r} << 16) | (TLmColor{g} << 8) | b; }
  friend constexpr bool operator==(const TLmRGBTriple&, const TLmRGBTriple&) = default;
};
#pragma pack(pop)
static_assert(sizeof(TLmRGBTriple) == 3);

// A system colour value (red in the low byte, as Windows COLORREF) to a
// TLmColor and back: the same swap of red and blue both ways.
constexpr TLmColor SwapRedBlue(uint32_t color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

}  // namespace lumora
