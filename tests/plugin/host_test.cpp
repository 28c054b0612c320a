// The plugin's exports linked into a test host: the same code as the DLL,
// with the viewer forms, the application object and the hooks visible.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/application.h"
#include "plugin/lister_plugin.h"
#include "shell/messages.h"
#include "test_host.h"
#include "viewer/main_form.h"

namespace lumora::test {
namespace {

std::vector<std::wstring> g_boxes;

int RecordBox(const TMessageBoxRequest& request) {
  g_boxes.emplace_back(request.Text);
  return IDOK;
}

class PluginHost : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxInterceptor(&RecordBox);
    g_boxes.clear();
    DeleteSettings();
    baselineForms_ = TForm::LiveCount();
    folder_ = MakeTempFolder();
  }
  void TearDown() override {
    SetMessageBoxInterceptor(previous_);
    EXPECT_EQ(TForm::LiveCount(), baselineForms_);
    EXPECT_EQ(TViewerKeyboardHook::InstalledCount(), 0);
    EXPECT_EQ(Application().ComponentCount(), 0);
  }

  std::string ImageFile(const std::wstring& name) {
    std::wstring path = folder_ + L"\\" + name;
    CopyTo(WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp"), path);
    return Narrow(path);
  }
  static HWND Load(HWND parent, std::string path) { return ListLoad(parent, path.data(), 0); }
  static TfmMain& Viewer(HWND window) { return *FindViewerLink(window)->Viewer; }

  MessageBoxInterceptor previous_ = nullptr;
  int baselineForms_ = 0;
  std::wstring folder_;
};

TEST_F(PluginHost, ViewerIsOwnedByTheApplicationUntilTeardown) {
  TTestHost host;
  HWND window = Load(host.Handle(), ImageFile(L"own.bmp"));
  ASSERT_NE(window, nullptr);
  ViewerLink* link = FindViewerLink(window);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(Application().OwnsComponent(link->Viewer));
  EXPECT_EQ(Application().Handle(), host.Handle());
  EXPECT_EQ(TForm::LiveCount(), baselineForms_ + 1);
  EXPECT_EQ(link->Viewer->HostWindow, host.Handle());
  EXPECT_FALSE(link->Viewer->HostIsChild);
  EXPECT_EQ(link->Viewer->HostMenu, GetMenu(host.Handle()));
  ListCloseWindow(window);
  EXPECT_EQ(Application().Handle(), nullptr);
  EXPECT_EQ(FindViewerLink(window), nullptr);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(PluginHost, TeardownThroughWmDestroyRunsOnce) {
  TTestHost host;
  HWND window = Load(host.Handle(), ImageFile(L"destroy.bmp"));
  ASSERT_NE(window, nullptr);
  DestroyWindow(window);  // the host destroys the viewer window without ListCloseWindow
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
  EXPECT_TRUE(host.Alive());
}

TEST_F(PluginHost, FailedLoadReportsAndLeavesNothingBehind) {
  HWND gone = nullptr;
  {
    TTestHost stale;
    gone = stale.Handle();
  }
  EXPECT_EQ(Load(gone, ImageFile(L"orphan.bmp")), nullptr);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].rfind(L"Open error:\r", 0), 0u) << Narrow(g_boxes[0]);
  EXPECT_GT(g_boxes[0].size(), std::wstring(L"Open error:\r").size());
  // TearDown checks that no form, hook or owned component is left.
}

TEST_F(PluginHost, EmbeddedViewerKeepsTheHostAlone) {
  TTestHost outer;
  TTestHost embedded(outer.Handle());
  HWND window = Load(embedded.Handle(), ImageFile(L"embedded.bmp"));
  ASSERT_NE(window, nullptr);
  TfmMain& viewer = Viewer(window);
  EXPECT_TRUE(viewer.HostIsChild);
  EXPECT_EQ(viewer.HostMenu, nullptr);
  viewer.CloseViewer();  // hides the viewer instead of asking the host to close
  PumpMessages();
  EXPECT_TRUE(embedded.Alive());
  EXPECT_FALSE(IsWindowVisible(window));
  ListCloseWindow(window);
}

TEST_F(PluginHost, StandaloneCloseRequestClosesTheLister) {
  TTestHost host;
  HWND window = Load(host.Handle(), ImageFile(L"close.bmp"));
  ASSERT_NE(window, nullptr);
  // The test host turns the close command into DestroyWindow (the default
  // procedure's WM_CLOSE), which ends the viewer through WM_DESTROY.
  Viewer(window).CloseViewer();
  PumpMessages();
  EXPECT_FALSE(host.Alive());
  EXPECT_FALSE(IsWindow(window));
}

// Each viewer gets the arrow keys meant for it: those pressed while the
// focus is inside its Lister window, and, when the focus is in no viewer's
// window, the newest viewer gets them. Down and up both arrive.
TEST_F(PluginHost, EachViewerReceivesItsOwnArrowKeys) {
  TTestHost hostA;
  TTestHost hostB;
  TTestHost other;
  HWND a = Load(hostA.Handle(), ImageFile(L"a.bmp"));
  HWND b = Load(hostB.Handle(), ImageFile(L"b.bmp"));
  ASSERT_TRUE(a && b);
  PumpMessages();
  EXPECT_EQ(TViewerKeyboardHook::InstalledCount(), 2);
  std::vector<WORD> keysA;
  std::vector<WORD> keysB;
  Viewer(a).OnKeyDown = [&](TControl&, WORD key, TShiftState) { keysA.push_back(key); };
  Viewer(b).OnKeyDown = [&](TControl&, WORD key, TShiftState) { keysB.push_back(key); };

  auto focusOn = [](HWND topLevel, HWND focus) {
    SetForegroundWindow(topLevel);
    SetFocus(focus);
    PumpMessages();
    return GetFocus() == focus;
  };

  // Focus on A's image view: twice through the hook, once more through key preview.
  ASSERT_TRUE(focusOn(hostA.Handle(), Viewer(a).ImageView->Handle()));
  PressKey(VK_LEFT);
  EXPECT_EQ(keysA, (std::vector<WORD>{VK_LEFT, VK_LEFT, VK_LEFT}));
  EXPECT_TRUE(keysB.empty());

  keysA.clear();
  ASSERT_TRUE(focusOn(hostB.Handle(), Viewer(b).ImageView->Handle()));
  PressKey(VK_DOWN);
  EXPECT_TRUE(keysA.empty());
  EXPECT_EQ(keysB.size(), 3u);

  // Focus in a window of no viewer: the newest viewer, through its hook only.
  keysB.clear();
  ASSERT_TRUE(focusOn(other.Handle(), other.Handle()));
  PressKey(VK_RIGHT);
  EXPECT_TRUE(keysA.empty());
  EXPECT_EQ(keysB, (std::vector<WORD>{VK_RIGHT, VK_RIGHT}));
  // Other keys are not the hook's business.
  keysB.clear();
  PressKey('X');
  EXPECT_TRUE(keysB.empty());

  // After B has gone its hook is gone too; A takes the stray keys. The
  // application's main window handle is cleared by any teardown.
  ListCloseWindow(b);
  EXPECT_EQ(TViewerKeyboardHook::InstalledCount(), 1);
  EXPECT_EQ(Application().Handle(), nullptr);
  ASSERT_TRUE(focusOn(other.Handle(), other.Handle()));
  PressKey(VK_UP);
  EXPECT_EQ(keysA, (std::vector<WORD>{VK_UP, VK_UP}));
  ListCloseWindow(a);
}

}  // namespace
}  // namespace lumora::test
