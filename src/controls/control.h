// TControl: the base of every window of the controls layer.
//
// One object per window. The object is bound to its window on WM_NCCREATE
// through the first extra bytes of the window class (cbWndExtra), so the
// window's user data (GWLP_USERDATA) stays free for whoever embeds the
// window. One switch in WndProc turns messages into the virtual hooks below
// and falls through to DefWindowProc. Destroying the object destroys its
// window; a window destroyed from outside leaves the object alive with a
// null Handle().
#pragma once

#include <windows.h>

// <windows.h> defines LoadImage as LoadImageW, which would rename
// TImageIO::LoadImage in every file that sees both. Code of ours that wants
// the Windows function calls LoadImageW by name.
#undef LoadImage

#include <functional>
#include <string>
#include <vector>

namespace lumora {

class TForm;
class TPopupMenu;

// Modifier keys and mouse buttons, as the keyboard and mouse handlers get them.
enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,
};
using TShiftState = unsigned;

// The state of Shift, Alt and Ctrl now (GetKeyState of the calling thread).
TShiftState KeyboardShiftState();
// Shift state from the MK_* flags of a mouse message.
TShiftState MouseShiftState(WPARAM mouseKeys);

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// How a parent lays out a child when it is resized.
enum class TAlign { alNone, alTop, alBottom, alClient };

// The module (DLL or EXE) this code is linked into: window classes and
// resources belong to it.
HINSTANCE ThisModule();

// Unregisters every window class the controls layer registered in this
// module. Called when the plugin is unloaded: classes of a DLL outlive it
// otherwise and would point at freed code.
void UnregisterControlClasses();

class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  HWND Handle() const { return hwnd_; }
  TControl* Parent() const { return parent_; }
  // Moves the window under another control (the form places the gauge and
  // the slider into the status bar this way).
  void SetParent(TControl* parent);
  // The nearest form above this control (or this control when it is one).
  TForm* ParentForm();

  // Position and size in the parent's client coordinates.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  RECT BoundsRect() const;
  void SetBounds(int left, int top, int width, int height);
  RECT ClientRect() const;

  bool Visible() const;
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  // Lays out the children that have an alignment, in creation order:
  // top and bottom ones take their height off the free area, client ones
  // fill what is left. Hidden children take no room.
  void Realign();

  // Free integer for the owner of the control.
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // Background colour (used unless the control is opaque).
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF colour);
  // An opaque control paints all of its area itself; nothing is erased
  // behind it.
  bool Opaque() const { return opaque_; }
  void SetOpaque(bool opaque) { opaque_ = opaque; }
  // Painting goes through an off-screen bitmap and reaches the window in
  // one copy.
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool on) { doubleBuffered_ = on; }

  // The control's own font, or its parent's when it has none (not owned).
  HFONT Font() const;
  void SetFont(HFONT font);

  // Screen cursor index shown over the control (0 = default arrow).
  int Cursor() const { return cursor_; }
  void SetCursor(int cursorIndex);

  // Opened by a right click or the menu key over the control (not owned).
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

  // Tooltip text shown while the mouse rests on the control.
  const std::wstring& Hint() const { return hint_; }
  void SetHint(std::wstring hint);

  void Invalidate();
  // Paints what is invalid now, without waiting for the message loop.
  void Repaint();
  void SetFocus();
  bool Focused() const;

  // Files dropped on the control from the shell: the drop point (client
  // coordinates) and the names. Setting a handler makes the window accept
  // drops.
  void SetDropHandler(std::function<void(POINT, const std::vector<std::wstring>&)> handler);

 protected:
  // What CreateHandle needs. Size and position are in the parent's client
  // coordinates.
  struct TCreateArgs {
    TControl* parent = nullptr;     // parent control; its window becomes the parent window
    HWND parentWindow = nullptr;    // used when parent is null (a form inside a foreign window)
    int left = 0, top = 0, width = 0, height = 0;
    DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    bool visible = true;
  };

  TControl() = default;
  // Registers the window class on first use and creates the window. Throws
  // std::runtime_error when the window cannot be created.
  void CreateHandle(const wchar_t* className, const TCreateArgs& args, UINT classStyle = CS_DBLCLKS);

  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

  // Hooks called from WndProc; the defaults do nothing.
  virtual void Paint(HDC dc, const RECT& client) {}
  virtual void Resized(int width, int height) {}
  virtual void KeyDown(WORD key, TShiftState shift) {}
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y) {}
  virtual void MouseMove(TShiftState shift, int x, int y) {}
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y) {}
  virtual void DblClick() {}
  // Returns true when the wheel was used.
  virtual bool MouseWheel(int delta, TShiftState shift, POINT client) { return false; }
  virtual void Scrolled(int bar, int code) {}
  virtual void HandleDestroyed() {}

  // Forgets the window without destroying it: later messages reach the
  // default window procedure. Used when the window is already being
  // destroyed by someone else.
  void DetachWindow();

 private:
  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  void PaintMessage();
  void AddChild(TControl* child);
  void RemoveChild(TControl* child);
  void UpdateTooltip();

  HWND hwnd_ = nullptr;               // owned: destroyed with the object unless already gone
  TControl* parent_ = nullptr;        // not owned
  std::vector<TControl*> children_;   // not owned: the controls whose parent this is
  TAlign align_ = TAlign::alNone;
  int tag_ = 0;
  COLORREF color_ = GetSysColor(COLOR_BTNFACE);
  bool opaque_ = false;
  bool doubleBuffered_ = true;
  HFONT font_ = nullptr;              // not owned (forms own theirs)
  int cursor_ = 0;
  TPopupMenu* popupMenu_ = nullptr;   // not owned
  std::wstring hint_;
  HWND tooltip_ = nullptr;            // owned: created for a hint, destroyed with the control
  std::function<void(POINT, const std::vector<std::wstring>&)> dropHandler_;
};

}  // namespace lumora
