// TDialogResponder: answers the dialogs (message boxes, shell confirmations)
// that the current thread opens, so that scripted runs and tests never wait
// for a user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace lumora {

struct TSeenDialog {
  std::wstring caption;
  std::vector<std::wstring> texts;  // every static text, in child order
  HICON icon = nullptr;             // of the first icon control, if any
  int defaultButton = 0;
};

class TDialogResponder {
 public:
  // Presses `button` in every dialog of this thread while the responder
  // lives (the default button in dialogs that lack it), `delayMs` after the
  // dialog became active. One responder per thread.
  explicit TDialogResponder(int button, UINT delayMs = 20);
  ~TDialogResponder();
  TDialogResponder(const TDialogResponder&) = delete;
  TDialogResponder& operator=(const TDialogResponder&) = delete;

  const std::vector<TSeenDialog>& Dialogs() const { return dialogs_; }
  // Runs for each dialog just before it is answered.
  std::function<void(const TSeenDialog& dialog)> OnDialog;

 private:
  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK Answer(HWND dialog, UINT, UINT_PTR timer, DWORD);

  int button_;
  UINT delayMs_;
  HHOOK hook_;  // owned
  std::vector<TSeenDialog> dialogs_;
};

}  // namespace lumora
