#pragma once
// Message boxes. Every box the plugin shows goes through ShowMessageBox, so a
// host or a test can see and answer all of them in one place.

#include <windows.h>

#include <string_view>

namespace lumora {

struct TMessageBoxRequest {
  HWND Owner = nullptr;       // may be null
  std::wstring_view Text;
  std::wstring_view Caption;
  UINT Style = MB_OK;         // MB_* buttons, default button, modality; icon bits unless Icon is set
  LPCWSTR Icon = nullptr;     // a system icon id (MAKEINTRESOURCEW(32515)); replaces any icon bits of Style
};

// Shows the box (MessageBoxIndirectW) and returns the id of the button
// pressed, or what the interceptor answers.
int ShowMessageBox(const TMessageBoxRequest& request);

// While set, ShowMessageBox shows nothing and returns the interceptor's
// answer (scripted runs, tests). Returns the previous interceptor; null
// restores the real boxes.
using MessageBoxInterceptor = int (*)(const TMessageBoxRequest& request);
MessageBoxInterceptor SetMessageBoxInterceptor(MessageBoxInterceptor interceptor);

// The button that Enter would press in a box of this style (MB_DEFBUTTON1..4
// within its button set; the first button when the set is shorter).
int DefaultMessageBoxButton(UINT style);

// A box with one of the system's stock icons (iconId: 32512 and up, e.g.
// 32515 the exclamation mark), whatever icon bits flags hold. Returns the
// button id.
int MessageBoxWithIcon(HWND owner, std::wstring_view text, std::wstring_view caption, int iconId, UINT flags);

// The plugin's information box: caption "Сообщение", information icon, OK.
void ShowInfoMessage(HWND owner, std::wstring_view text);

}  // namespace lumora
