#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "dialog_responder/dialog_responder.h"
#include "shell/rect_size.h"

using SeenDialog = lumora::TSeenDialog;
using DialogResponder = lumora::TDialogResponder;

namespace lumora {
namespace {

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(RectSize, WidthAndHeightAreSignedDifferences) {
  static_assert(RectWidth(RECT{10, 20, 110, 70}) == 100);
  static_assert(RectHeight(RECT{10, 20, 110, 70}) == 50);
  EXPECT_EQ(RectWidth(RECT{5, 7, 2, 20}), -3);
  EXPECT_EQ(RectHeight(RECT{5, 30, 2, 20}), -10);
}

TEST(MessageBoxWithIcon, ShowsTheSystemIconWhateverIconBitsTheFlagsHold) {
  const HICON exclamation = LoadIconW(nullptr, MAKEINTRESOURCEW(32515));
  struct Case {
    UINT flags;
    int press;
  };
  for (const Case& c : {Case{0, IDOK}, Case{MB_ICONQUESTION, IDOK}, Case{MB_YESNO | MB_ICONSTOP | MB_DEFBUTTON2, IDNO},
                        Case{MB_YESNO, IDYES}}) {
    DialogResponder responder(c.press);
    const int result = MessageBoxWithIcon(nullptr, L"Ничего не выбрано", L"Ошибка", 32515, c.flags);
    EXPECT_EQ(result, c.press) << c.flags;
    ASSERT_EQ(responder.Dialogs().size(), 1u);
    const SeenDialog& seen = responder.Dialogs()[0];
    EXPECT_EQ(seen.caption, L"Ошибка");
    EXPECT_TRUE(Contains(seen.texts, L"Ничего не выбрано"));
    EXPECT_EQ(seen.icon, exclamation) << c.flags;
    EXPECT_EQ(seen.defaultButton, DefaultMessageBoxButton(c.flags)) << c.flags;
  }
}

TEST(ShowInfoMessage, ShowsTheTextUnderTheCaptionMessageWithOneButton) {
  DialogResponder responder(IDOK);
  ShowInfoMessage(nullptr, L"Файл не найден: \"C:\\фото\\1.jpg\"");
  ASSERT_EQ(responder.Dialogs().size(), 1u);
  const SeenDialog& seen = responder.Dialogs()[0];
  EXPECT_EQ(seen.caption, L"Сообщение");
  EXPECT_TRUE(Contains(seen.texts, L"Файл не найден: \"C:\\фото\\1.jpg\""));
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32516)));  // information
  EXPECT_EQ(seen.defaultButton, IDOK);
}

// The interceptor sees every box and its answer comes back to the caller.
std::vector<TMessageBoxRequest> g_requests;
std::vector<std::wstring> g_texts;
int Intercept(const TMessageBoxRequest& request) {
  g_requests.push_back(request);
  g_texts.push_back(std::wstring(request.Caption) + L"|" + std::wstring(request.Text));
  return IDCANCEL;
}

TEST(ShowMessageBox, InterceptorAnswersInsteadOfABox) {
  DialogResponder responder(IDOK);
  g_requests.clear();
  g_texts.clear();
  ASSERT_EQ(SetMessageBoxInterceptor(Intercept), nullptr);
  const HWND owner = GetDesktopWindow();
  const int answer = MessageBoxWithIcon(owner, L"Удалить запись?", L"Внимание", 32515, MB_YESNO);
  ShowInfoMessage(nullptr, L"Невозможно загрузить изображение: \"a.bmp\"");
  EXPECT_EQ(SetMessageBoxInterceptor(nullptr), Intercept);

  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_TRUE(responder.Dialogs().empty());
  ASSERT_EQ(g_requests.size(), 2u);
  EXPECT_EQ(g_requests[0].Owner, owner);
  EXPECT_EQ(g_requests[0].Style, UINT{MB_YESNO});
  EXPECT_EQ(g_requests[0].Icon, MAKEINTRESOURCEW(32515));
  EXPECT_EQ(g_texts[0], L"Внимание|Удалить запись?");
  EXPECT_EQ(g_requests[1].Owner, nullptr);
  EXPECT_EQ(g_requests[1].Style, UINT{MB_OK | MB_ICONINFORMATION});
  EXPECT_EQ(g_texts[1], L"Сообщение|Невозможно загрузить изображение: \"a.bmp\"");
}

TEST(DefaultMessageBoxButton, FollowsTheDefaultButtonWithinItsSet) {
  struct Case {
    UINT style;
    int button;
  };
  const Case cases[] = {
      {MB_OK, IDOK},
      {MB_OK | MB_DEFBUTTON3, IDOK},  // beyond the set: the first button
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
  };
  for (const Case& c : cases) EXPECT_EQ(DefaultMessageBoxButton(c.style), c.button) << std::hex << c.style;
}

}  // namespace
}  // namespace lumora
