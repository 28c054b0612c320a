// The thread keyboard hook that brings a viewer its arrow keys whichever
// window of the host's thread has the focus.
//
// Each viewer installs a hook of its own (WH_KEYBOARD on the calling
// thread) and removes it when it goes, so no hook outlives its viewer.
// Every hook sees every key of the thread; an arrow key goes to the viewer
// whose Lister window holds the keyboard focus, and when the focus is in no
// viewer's Lister window, to the newest viewer of the thread. Both the key
// going down and coming up are passed on; no key is swallowed.
#pragma once

#include <windows.h>

namespace lumora {

class TForm;

class TViewerKeyboardHook {
 public:
  TViewerKeyboardHook() = default;
  ~TViewerKeyboardHook();
  TViewerKeyboardHook(const TViewerKeyboardHook&) = delete;
  TViewerKeyboardHook& operator=(const TViewerKeyboardHook&) = delete;

  // Hooks the calling thread for `viewer`, whose Lister window is
  // `hostWindow`; the keys reach the viewer's OnKeyDown. False when the
  // system refuses or too many viewers are open in the process (the viewer
  // then gets its keys only while it has the focus).
  bool Install(TForm& viewer, HWND hostWindow);
  void Uninstall();

  bool Installed() const { return slot_ >= 0; }
  HHOOK Handle() const;

  // Hooks that may exist at once in a process.
  static constexpr int kMaxHooks = 16;
  // Hooks installed now (all viewers of the process).
  static int InstalledCount();

 private:
  int slot_ = -1;  // index into the process-wide hook table, -1 when not installed
};

}  // namespace lumora
