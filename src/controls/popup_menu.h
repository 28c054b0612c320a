// TPopupMenu and TMenuItem: context menus whose items are painted by the
// program (owner-drawn).
//
// An item is a plain object with a caption ("-" makes a separator), an icon
// index into the menu's image list, a shortcut shown at its right, and a
// checked state. An auto-check item flips its checked state before its
// OnClick runs, whether the user chose it or the program called Click, so
// handlers see the new state. Items are painted by their OnMeasureItem and
// OnAdvancedDrawItem handlers, or by the shared menu painters
// (draw/menu_painter.h) when they have none.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controls/control.h"
#include "draw/menu_painter.h"

namespace lumora {

class TImageList;
class TPopupMenu;

// A key with its modifiers (ssShift, ssCtrl, ssAlt), shown in menus.
struct TShortCut {
  WORD key = 0;
  TShiftState shift = 0;
};

// "Ctrl+C", "Enter", "Del", "F4", "D"; empty for no shortcut.
std::wstring ShortCutToText(TShortCut shortCut);

class TMenuItem {
 public:
  TMenuItem(TPopupMenu* menu, std::wstring name, std::wstring caption);

  const std::wstring& Name() const { return name_; }
  const std::wstring& Caption() const { return caption_; }
  void SetCaption(std::wstring caption) { caption_ = std::move(caption); }
  bool IsLine() const { return caption_ == L"-"; }

  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index) { imageIndex_ = index; }

  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut);
  const std::wstring& ShortCutText() const { return shortCutText_; }

  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool on) { autoCheck_ = on; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked) { checked_ = checked; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  TPopupMenu* Menu() const { return menu_; }

  // What the menu painters need; it refers to this item's texts.
  TMenuItemPaint PaintInfo() const;

  // What choosing the item does: an auto-check item flips first, then
  // OnClick runs.
  void Click();

  std::function<void(TMenuItem& sender)> OnClick;
  // Given the proposed size, sets the item's size. The DC carries the menu font.
  std::function<void(TMenuItem& sender, HDC dc, int& width, int& height)> OnMeasureItem;
  // Paints the item; state holds the ODS_* bits (ODS_SELECTED, ODS_DISABLED, ...).
  std::function<void(TMenuItem& sender, HDC dc, const RECT& rect, UINT state)> OnAdvancedDrawItem;

 private:
  TPopupMenu* menu_;  // not owned: the menu that owns this item
  std::wstring name_;
  std::wstring caption_;
  int imageIndex_ = -1;
  TShortCut shortCut_;
  std::wstring shortCutText_;
  bool autoCheck_ = false;
  bool checked_ = false;
  bool visible_ = true;
  bool enabled_ = true;
};

class TPopupMenu {
 public:
  explicit TPopupMenu(std::wstring name);
  TPopupMenu(const TPopupMenu&) = delete;
  TPopupMenu& operator=(const TPopupMenu&) = delete;

  const std::wstring& Name() const { return name_; }

  TMenuItem& Add(std::wstring name, std::wstring caption, int imageIndex = -1, TShortCut shortCut = {},
                 bool autoCheck = false);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
  TMenuItem* Find(std::wstring_view name) const;
  // The visible items, in order: what the menu shows when it opens.
  std::vector<TMenuItem*> VisibleItems() const;

  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images) { images_ = images; }

  // Runs before the menu opens (items may be shown or hidden here).
  std::function<void(TPopupMenu& sender)> OnPopup;

  // Opens the menu at a screen point, owned by `owner` (a window of the
  // controls layer, which routes the painting messages back here). Returns
  // after the menu has closed and the chosen item's Click has run.
  void Popup(HWND owner, int x, int y);

  // Painting messages of an open menu: true when the item was one of ours.
  static bool MeasureItem(MEASUREITEMSTRUCT& measure);
  static bool DrawItem(const DRAWITEMSTRUCT& draw);

  // The image list's handle, or null.
  HIMAGELIST ImagesHandle() const;

 private:
  bool OwnsItem(const TMenuItem* item) const;

  std::wstring name_;
  std::vector<std::unique_ptr<TMenuItem>> items_;
  TImageList* images_ = nullptr;  // not owned
};

}  // namespace lumora
