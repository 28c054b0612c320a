#include "controls/control.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "controls/application.h"
#include "controls/form.h"
#include "controls/win_util.h"
#include "draw/gdi.h"
#include "controls/popup_menu.h"

namespace lumora {

namespace {

// Class names registered by this module, for UnregisterControlClasses.
std::vector<std::wstring>& RegisteredClasses() {
  static std::vector<std::wstring> names;
  return names;
}

void InitCommonControlsOnce() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

}  // namespace

TShiftState KeyboardShiftState() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  return shift;
}

TShiftState MouseShiftState(WPARAM mouseKeys) {
  TShiftState shift = 0;
  if (mouseKeys & MK_SHIFT) shift |= ssShift;
  if (mouseKeys & MK_CONTROL) shift |= ssCtrl;
  if (mouseKeys & MK_LBUTTON) shift |= ssLeft;
  if (mouseKeys & MK_RBUTTON) shift |= ssRight;
  if (mouseKeys & MK_MBUTTON) shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

HINSTANCE ThisModule() {
  static const HINSTANCE module = [] {
    HMODULE handle = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &handle);
    return handle;
  }();
  return module;
}

void UnregisterControlClasses() {
  for (const std::wstring& name : RegisteredClasses()) UnregisterClassW(name.c_str(), ThisModule());
  RegisteredClasses().clear();
}

TControl::~TControl() {
  for (TControl* child : children_) child->parent_ = nullptr;
  if (parent_) parent_->RemoveChild(this);
  if (tooltip_) DestroyWindow(tooltip_);
  if (hwnd_) {
    HWND window = hwnd_;
    DetachWindow();
    DestroyWindow(window);
  }
}

void TControl::CreateHandle(const wchar_t* className, const TCreateArgs& args, UINT classStyle) {
  InitCommonControlsOnce();
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  bool registered = GetClassInfoExW(ThisModule(), className, &existing) != FALSE;
  if (registered && existing.lpfnWndProc != &TControl::StaticWndProc) {
    // Left behind by an earlier copy of this module: its procedure is gone.
    UnregisterClassW(className, ThisModule());
    registered = false;
  }
  if (!registered) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = &TControl::StaticWndProc;
    wc.cbWndExtra = sizeof(LONG_PTR);  // the bound TControl*
    wc.hInstance = ThisModule();
    wc.lpszClassName = className;
    if (RegisterClassExW(&wc)) RegisteredClasses().push_back(className);
  }

  HWND parentWindow = args.parent ? args.parent->Handle() : args.parentWindow;
  if (args.parent) args.parent->AddChild(this);
  DWORD style = args.style | (args.visible ? WS_VISIBLE : 0);
  HWND window = CreateWindowExW(args.exStyle, className, L"", style, args.left, args.top, args.width, args.height,
                                parentWindow, nullptr, ThisModule(), this);
  if (!window) {
    DWORD error = GetLastError();
    if (parent_) parent_->RemoveChild(this);
    throw std::runtime_error("Cannot create window " + WideToUtf8(className) + " (system error " +
                             std::to_string(error) + ")");
  }
}

LRESULT CALLBACK TControl::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TControl* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<TControl*>(GetWindowLongPtrW(hwnd, 0));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, 0, 0);
    self->hwnd_ = nullptr;
    // A popup created with a child window as its owner is owned by that
    // child's top-level window, which outlives us: the tooltip goes now.
    if (self->tooltip_) DestroyWindow(self->tooltip_);
    self->tooltip_ = nullptr;
    self->HandleDestroyed();
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  // The form stays whole while this message is handled, whatever the
  // handler lets run meanwhile.
  TForm::TBusyScope busy(self->ParentForm());
  // C++ exceptions must not unwind through the system's frames.
  try {
    return self->WndProc(msg, wParam, lParam);
  } catch (...) {
    Application().HandleCurrentException();
    return 0;
  }
}

LRESULT TControl::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT TControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole area
    case WM_PAINT:
      PaintMessage();
      return 0;
    case WM_SIZE:
      Resized(LOWORD(lParam), HIWORD(lParam));
      Realign();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd_) {
        int index = Screen().Cursor() != crDefault ? Screen().Cursor() : cursor_;
        ::SetCursor(Screen().Cursors(index));
        return TRUE;
      }
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      TShiftState shift = KeyboardShiftState();
      TForm* form = ParentForm();
      if (form && form != this && form->KeyPreview()) form->PreviewKeyDown(static_cast<WORD>(wParam), shift);
      KeyDown(static_cast<WORD>(wParam), shift);
      if (msg == WM_KEYDOWN) return 0;
      break;  // system keys (Alt+F4, menus) still need the default handling
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      TMouseButton button = msg == WM_LBUTTONDOWN   ? TMouseButton::mbLeft
                            : msg == WM_RBUTTONDOWN ? TMouseButton::mbRight
                                                    : TMouseButton::mbMiddle;
      MouseDown(button, MouseShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      TMouseButton button = msg == WM_LBUTTONUP   ? TMouseButton::mbLeft
                            : msg == WM_RBUTTONUP ? TMouseButton::mbRight
                                                  : TMouseButton::mbMiddle;
      MouseUp(button, MouseShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;  // the default turns a right button release into WM_CONTEXTMENU
    }
    case WM_MOUSEMOVE:
      MouseMove(MouseShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      DblClick();
      return 0;
    case WM_MOUSEWHEEL: {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd_, &point);
      if (MouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), MouseShiftState(GET_KEYSTATE_WPARAM(wParam)), point)) return 0;
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lParam == 0) {  // the window's own scroll bar
        Scrolled(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
        return 0;
      }
      break;
    case WM_CONTEXTMENU:
      if (popupMenu_) {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (point.x == -1 && point.y == -1) {  // from the keyboard
          point = {0, 0};
          ClientToScreen(hwnd_, &point);
        }
        popupMenu_->Popup(hwnd_, point.x, point.y);
        return 0;
      }
      break;
    case WM_MEASUREITEM:
      if (TPopupMenu::MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_DRAWITEM:
      if (TPopupMenu::DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_DROPFILES:
      if (dropHandler_) {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        POINT point{0, 0};
        DragQueryPoint(drop, &point);
        std::vector<std::wstring> names;
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
          std::wstring name(DragQueryFileW(drop, i, nullptr, 0), L'\0');
          DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size() + 1));
          names.push_back(std::move(name));
        }
        DragFinish(drop);
        dropHandler_(point, names);
        return 0;
      }
      break;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(Font());
  }
  return DefaultProc(msg, wParam, lParam);
}

void TControl::PaintMessage() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT client;
  GetClientRect(hwnd_, &client);
  if (!(GetWindowLongW(hwnd_, GWL_STYLE) & WS_CLIPCHILDREN)) {
    // Without the style the system would let us paint over our children.
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      RECT r;
      GetWindowRect(child, &r);
      MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
      ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
  }
  auto paintTo = [&](HDC target) {
    if (!opaque_) FillSolidRect(target, client, color_);
    ScopedSelectObject font(target, Font());
    Paint(target, client);
  };
  if (client.right > 0 && client.bottom > 0) {
    ScopedMemoryDC memory(dc);
    ScopedBitmap buffer(doubleBuffered_ ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr);
    if (buffer && memory.Get()) {
      ScopedSelectObject select(memory.Get(), buffer.Get());
      paintTo(memory.Get());
      BitBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
    } else {
      paintTo(dc);
    }
  }
  EndPaint(hwnd_, &ps);
}

void TControl::DetachWindow() {
  if (!hwnd_) return;
  SetWindowLongPtrW(hwnd_, 0, 0);
  hwnd_ = nullptr;
}

void TControl::AddChild(TControl* child) {
  child->parent_ = this;
  children_.push_back(child);
}

void TControl::RemoveChild(TControl* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
  child->parent_ = nullptr;
}

void TControl::SetParent(TControl* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveChild(this);
  if (parent) parent->AddChild(this);
  if (hwnd_) ::SetParent(hwnd_, parent ? parent->Handle() : nullptr);
}

TForm* TControl::ParentForm() {
  for (TControl* control = this; control; control = control->parent_) {
    if (auto* form = dynamic_cast<TForm*>(control)) return form;
  }
  return nullptr;
}

RECT TControl::BoundsRect() const {
  RECT r{0, 0, 0, 0};
  if (!hwnd_) return r;
  GetWindowRect(hwnd_, &r);
  HWND parent = GetParent(hwnd_);
  if (parent && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

int TControl::Left() const { return BoundsRect().left; }
int TControl::Top() const { return BoundsRect().top; }
int TControl::Width() const {
  RECT r = BoundsRect();
  return r.right - r.left;
}
int TControl::Height() const {
  RECT r = BoundsRect();
  return r.bottom - r.top;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (hwnd_) SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TControl::ClientRect() const {
  RECT r{0, 0, 0, 0};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return r;
}

bool TControl::Visible() const {
  return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE);
}

void TControl::SetVisible(bool visible) {
  if (!hwnd_ || Visible() == visible) return;
  ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
  if (align_ != TAlign::alNone && parent_) parent_->Realign();
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::Realign() {
  if (!hwnd_) return;
  RECT area = ClientRect();
  auto aligned = [](TControl* c) { return c->align_ != TAlign::alNone && c->hwnd_ && c->Visible(); };
  for (TControl* child : children_) {
    if (!aligned(child)) continue;
    int height = child->Height();
    if (child->align_ == TAlign::alTop) {
      child->SetBounds(area.left, area.top, area.right - area.left, height);
      area.top += height;
    } else if (child->align_ == TAlign::alBottom) {
      child->SetBounds(area.left, area.bottom - height, area.right - area.left, height);
      area.bottom -= height;
    }
  }
  for (TControl* child : children_) {
    if (aligned(child) && child->align_ == TAlign::alClient) {
      child->SetBounds(area.left, area.top, std::max(0L, area.right - area.left), std::max(0L, area.bottom - area.top));
    }
  }
}

void TControl::SetColor(COLORREF colour) {
  color_ = colour;
  Invalidate();
}

HFONT TControl::Font() const {
  if (font_) return font_;
  if (parent_) return parent_->Font();
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void TControl::SetFont(HFONT font) {
  font_ = font;
  Invalidate();
}

void TControl::SetCursor(int cursorIndex) {
  cursor_ = cursorIndex;
  if (!hwnd_) return;
  POINT point;
  if (GetCursorPos(&point) && WindowFromPoint(point) == hwnd_ && Screen().Cursor() == crDefault) {
    ::SetCursor(Screen().Cursors(cursor_));
  }
}

void TControl::SetHint(std::wstring hint) {
  hint_ = std::move(hint);
  UpdateTooltip();
}

void TControl::UpdateTooltip() {
  if (!hwnd_) return;
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  info.lpszText = const_cast<wchar_t*>(hint_.c_str());
  if (!tooltip_) {
    if (hint_.empty()) return;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                               ThisModule(), nullptr);
    if (tooltip_) SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    return;
  }
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void TControl::Invalidate() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TControl::Repaint() {
  if (!hwnd_) return;
  InvalidateRect(hwnd_, nullptr, FALSE);
  UpdateWindow(hwnd_);
}

void TControl::SetFocus() {
  if (hwnd_) ::SetFocus(hwnd_);
}

bool TControl::Focused() const { return hwnd_ && GetFocus() == hwnd_; }

void TControl::SetDropHandler(std::function<void(POINT, const std::vector<std::wstring>&)> handler) {
  dropHandler_ = std::move(handler);
  if (hwnd_) DragAcceptFiles(hwnd_, dropHandler_ ? TRUE : FALSE);
}

}  // namespace lumora
