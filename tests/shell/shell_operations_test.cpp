#include "shell/shell_operations.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <vector>

#include "dialog_responder/dialog_responder.h"

using SeenDialog = lumora::TSeenDialog;
using DialogResponder = lumora::TDialogResponder;

namespace lumora {
namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder under the temporary folder, removed with its files.
class ShellFileOperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"lumora-shell-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    std::wstring from = folder_;
    from.append(2, L'\0');
    SHFILEOPSTRUCTW remove{};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationW(&remove);
  }

  std::wstring MakeFile(const std::wstring& name, const std::wstring& subfolder = L"") {
    const std::wstring dir = subfolder.empty() ? folder_ : folder_ + L"\\" + subfolder;
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring path = dir + L"\\" + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "lumora", 6, &written, nullptr);
    CloseHandle(file);
    return path;
  }

  std::wstring folder_;
};

TEST_F(ShellFileOperationTest, EmptyListOrEmptyPathIsRefusedWithoutAsking) {
  DialogResponder responder(IDYES);
  EXPECT_FALSE(ShellFileOperation(nullptr, {}, L"", FO_DELETE));
  // An empty name would end the shell's list and leave the rest untouched.
  const std::vector<std::wstring> withEmpty{MakeFile(L"a.txt"), L"", MakeFile(L"b.txt")};
  EXPECT_FALSE(ShellFileOperation(nullptr, withEmpty, L"", FO_DELETE));
  EXPECT_TRUE(responder.Dialogs().empty());
  EXPECT_TRUE(Exists(withEmpty[0]));
  EXPECT_TRUE(Exists(withEmpty[2]));
}

TEST_F(ShellFileOperationTest, DeleteAsksAndSucceedsOnlyWhenConfirmed) {
  const std::vector<std::wstring> files{MakeFile(L"фото 1.jpg")};
  {
    DialogResponder decline(IDNO);
    EXPECT_FALSE(ShellFileOperation(nullptr, files, L"", FO_DELETE));
    EXPECT_EQ(decline.Dialogs().size(), 1u);
    EXPECT_TRUE(Exists(files[0]));
  }
  {
    DialogResponder confirm(IDYES);
    EXPECT_TRUE(ShellFileOperation(nullptr, files, L"", FO_DELETE));
    EXPECT_EQ(confirm.Dialogs().size(), 1u);
    EXPECT_FALSE(Exists(files[0]));
  }
}

TEST_F(ShellFileOperationTest, DeleteTakesEveryFileOfTheList) {
  const std::vector<std::wstring> files{MakeFile(L"a.bmp"), MakeFile(L"b.bmp", L"sub"), MakeFile(L"c.bmp")};
  DialogResponder confirm(IDYES);
  EXPECT_TRUE(ShellFileOperation(nullptr, files, L"", FO_DELETE));
  for (const std::wstring& file : files) EXPECT_FALSE(Exists(file));
}

TEST_F(ShellFileOperationTest, CopyPutsEachFileIntoTheFolderWithOrWithoutBackslash) {
  const std::vector<std::wstring> files{MakeFile(L"a.png", L"from"), MakeFile(L"b.png", L"from")};
  CreateDirectoryW((folder_ + L"\\to1").c_str(), nullptr);
  CreateDirectoryW((folder_ + L"\\to2").c_str(), nullptr);
  DialogResponder confirm(IDYES);
  EXPECT_TRUE(ShellFileOperation(nullptr, files, folder_ + L"\\to1", FO_COPY));
  EXPECT_TRUE(ShellFileOperation(nullptr, files, folder_ + L"\\to2\\", FO_COPY));
  for (const wchar_t* copy : {L"\\to1\\a.png", L"\\to1\\b.png", L"\\to2\\a.png", L"\\to2\\b.png"})
    EXPECT_TRUE(Exists(folder_ + copy)) << copy;
  EXPECT_TRUE(Exists(files[0]));
}

TEST_F(ShellFileOperationTest, MissingFileIsAFailure) {
  DialogResponder confirm(IDOK);
  EXPECT_FALSE(ShellFileOperation(nullptr, {{folder_ + L"\\missing.jpg"}}, L"", FO_DELETE));
}

// Records the clicks that reach one window under the pointer.
std::vector<UINT> g_clicks;
LRESULT CALLBACK ClickTarget(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      g_clicks.push_back(message);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(SimulateMouseClick, ClicksWhereThePointerIsWithTheChosenButton) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ClickTarget;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoraClickTarget";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100, 200,
                                200, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  const POINT centre{200, 200};
  SetCursorPos(centre.x, centre.y);
  // Tests of other programs may share the display: a window of theirs over
  // ours makes this test meaningless, not wrong.
  if (WindowFromPoint(centre) != window) {
    DestroyWindow(window);
    GTEST_SKIP() << "another window lies under the pointer";
  }

  auto clicksOf = [&](MouseButton button) {
    g_clicks.clear();
    SetCursorPos(centre.x, centre.y);
    SimulateMouseClick(centre, button);
    for (DWORD end = GetTickCount() + 300; GetTickCount() < end;) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      Sleep(10);
    }
    return g_clicks;
  };
  EXPECT_EQ(clicksOf(MouseButton::Left), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  EXPECT_EQ(clicksOf(MouseButton::Right), (std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP}));
  EXPECT_TRUE(clicksOf(static_cast<MouseButton>(2)).empty());
  POINT pointer{};
  GetCursorPos(&pointer);
  EXPECT_EQ(pointer.x, centre.x);
  EXPECT_EQ(pointer.y, centre.y);
  DestroyWindow(window);
}

}  // namespace
}  // namespace lumora
