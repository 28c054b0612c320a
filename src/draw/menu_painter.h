#pragma once
// Owner-drawn popup-menu items: a gradient icon column, a tinted icon, a blue
// selection frame, a Marlett check mark, a right-aligned shortcut and a soft
// separator line. Each item is composed off-screen and reaches the menu in a
// single blit.
//
// A popup menu whose items are MFT_OWNERDRAW uses them from its owner window:
//   WM_MEASUREITEM: with a screen DC holding CreateMenuFont(), start from
//     ProposedMenuItemSize (or the menu's own proposal), let the measure
//     handler call MeasureMenuItem, and store the result in itemWidth and
//     itemHeight.
//   WM_DRAWITEM: DrawMenuItem(item, dis->hDC, dis->rcItem, dis->itemState,
//     images); the DC already holds the menu font.

#include <windows.h>
#include <commctrl.h>

#include <string_view>

#include "draw/gdi.h"

namespace lumora {

// What the painters need to know about one menu item.
struct TMenuItemPaint {
  std::wstring_view Caption = {};   // "-" marks a separator; "&" underlines the next character
  std::wstring_view ShortCut = {};  // display text of the shortcut ("Ctrl+C", "Del", "F4"); empty for none
  int ImageIndex = -1;              // index into the menu's image list; -1 for no icon
  bool AutoCheck = false;           // a check item: shows the check mark, never its icon
  bool Checked = false;
};

bool IsMenuSeparator(const TMenuItemPaint& item);

// The font Windows uses for menus (what the DC of WM_DRAWITEM holds).
ScopedFont CreateMenuFont();

// The size a menu proposes for an item before MeasureMenuItem adjusts it:
// the system menu height (at least the text and icon plus a margin) for an
// item, half the menu height for a separator. canvas holds the menu font.
SIZE ProposedMenuItemSize(const TMenuItemPaint& item, HDC canvas, HIMAGELIST images);

// Adjusts the proposed size: items grow by a sixth in height; the width
// becomes the caption's text width on canvas plus room for the icon column and
// the shortcut.
void MeasureMenuItem(const TMenuItemPaint& item, HDC canvas, int& width, int& height);

// Paints the item into rect of canvas (the DC and rectangle of WM_DRAWITEM,
// whose font is used for the texts). state is the owner-draw state:
// ODS_SELECTED, and ODS_DISABLED or ODS_GRAYED for a disabled item. images
// may be null.
void DrawMenuItem(const TMenuItemPaint& item, HDC canvas, const RECT& rect, UINT state, HIMAGELIST images);

}  // namespace lumora
