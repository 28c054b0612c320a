// TForm: a top-level unit of the user interface that may live inside a
// foreign window (the viewer form is a child of the host's Lister window).
//
// With key preview on, the form sees every key press that goes to one of
// its controls before the control does (OnKeyDown). OnResize runs when the
// form changes size, once the derived form has finished its construction.
#pragma once

#include <functional>
#include <string>

#include "controls/control.h"
#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

// Window creation parameters a form may change before its window exists.
struct TCreateParams {
  DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  int left = 0, top = 0, width = 0, height = 0;
  HWND parent = nullptr;
};

class TForm : public TControl {
 public:
  ~TForm() override;

  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool on) { keyPreview_ = on; }

  // The control that receives the focus when the form gets it.
  TControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TControl* control) { activeControl_ = control; }

  // Hides the form (a form inside a host window is never freed by closing).
  void Close() { Hide(); }

  // Runs OnKeyDown for a key that a control of the form received (key
  // preview) or that came from elsewhere (a keyboard hook).
  void PreviewKeyDown(WORD key, TShiftState shift);

  // Runs OnResize now.
  void Resize();

  std::function<void(TControl& sender, WORD key, TShiftState shift)> OnKeyDown;
  std::function<void(TControl& sender)> OnResize;

  // The window is being destroyed by someone else (its parent, or the host
  // destroying it directly): the form must not destroy it again.
  void WindowIsBeingDestroyed();

  // Forms of the process constructed and not yet destroyed.
  static int LiveCount();

  // Marks a stretch of the form's own code on the stack: a message the form
  // or one of its controls is handling, a hook calling into it. Such code
  // may let messages run (a load's progress, a modal box or menu), and a
  // message may ask for the form to go; the form must then outlive the
  // code that is still running in it (RunWhenIdle).
  class TBusyScope {
   public:
    explicit TBusyScope(TForm* form);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    TForm* form_;
  };
  // Whether code of the form is on the stack now.
  bool Busy() const { return busyDepth_ > 0; }
  // Runs `action` at once when the form is not busy, else when the
  // outermost busy stretch ends. The action may free the form. A later
  // request replaces an earlier one that has not run yet.
  void RunWhenIdle(std::function<void()> action);
  bool IdleActionPending() const { return static_cast<bool>(whenIdle_); }

 protected:
  TForm();
  // Creates the form's window inside `parentWindow`, first letting
  // CreateParams adjust the parameters. The window starts hidden and fills
  // the parent's client area.
  void CreateForm(HWND parentWindow, const wchar_t* className);
  virtual void CreateParams(TCreateParams& params) {}

  // Sets the form's font (owned by the form; children without a font of
  // their own use it).
  void SetFormFont(const wchar_t* face, int height);

  // Call when construction has finished: from then on, size changes raise
  // OnResize.
  void ConstructionDone() { constructed_ = true; }

  // Destroys the window (and every child window) while the derived form
  // is still whole, unless it is already being destroyed from outside.
  void DestroyFormWindow();

  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void KeyDown(WORD key, TShiftState shift) override;

 private:
  bool keyPreview_ = false;
  bool constructed_ = false;
  bool windowDying_ = false;
  int busyDepth_ = 0;
  std::function<void()> whenIdle_;
  TControl* activeControl_ = nullptr;  // not owned: one of the form's controls
  ScopedFont font_;
};

}  // namespace lumora
