#include "shell/messages.h"

#include <atomic>
#include <iterator>
#include <string>

namespace lumora {
namespace {

std::atomic<MessageBoxInterceptor> g_interceptor{nullptr};

}  // namespace

int ShowMessageBox(const TMessageBoxRequest& request) {
  if (MessageBoxInterceptor interceptor = g_interceptor.load()) return interceptor(request);
  // The Windows call needs zero-terminated strings.
  const std::wstring text(request.Text);
  const std::wstring caption(request.Caption);
  MSGBOXPARAMSW params{};
  params.cbSize = sizeof params;
  params.hwndOwner = request.Owner;
  params.lpszText = text.c_str();
  params.lpszCaption = caption.c_str();
  params.dwStyle = request.Style;
  if (request.Icon) {
    // MB_USERICON is one value of the icon field, not a bit: other icon bits
    // left beside it would make the box show no icon at all.
    params.dwStyle = (request.Style & ~MB_ICONMASK) | MB_USERICON;
    params.lpszIcon = request.Icon;  // hInstance null: a system icon
  }
  return MessageBoxIndirectW(&params);
}

MessageBoxInterceptor SetMessageBoxInterceptor(MessageBoxInterceptor interceptor) {
  return g_interceptor.exchange(interceptor);
}

int DefaultMessageBoxButton(UINT style) {
  struct ButtonSet {
    int count;
    int ids[3];
  };
  static constexpr ButtonSet kSets[] = {
      {1, {IDOK}},                           // MB_OK
      {2, {IDOK, IDCANCEL}},                 // MB_OKCANCEL
      {3, {IDABORT, IDRETRY, IDIGNORE}},     // MB_ABORTRETRYIGNORE
      {3, {IDYES, IDNO, IDCANCEL}},          // MB_YESNOCANCEL
      {2, {IDYES, IDNO}},                    // MB_YESNO
      {2, {IDRETRY, IDCANCEL}},              // MB_RETRYCANCEL
      {3, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},  // MB_CANCELTRYCONTINUE
  };
  const UINT type = style & MB_TYPEMASK;
  const ButtonSet& set = type < std::size(kSets) ? kSets[type] : kSets[0];
  const int index = static_cast<int>((style & MB_DEFMASK) >> 8);
  return set.ids[index < set.count ? index : 0];
}

int MessageBoxWithIcon(HWND owner, std::wstring_view text, std::wstring_view caption, int iconId, UINT flags) {
  return ShowMessageBox({owner, text, caption, flags, MAKEINTRESOURCEW(iconId)});
}

void ShowInfoMessage(HWND owner, std::wstring_view text) {
  ShowMessageBox({owner, text, L"Сообщение", MB_OK | MB_ICONINFORMATION, nullptr});
}

}  // namespace lumora
