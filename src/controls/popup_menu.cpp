#include "controls/popup_menu.h"

#include <algorithm>

#include "controls/win_util.h"
#include "draw/gdi.h"
#include "controls/image_list.h"

namespace lumora {

namespace {

// The menu being shown (menus do not nest here); the painting messages are
// checked against it so foreign owner-drawn items are left alone.
TPopupMenu* g_openMenu = nullptr;

// The font of menus, as the system puts it into the DC of WM_DRAWITEM.
HFONT MenuFont() {
  static ScopedFont font = CreateMenuFont();
  return font ? font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace

std::wstring ShortCutToText(TShortCut shortCut) {
  if (shortCut.key == 0) return {};
  std::wstring text;
  if (shortCut.shift & ssShift) text += L"Shift+";
  if (shortCut.shift & ssCtrl) text += L"Ctrl+";
  if (shortCut.shift & ssAlt) text += L"Alt+";
  WORD key = shortCut.key;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return text + static_cast<wchar_t>(key);
  if (key >= VK_F1 && key <= VK_F24) return text + L"F" + std::to_wstring(key - VK_F1 + 1);
  switch (key) {
    case VK_RETURN: return text + L"Enter";
    case VK_DELETE: return text + L"Del";
    case VK_INSERT: return text + L"Ins";
    case VK_ESCAPE: return text + L"Esc";
    case VK_BACK: return text + L"BkSp";
    case VK_TAB: return text + L"Tab";
    case VK_SPACE: return text + L"Space";
    case VK_PRIOR: return text + L"PgUp";
    case VK_NEXT: return text + L"PgDn";
    case VK_HOME: return text + L"Home";
    case VK_END: return text + L"End";
    case VK_LEFT: return text + L"Left";
    case VK_RIGHT: return text + L"Right";
    case VK_UP: return text + L"Up";
    case VK_DOWN: return text + L"Down";
    default: return text + L"#" + std::to_wstring(key);
  }
}

TMenuItem::TMenuItem(TPopupMenu* menu, std::wstring name, std::wstring caption)
    : menu_(menu), name_(std::move(name)), caption_(std::move(caption)) {}

void TMenuItem::SetShortCut(TShortCut shortCut) {
  shortCut_ = shortCut;
  shortCutText_ = ShortCutToText(shortCut);
}

TMenuItemPaint TMenuItem::PaintInfo() const {
  TMenuItemPaint paint;
  paint.Caption = caption_;
  paint.ShortCut = shortCutText_;
  paint.ImageIndex = imageIndex_;
  paint.AutoCheck = autoCheck_;
  paint.Checked = checked_;
  return paint;
}

void TMenuItem::Click() {
  if (autoCheck_) checked_ = !checked_;
  if (OnClick) OnClick(*this);
}

TPopupMenu::TPopupMenu(std::wstring name) : name_(std::move(name)) {}

TMenuItem& TPopupMenu::Add(std::wstring name, std::wstring caption, int imageIndex, TShortCut shortCut,
                           bool autoCheck) {
  items_.push_back(std::make_unique<TMenuItem>(this, std::move(name), std::move(caption)));
  TMenuItem& item = *items_.back();
  item.SetImageIndex(imageIndex);
  item.SetShortCut(shortCut);
  item.SetAutoCheck(autoCheck);
  return item;
}

TMenuItem* TPopupMenu::Find(std::wstring_view name) const {
  for (const auto& item : items_) {
    if (item->Name() == name) return item.get();
  }
  return nullptr;
}

std::vector<TMenuItem*> TPopupMenu::VisibleItems() const {
  std::vector<TMenuItem*> visible;
  for (const auto& item : items_) {
    if (item->Visible()) visible.push_back(item.get());
  }
  return visible;
}

bool TPopupMenu::OwnsItem(const TMenuItem* item) const {
  return std::any_of(items_.begin(), items_.end(), [item](const auto& own) { return own.get() == item; });
}

void TPopupMenu::Popup(HWND owner, int x, int y) {
  if (OnPopup) OnPopup(*this);
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  UINT position = 0;
  for (const auto& item : items_) {
    if (!item->Visible()) continue;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE;
    info.fType = MFT_OWNERDRAW | (item->IsLine() ? MFT_SEPARATOR : 0);
    info.wID = static_cast<UINT>(&item - items_.data()) + 1;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(item.get());
    info.fState = (item->Checked() ? MFS_CHECKED : 0) | (item->Enabled() ? 0 : MFS_DISABLED);
    InsertMenuItemW(menu, position++, TRUE, &info);
  }
  // The menu closes properly only when its owner's window is in front.
  SetForegroundWindow(GetAncestor(owner, GA_ROOT));
  TPopupMenu* previous = std::exchange(g_openMenu, this);
  UINT chosen = TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, owner,
                                 nullptr);
  g_openMenu = previous;
  DestroyMenu(menu);
  if (chosen >= 1 && chosen <= items_.size()) items_[chosen - 1]->Click();
}

HIMAGELIST TPopupMenu::ImagesHandle() const { return images_ ? images_->Handle() : nullptr; }

bool TPopupMenu::MeasureItem(MEASUREITEMSTRUCT& measure) {
  if (measure.CtlType != ODT_MENU || !g_openMenu) return false;
  auto* item = reinterpret_cast<TMenuItem*>(measure.itemData);
  if (!g_openMenu->OwnsItem(item)) return false;
  ScopedMemoryDC dc;
  ScopedSelectObject font(dc.Get(), MenuFont());
  SIZE proposed = ProposedMenuItemSize(item->PaintInfo(), dc.Get(), g_openMenu->ImagesHandle());
  int width = proposed.cx;
  int height = proposed.cy;
  if (item->OnMeasureItem) {
    item->OnMeasureItem(*item, dc.Get(), width, height);
  } else {
    MeasureMenuItem(item->PaintInfo(), dc.Get(), width, height);
  }
  measure.itemWidth = static_cast<UINT>(std::max(width, 0));
  measure.itemHeight = static_cast<UINT>(std::max(height, 1));
  return true;
}

bool TPopupMenu::DrawItem(const DRAWITEMSTRUCT& draw) {
  if (draw.CtlType != ODT_MENU || !g_openMenu) return false;
  auto* item = reinterpret_cast<TMenuItem*>(draw.itemData);
  if (!g_openMenu->OwnsItem(item)) return false;
  ScopedSaveDC saved(draw.hDC);
  SelectObject(draw.hDC, MenuFont());
  if (item->OnAdvancedDrawItem) {
    item->OnAdvancedDrawItem(*item, draw.hDC, draw.rcItem, draw.itemState);
  } else {
    DrawMenuItem(item->PaintInfo(), draw.hDC, draw.rcItem, draw.itemState, g_openMenu->ImagesHandle());
  }
  return true;
}

}  // namespace lumora
