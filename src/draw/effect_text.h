#pragma once
// Text with a shadow or a halo, as the full-screen overlay draws it.

#include <windows.h>

#include <string_view>

namespace lumora {

enum class TextAlignment { Left = 0, Right = 1, Center = 2 };

enum class TextEffect {
  None = 0,              // the text once
  ShadowBelowRight = 1,  // a dark shadow one pixel right and down
  ShadowAboveLeft = 2,   // a dark shadow one pixel left and up
  WhiteHalo = 3,         // white copies at the four diagonal neighbours
};

// Draws text on one line, vertically centred in rect, in the DC's font and
// text colour, without a background. An effect outside TextEffect draws
// nothing.
void DrawEffectTextInRect(HDC canvas, std::wstring_view text, const RECT& rect, TextAlignment alignment,
                          TextEffect effect);

// The same in the rectangle that the text occupies at (x, y).
void DrawEffectText(HDC canvas, std::wstring_view text, int x, int y, TextAlignment alignment, TextEffect effect);

}  // namespace lumora
