// lumora.wlx as the host sees it: loaded with LoadLibrary and driven only
// through its three exports; the results are read from the windows, the
// status bar messages and the registry.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "test_host.h"

namespace lumora::test {
namespace {

using DetectProc = void(__stdcall*)(char*, int);
using LoadProc = HWND(__stdcall*)(HWND, char*, int);
using CloseProc = void(__stdcall*)(HWND);

template <typename T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class PluginDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryW(WindowsPath(LUMORA_PLUGIN_PATH).c_str());
    ASSERT_NE(module_, nullptr) << "cannot load " << LUMORA_PLUGIN_PATH;
    detect_ = Export<DetectProc>(module_, "ListGetDetectString");
    load_ = Export<LoadProc>(module_, "ListLoad");
    close_ = Export<CloseProc>(module_, "ListCloseWindow");
    folder_ = MakeTempFolder();
    sample_ = WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp");
  }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(detect_ && load_ && close_);
    DeleteSettings();
  }

  // An image file under `name` in the test folder (the sample picture).
  static std::string ImageFile(const std::wstring& name) {
    std::wstring path = folder_ + L"\\" + name;
    CopyTo(sample_, path);
    return Narrow(path);
  }

  static HWND Load(HWND parent, std::string path, int showFlags = 0) { return load_(parent, path.data(), showFlags); }

  static HMODULE module_;
  static DetectProc detect_;
  static LoadProc load_;
  static CloseProc close_;
  static std::wstring folder_;
  static std::wstring sample_;
};

HMODULE PluginDll::module_ = nullptr;
DetectProc PluginDll::detect_ = nullptr;
LoadProc PluginDll::load_ = nullptr;
CloseProc PluginDll::close_ = nullptr;
std::wstring PluginDll::folder_;
std::wstring PluginDll::sample_;

std::wstring PanelText(HWND statusBar, int index) {
  auto length = LOWORD(SendMessageW(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
  std::wstring text(length + 1u, L'\0');
  SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

TEST_F(PluginDll, DetectStringIsCutToTheBuffer) {
  struct Case {
    int maxlen;
    const char* expected;  // nullptr: nothing written
  };
  for (Case c : {Case{64, "MULTIMEDIA"}, Case{11, "MULTIMEDIA"}, Case{5, "MULT"}, Case{1, ""}, Case{0, nullptr}}) {
    char buffer[80];
    std::memset(buffer, 0x7E, sizeof(buffer));
    detect_(buffer, c.maxlen);
    if (c.expected) {
      EXPECT_STREQ(buffer, c.expected) << "maxlen " << c.maxlen;
    } else {
      EXPECT_EQ(buffer[0], 0x7E);
    }
    for (int i = std::max(c.maxlen, static_cast<int>(std::strlen("MULTIMEDIA")) + 1); i < 80; ++i) {
      ASSERT_EQ(buffer[i], 0x7E) << "byte " << i << " written with maxlen " << c.maxlen;
    }
  }
}

TEST_F(PluginDll, RefusesUnreadableExtensionsWithoutAWindow) {
  TTestHost host;
  // Unknown extensions, write-only formats (PostScript, PDF), no extension.
  for (const char* name : {"notes.txt", "page.ps", "page.eps", "doc.pdf", "archive.jpg.zip", "noext", "folder\\"}) {
    EXPECT_EQ(Load(host.Handle(), Narrow(folder_) + "\\" + name), nullptr) << name;
    EXPECT_TRUE(ChildWindows(host.Handle()).empty()) << name;
  }
  EXPECT_EQ(load_(host.Handle(), nullptr, 0), nullptr);
  // Formats whose codec this build lacks (Photoshop, DICOM, camera RAW) are
  // left to the host's other viewers, whatever the file holds.
  for (const wchar_t* name : {L"layered.psd", L"scan.dcm", L"shot.nef"}) {
    EXPECT_EQ(Load(host.Handle(), ImageFile(name)), nullptr) << Narrow(name);
    EXPECT_TRUE(ChildWindows(host.Handle()).empty()) << Narrow(name);
  }
}

TEST_F(PluginDll, AcceptsReadableExtensionsInAnyCase) {
  TTestHost host;
  struct Case {
    const wchar_t* name;
    int showFlags;
  };
  for (Case c : {Case{L"PHOTO.JPG", 0}, Case{L"photo.jpg", 0}, Case{L"Sample.Bmp", 0}, Case{L"shown.png", 0x7FFF}}) {
    HWND viewer = Load(host.Handle(), ImageFile(c.name), c.showFlags);
    ASSERT_NE(viewer, nullptr) << Narrow(c.name);
    EXPECT_EQ(GetParent(viewer), host.Handle());
    EXPECT_TRUE(IsWindowVisible(viewer));
    // The show flags change nothing: the same style every time.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(viewer, GWL_STYLE)), WS_CHILD | WS_MAXIMIZE | WS_VISIBLE);
    // One pointer-sized slot holds the bound control.
    EXPECT_EQ(GetClassLongW(viewer, GCL_CBWNDEXTRA), static_cast<DWORD>(sizeof(LONG_PTR)));
    close_(viewer);
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_TRUE(ChildWindows(host.Handle()).empty());
    // Hints' tooltips are owned by the Lister window, not by the controls.
    EXPECT_TRUE(OwnedWindows(host.Handle()).empty());
  }
}

TEST_F(PluginDll, ListCloseWindowEndsTheViewerOnce) {
  TTestHost host;
  HWND viewer = Load(host.Handle(), ImageFile(L"close.bmp"));
  ASSERT_NE(viewer, nullptr);
  PumpMessages();
  close_(viewer);
  EXPECT_FALSE(IsWindow(viewer));
  EXPECT_TRUE(OwnedWindows(host.Handle()).empty());
  // The teardown ran (it writes the settings) ...
  EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
  // ... and nothing of the viewer reacts any more: a stale handle, the host
  // itself and a null handle are all ignored.
  DeleteSettings();
  close_(viewer);
  close_(host.Handle());
  close_(nullptr);
  EXPECT_TRUE(host.Alive());
  host.Destroy();
  PumpMessages();
  EXPECT_EQ(ReadSetting(L"ThumbsSize"), std::nullopt);
}

TEST_F(PluginDll, DestroyingTheListerWindowEndsTheViewer) {
  TTestHost host;
  HWND viewer = Load(host.Handle(), ImageFile(L"destroy.bmp"));
  ASSERT_NE(viewer, nullptr);
  PumpMessages();
  host.Destroy();
  EXPECT_FALSE(IsWindow(viewer));
  EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
  // The library is still sound: another viewer opens and closes.
  TTestHost second;
  HWND next = Load(second.Handle(), ImageFile(L"after.bmp"));
  ASSERT_NE(next, nullptr);
  close_(next);
}

TEST_F(PluginDll, FocusIsPostedOnlyOutsideEmbeddedMode) {
  MSG msg;
  TTestHost standalone;
  HWND viewer = Load(standalone.Handle(), ImageFile(L"focus.bmp"));
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(PeekMessageW(&msg, viewer, WM_SETFOCUS, WM_SETFOCUS, PM_NOREMOVE));
  close_(viewer);

  TTestHost outer;
  TTestHost embedded(outer.Handle());
  viewer = Load(embedded.Handle(), ImageFile(L"embedded.bmp"));
  ASSERT_NE(viewer, nullptr);
  EXPECT_FALSE(PeekMessageW(&msg, viewer, WM_SETFOCUS, WM_SETFOCUS, PM_NOREMOVE));
  close_(viewer);
}

TEST_F(PluginDll, TwoViewersCloseIndependently) {
  TTestHost first;
  TTestHost second;
  std::wstring big = folder_ + L"\\big.bmp";
  ASSERT_TRUE(WriteGradientBmp(big, 2000, 1500));
  HWND a = Load(first.Handle(), ImageFile(L"a.bmp"));
  HWND b = Load(second.Handle(), Narrow(big));
  ASSERT_TRUE(a && b);
  PumpMessages();
  close_(a);
  EXPECT_FALSE(IsWindow(a));
  ASSERT_TRUE(IsWindow(b));
  HWND statusBar = FindDescendant(b, L"statusbar");
  HWND view = FindDescendant(b, L"imageview");
  ASSERT_TRUE(statusBar && view);
  // At 100 % the picture is larger than the view: an arrow key scrolls it.
  SendMessageW(view, WM_KEYDOWN, VK_DIVIDE, 0);
  PumpMessages();
  EXPECT_EQ(PanelText(statusBar, 3), L"100%");
  SetForegroundWindow(second.Handle());
  SetFocus(view);
  PumpMessages();
  std::vector<uint32_t> before = WindowPixels(view);
  // The closed viewer's hook is gone (nothing calls into it); the key
  // reaches the open one, whose picture moves.
  PressKey(VK_RIGHT);
  std::vector<uint32_t> after = WindowPixels(view);
  ASSERT_FALSE(before.empty());
  EXPECT_NE(before, after);
  second.Destroy();
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(PluginDll, StatusBarAnswersLikeTheCommonControl) {
  TTestHost host;
  HWND viewer = Load(host.Handle(), ImageFile(L"status.bmp"));
  ASSERT_NE(viewer, nullptr);
  PumpMessages();
  HWND statusBar = FindDescendant(viewer, L"statusbar");
  ASSERT_NE(statusBar, nullptr);
  RECT viewerRect{};
  GetClientRect(viewer, &viewerRect);
  RECT bar = RectInParent(statusBar);
  EXPECT_EQ(bar.bottom, viewerRect.bottom);
  EXPECT_EQ(bar.bottom - bar.top, 19);

  int edges[8] = {};
  ASSERT_EQ(SendMessageW(statusBar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 6);
  EXPECT_EQ(std::vector<int>(edges, edges + 6), (std::vector<int>{70, 230, 301, 362, 522, -1}));
  EXPECT_EQ(PanelText(statusBar, 3), L"100%");
  EXPECT_EQ(SendMessageW(statusBar, SB_GETTEXTLENGTHW, 9, 0), 0);
  close_(viewer);
}

TEST_F(PluginDll, GaugeAndSliderLieOverPanel4) {
  TTestHost host;
  HWND viewer = Load(host.Handle(), ImageFile(L"gauge.bmp"));
  ASSERT_NE(viewer, nullptr);
  HWND statusBar = FindDescendant(viewer, L"statusbar");
  ASSERT_NE(statusBar, nullptr);
  std::vector<HWND> children = ChildWindows(statusBar);
  ASSERT_EQ(children.size(), 2u);
  std::vector<int> heights;
  for (HWND child : children) {
    RECT r = RectInParent(child);
    EXPECT_EQ(r.left, 365);
    EXPECT_EQ(r.right - r.left, 156);
    EXPECT_EQ(r.top, 3);
    EXPECT_FALSE(IsWindowVisible(child));  // the gauge shows during loads, the slider on page 1
    heights.push_back(r.bottom - r.top);
  }
  std::sort(heights.begin(), heights.end());
  EXPECT_EQ(heights, (std::vector<int>{15, 16}));
  close_(viewer);
}

TEST_F(PluginDll, SettingsAreReadAndWrittenBackAsText) {
  struct Case {
    const wchar_t* name;
    const wchar_t* stored;
    const wchar_t* written;
  };
  const Case cases[] = {
      {L"ThumbsSize", L"abc", L"160"},   {L"ThumbsSize", L"1000", L"256"}, {L"ThumbsSize", L"200", L"200"},
      {L"ThumbsSize", L"12", L"128"},    {L"Interpolation", L"2", L"1"},   {L"Interpolation", L"x1", L"0"},
      {L"MouseSelect", L"1", L"1"},      {L"ThreadsCount", L"7", L"7"},    {L"ThreadsCount", L"", L"10"},
  };
  for (const Case& c : cases) {
    DeleteSettings();
    WriteSetting(c.name, c.stored);
    TTestHost host;
    HWND viewer = Load(host.Handle(), ImageFile(L"settings.bmp"));
    ASSERT_NE(viewer, nullptr);
    close_(viewer);
    EXPECT_EQ(ReadSetting(c.name), c.written) << Narrow(c.name) << " = \"" << Narrow(c.stored) << "\"";
  }
  // A fresh key gets all four values, as strings.
  for (const wchar_t* name : {L"ThumbsSize", L"Interpolation", L"MouseSelect", L"ThreadsCount"}) {
    EXPECT_TRUE(ReadSetting(name).has_value()) << Narrow(name);
  }
  EXPECT_EQ(ReadSetting(L"MouseSelect"), L"0");
}

// Runs after the PluginDll suite has released the library, so the loads
// here really map and unmap it.
TEST(PluginUnload, FreeLibraryWithAViewerOpenLeavesNothingBehind) {
  std::wstring path = WindowsPath(LUMORA_PLUGIN_PATH);
  std::wstring folder = MakeTempFolder();
  std::wstring image = folder + L"\\open.bmp";
  ASSERT_TRUE(CopyTo(WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp"), image));
  TTestHost host;
  for (int round = 0; round < 2; ++round) {
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    auto load = Export<LoadProc>(module, "ListLoad");
    std::string name = Narrow(image);
    HWND viewer = load(host.Handle(), name.data(), 0);
    ASSERT_NE(viewer, nullptr) << "round " << round;  // the window classes register again after an unload
    PumpMessages();
    FreeLibrary(module);
    // The viewer went with the library; the host window lives on and its
    // messages reach no unmapped code.
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_TRUE(ChildWindows(host.Handle()).empty());
    // Hints' tooltips are owned by the Lister window, not by the controls.
    EXPECT_TRUE(OwnedWindows(host.Handle()).empty());
    SendMessageW(host.Handle(), WM_SIZE, 0, MAKELPARAM(300, 200));
    PumpMessages();
  }
}

}  // namespace
}  // namespace lumora::test
