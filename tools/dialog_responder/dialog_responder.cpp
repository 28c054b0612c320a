#include "dialog_responder/dialog_responder.h"

#include <cwchar>

namespace lumora {

namespace {

thread_local TDialogResponder* t_responder = nullptr;
constexpr UINT_PTR kAnswerTimer = 0x4C4D;

std::wstring WindowText(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto& seen = *reinterpret_cast<TSeenDialog*>(param);
  wchar_t className[32]{};
  GetClassNameW(child, className, 32);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(className, L"Button") == 0) {
    // The default button carries the default style; DM_GETDEFID is not
    // kept up to date by every message box implementation.
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen.defaultButton = GetDlgCtrlID(child);
    return TRUE;
  }
  if (_wcsicmp(className, L"Static") != 0) return TRUE;
  if ((style & SS_TYPEMASK) == SS_ICON) {
    if (!seen.icon) seen.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
  } else {
    seen.texts.push_back(WindowText(child));
  }
  return TRUE;
}

}  // namespace

TDialogResponder::TDialogResponder(int button, UINT delayMs)
    : button_(button), delayMs_(delayMs), hook_(SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId())) {
  t_responder = this;
}

TDialogResponder::~TDialogResponder() {
  t_responder = nullptr;
  if (hook_) UnhookWindowsHookEx(hook_);
}

LRESULT CALLBACK TDialogResponder::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  TDialogResponder* self = t_responder;
  if (code == HCBT_ACTIVATE && self) {
    auto dialog = reinterpret_cast<HWND>(wParam);
    wchar_t className[16]{};
    GetClassNameW(dialog, className, 16);
    // The texts are filled in after activation: read them, and answer, from
    // a timer that runs inside the dialog's own message loop.
    if (wcscmp(className, L"#32770") == 0) SetTimer(dialog, kAnswerTimer, self->delayMs_, Answer);
  }
  return CallNextHookEx(self ? self->hook_ : nullptr, code, wParam, lParam);
}

void CALLBACK TDialogResponder::Answer(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  TDialogResponder* self = t_responder;
  if (!self) return;
  TSeenDialog seen;
  seen.caption = WindowText(dialog);
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&seen));
  // A dialog without the wanted button (an error box with only OK) gets its
  // default button, so that nobody waits for a user.
  int button = self->button_;
  if (!GetDlgItem(dialog, button)) button = seen.defaultButton ? seen.defaultButton : IDCANCEL;
  if (self->OnDialog) self->OnDialog(seen);
  self->dialogs_.push_back(std::move(seen));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

}  // namespace lumora
