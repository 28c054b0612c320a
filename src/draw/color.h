#pragma once
// Colour values of the drawing helpers: COLORREF, red in the low byte.

#include <windows.h>

#include <algorithm>

namespace lumora {

// "No colour": never equal to a pixel read from a surface (the high byte of
// a pixel is always 0), so a transparent-colour test with it matches nothing.
inline constexpr COLORREF kColorNone = 0x1FFFFFFF;

// Each channel (c1 * (100 - p) + c2 * p) / 100; p is clamped to 0..100 so
// the weights never go negative.
constexpr COLORREF MixColors(COLORREF color1, COLORREF color2, int percent) {
  const int p = std::clamp(percent, 0, 100);
  auto mix = [p](int a, int b) { return static_cast<BYTE>((a * (100 - p) + b * p) / 100); };
  return RGB(mix(GetRValue(color1), GetRValue(color2)), mix(GetGValue(color1), GetGValue(color2)),
             mix(GetBValue(color1), GetBValue(color2)));
}

}  // namespace lumora
