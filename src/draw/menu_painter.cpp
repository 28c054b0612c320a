#include "draw/menu_painter.h"

#include <algorithm>

#include "draw/color.h"
#include "draw/dib_surface.h"

namespace lumora {
namespace {

constexpr int kIconColumnSize = 24;
constexpr int kTextLeft = 28;
constexpr int kShortCutWidth = 54;
constexpr int kMaxShortCutLength = 6;  // longer shortcut texts would run into the caption
constexpr UINT kItemTextFormat = DT_EXPANDTABS | DT_VCENTER;
constexpr COLORREF kSelectionFrame = RGB(51, 94, 168);
constexpr COLORREF kSelectionTint = RGB(153, 175, 212);

void DrawItemText(HDC dc, std::wstring_view text, RECT rect, UINT format) {
  DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, format);
}

// The icon, tinted toward the menu when idle and greyed when disabled, with
// its transparent corner colour keyed out.
void DrawItemIcon(HDC dc, HIMAGELIST images, int index, int itemHeight, bool selected, bool disabled,
                  COLORREF menuColor) {
  int width = 0;
  int height = 0;
  if (!ImageList_GetIconSize(images, &width, &height)) return;
  TDibSurface icon(width, height);
  if (icon.IsEmpty()) return;
  ImageList_Draw(images, index, icon.Dc(), 0, 0, ILD_TRANSPARENT);
  if (disabled) {
    // A disabled item's bitmap keeps the menu colour as its brush, selected
    // or not.
    icon.BlendWithColor(MixColors(icon.Pixel(0, 0), menuColor, 40), 20);
    icon.Grayscale(127);
  } else if (!selected) {
    icon.BlendWithColor(MixColors(GetSysColor(COLOR_BTNFACE), menuColor, 40), 20);
  }
  const COLORREF transparent = icon.Pixel(0, height - 1);
  TransparentBlt(dc, 4, itemHeight / 2 - height / 2, width, height, icon.Dc(), 0, 0, width, height, transparent);
}

void DrawCheckMark(HDC dc) {
  const int height = -MulDiv(13, GetDeviceCaps(dc, LOGPIXELSY), 72);
  // Marlett is a symbol font; asking for its own character set keeps the font
  // mapper from substituting a text font, which would show the letter.
  ScopedFont marlett(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SYMBOL_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, L"Marlett"));
  if (!marlett) return;
  ScopedSelectObject select(dc, marlett.Get());
  DrawItemText(dc, L"a", RECT{0, 3, kTextLeft, kTextLeft}, DT_CENTER | DT_VCENTER);  // "a" is the check glyph
}

}  // namespace

bool IsMenuSeparator(const TMenuItemPaint& item) { return item.Caption == L"-"; }

ScopedFont CreateMenuFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return ScopedFont(CreateFontIndirectW(&metrics.lfMenuFont));
  return ScopedFont();
}

SIZE ProposedMenuItemSize(const TMenuItemPaint& item, HDC canvas, HIMAGELIST images) {
  const int menuHeight = GetSystemMetrics(SM_CYMENU);
  if (IsMenuSeparator(item)) return {0, menuHeight / 2};
  TEXTMETRICW metrics{};
  GetTextMetricsW(canvas, &metrics);
  int height = std::max<int>(menuHeight, metrics.tmHeight + 4);
  int imageWidth = 0;
  int imageHeight = 0;
  if (images && ImageList_GetIconSize(images, &imageWidth, &imageHeight)) height = std::max(height, imageHeight + 4);
  return {0, height};
}

void MeasureMenuItem(const TMenuItemPaint& item, HDC canvas, int& width, int& height) {
  if (!IsMenuSeparator(item)) height += height / 6;
  SIZE text{};
  GetTextExtentPoint32W(canvas, item.Caption.data(), static_cast<int>(item.Caption.size()), &text);
  width = text.cx + 78;
}

void DrawMenuItem(const TMenuItemPaint& item, HDC canvas, const RECT& rect, UINT state, HIMAGELIST images) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (!canvas || width <= 0 || height <= 0) return;
  const bool separator = IsMenuSeparator(item);
  // Separators are never highlighted, whatever the menu reports.
  const bool selected = (state & ODS_SELECTED) && !separator;
  const bool disabled = state & (ODS_DISABLED | ODS_GRAYED);
  const COLORREF menuColor = GetSysColor(COLOR_MENU);

  TDibSurface itemBitmap(width, height);
  if (itemBitmap.IsEmpty()) return;
  HDC dc = itemBitmap.Dc();
  ScopedSelectObject font(dc, GetCurrentObject(canvas, OBJ_FONT));
  itemBitmap.Fill(menuColor);

  {
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    TDibSurface column(kIconColumnSize, kIconColumnSize);
    column.GradientFill(column.Rect(), true, {window, MixColors(window, face, 50), face}, 100);
    column.Draw(dc, 0, 0, 100);
  }

  if (selected) {
    itemBitmap.SetPenColor(kSelectionFrame);
    if (disabled) {
      // Outline only: the gradient column stays visible under a disabled item.
      ScopedSelectObject hollow(dc, GetStockObject(NULL_BRUSH));
      Rectangle(dc, 0, 0, width, height);
    } else {
      itemBitmap.SetBrushColor(MixColors(kSelectionTint, menuColor, 50));
      Rectangle(dc, 0, 0, width, height);
    }
  }

  if (item.ImageIndex >= 0 && !item.AutoCheck && images && item.ImageIndex < ImageList_GetImageCount(images))
    DrawItemIcon(dc, images, item.ImageIndex, height, selected, disabled, menuColor);

  if (!separator) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    // Without DT_SINGLELINE, DT_VCENTER does nothing: texts start at y = 1.
    DrawItemText(dc, item.Caption, RECT{kTextLeft, 1, width, height - 1}, kItemTextFormat);
    if (!item.ShortCut.empty() && item.ShortCut.size() <= kMaxShortCutLength)
      DrawItemText(dc, item.ShortCut, RECT{width - kShortCutWidth, 1, width, height - 1}, kItemTextFormat);
    if (item.Checked) DrawCheckMark(dc);
  } else {
    itemBitmap.SetPenColor(MixColors(GetSysColor(COLOR_BTNSHADOW), menuColor, 30));
    const int y = 1 + (height - 2) / 2;
    MoveToEx(dc, kTextLeft, y, nullptr);
    LineTo(dc, width, y);
  }

  BitBlt(canvas, rect.left, rect.top, width, height, dc, 0, 0, SRCCOPY);
}

}  // namespace lumora
