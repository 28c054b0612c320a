#pragma once
// Answers the dialogs (message boxes, shell confirmations) that the current
// thread opens, so that tests of code showing them never wait for a user.

#include <windows.h>

#include <string>
#include <vector>

struct SeenDialog {
  std::wstring caption;
  std::vector<std::wstring> texts;  // every static text, in child order
  HICON icon = nullptr;             // of the first icon control, if any
  int defaultButton = 0;
};

class DialogResponder {
 public:
  // Presses `button` in every dialog of this thread while the responder lives
  // (the default button in dialogs that lack it).
  explicit DialogResponder(int button);
  ~DialogResponder();
  DialogResponder(const DialogResponder&) = delete;
  DialogResponder& operator=(const DialogResponder&) = delete;

  const std::vector<SeenDialog>& Dialogs() const { return dialogs_; }

 private:
  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK Answer(HWND dialog, UINT, UINT_PTR timer, DWORD);

  int button_;
  HHOOK hook_;  // owned
  std::vector<SeenDialog> dialogs_;
};
