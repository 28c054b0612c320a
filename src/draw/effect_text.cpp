#include "draw/effect_text.h"

#include <string>

#include "draw/gdi.h"

namespace lumora {
namespace {

constexpr UINT kEffectTextFormat = DT_WORD_ELLIPSIS | DT_NOCLIP | DT_EXPANDTABS | DT_SINGLELINE | DT_VCENTER;

void DrawTextAt(HDC canvas, std::wstring& text, RECT rect, int dx, int dy, UINT format) {
  OffsetRect(&rect, dx, dy);
  DrawTextExW(canvas, text.data(), static_cast<int>(text.size()), &rect, format, nullptr);
}

}  // namespace

void DrawEffectTextInRect(HDC canvas, std::wstring_view text, const RECT& rect, TextAlignment alignment,
                          TextEffect effect) {
  if (!canvas) return;
  // Gives the caller back its background mode and text colour.
  ScopedSaveDC restore(canvas);
  SetBkMode(canvas, TRANSPARENT);
  const COLORREF textColor = GetTextColor(canvas);
  UINT format = kEffectTextFormat;
  if (alignment == TextAlignment::Right) format |= DT_RIGHT;
  if (alignment == TextAlignment::Center) format |= DT_CENTER;
  // DrawTextExW takes a writable buffer.
  std::wstring buffer(text);

  switch (effect) {
    case TextEffect::None:
      break;
    case TextEffect::ShadowBelowRight:
    case TextEffect::ShadowAboveLeft: {
      const int offset = effect == TextEffect::ShadowBelowRight ? 1 : -1;
      SetTextColor(canvas, GetSysColor(COLOR_3DDKSHADOW));
      DrawTextAt(canvas, buffer, rect, offset, offset, format);
      break;
    }
    case TextEffect::WhiteHalo:
      SetTextColor(canvas, RGB(255, 255, 255));
      for (const POINT offset : {POINT{-1, -1}, POINT{1, -1}, POINT{-1, 1}, POINT{1, 1}})
        DrawTextAt(canvas, buffer, rect, offset.x, offset.y, format);
      break;
    default:
      return;
  }
  SetTextColor(canvas, textColor);
  DrawTextAt(canvas, buffer, rect, 0, 0, format);
}

void DrawEffectText(HDC canvas, std::wstring_view text, int x, int y, TextAlignment alignment, TextEffect effect) {
  if (!canvas) return;
  SIZE size{};
  GetTextExtentPoint32W(canvas, text.data(), static_cast<int>(text.size()), &size);
  DrawEffectTextInRect(canvas, text, RECT{x, y, x + size.cx, y + size.cy}, alignment, effect);
}

}  // namespace lumora
