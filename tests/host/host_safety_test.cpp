// lumora.wlx in a host that does what real hosts do at awkward moments,
// through LoadLibrary and the three exports only: it closes the Lister
// while a load lets messages run, unloads the library with the thumbnail
// page open, and subclasses the plugin window before closing it. A fault
// here ends this process (an access violation) or hangs it (a watchdog
// ends it then), so each case also states what the host sees afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_host.h"

namespace lumora::test {
namespace {

using LoadProc = HWND(__stdcall*)(HWND, char*, int);
using CloseProc = void(__stdcall*)(HWND);

template <typename T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring PluginPath() { return WindowsPath(LUMORA_PLUGIN_PATH); }
std::wstring Sample() { return WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp"); }

// The library, loaded for one test and freed at its end (unless the test
// freed it itself).
class PluginLibrary {
 public:
  PluginLibrary() : module_(LoadLibraryW(PluginPath().c_str())) {
    if (!module_) return;
    load_ = Export<LoadProc>(module_, "ListLoad");
    close_ = Export<CloseProc>(module_, "ListCloseWindow");
  }
  ~PluginLibrary() { Free(); }
  bool Ready() const { return module_ && load_ && close_; }
  HWND Load(HWND parent, const std::wstring& path) {
    std::string ansi = Narrow(path);
    return load_(parent, ansi.data(), 0);
  }
  void Close(HWND viewer) { close_(viewer); }
  void Free() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_ = nullptr;
  LoadProc load_ = nullptr;
  CloseProc close_ = nullptr;
};

// Ends the process when the host is stuck longer than `seconds` (FreeLibrary
// that never returns): a hang becomes a failure that names itself.
class Watchdog {
 public:
  Watchdog(const char* what, DWORD seconds) : what_(what), seconds_(seconds) {
    done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    started_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr);
    // A thread starts under the loader's lock: it must be running before
    // the host takes that lock (FreeLibrary), or it would wait behind it.
    WaitForSingleObject(started_, INFINITE);
  }
  ~Watchdog() {
    SetEvent(done_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(done_);
    CloseHandle(started_);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    SetEvent(dog->started_);
    if (WaitForSingleObject(dog->done_, dog->seconds_ * 1000) == WAIT_TIMEOUT) {
      std::fprintf(stderr, "host hangs: %s did not return within %lu s\n", dog->what_,
                   static_cast<unsigned long>(dog->seconds_));
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
    return 0;
  }
  const char* what_;
  DWORD seconds_;
  HANDLE done_ = nullptr;
  HANDLE started_ = nullptr;
  HANDLE thread_ = nullptr;
};

std::wstring PanelText(HWND statusBar, int index) {
  wchar_t text[256] = {};
  SendMessageW(statusBar, 0x0400 + 13 /* SB_GETTEXTW */, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return text;
}

// Holds Ctrl down in the thread's keyboard state while it lives (when asked to).
class CtrlDown {
 public:
  explicit CtrlDown(bool on) : on_(on) {
    if (on_) Set(0x80);
  }
  ~CtrlDown() {
    if (on_) Set(0);
  }

 private:
  bool on_;
  static void Set(BYTE value) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = value;
    SetKeyboardState(state);
  }
};

// What the Lister does with the close command: either it calls
// ListCloseWindow and then destroys its window (Total Commander), or it
// just destroys its window (the plugin window goes with it: WM_DESTROY).
enum class CloseWay { ListCloseWindowThenDestroy, DestroyOnly };

struct ListerHost {
  TTestHost host;
  PluginLibrary* library = nullptr;
  HWND viewer = nullptr;
  CloseWay way = CloseWay::DestroyOnly;
  WNDPROC previous = nullptr;
  int closes = 0;

  static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ListerHost*>(GetPropW(window, L"ListerHost"));
    if (self && msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
      ++self->closes;
      if (self->way == CloseWay::ListCloseWindowThenDestroy) self->library->Close(self->viewer);
      RemovePropW(window, L"ListerHost");
      DestroyWindow(window);
      return 0;
    }
    return CallWindowProcW(self ? self->previous : DefWindowProcW, window, msg, wParam, lParam);
  }
  void Bind(PluginLibrary& lib, CloseWay closeWay) {
    library = &lib;
    way = closeWay;
    SetPropW(host.Handle(), L"ListerHost", this);
    previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(host.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListerHost::Procedure)));
  }
};

class HostSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSettings();
    folder_ = MakeTempFolder();
  }
  // `count` copies of the sample picture in the test folder; the path of the first.
  std::wstring SampleFolder(int count) {
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(CopyTo(Sample(), folder_ + L"\\p" + std::to_wstring(i) + L".bmp"));
    }
    return folder_ + L"\\p0.bmp";
  }
  std::wstring folder_;
};

// A close posted to the Lister, then a command that loads a picture: the
// close arrives while the load lets messages run. The viewer must end once,
// after the load, with its settings written; the host lives on.
TEST_F(HostSafety, CloseArrivingDuringALoadEndsTheViewerOnceAfterIt) {
  enum class Command { Step, Reload, ThumbnailEnter };
  struct Case {
    const char* name;
    Command command;
    CloseWay way;
  };
  const Case cases[] = {
      {"PageDown, Lister destroyed", Command::Step, CloseWay::DestroyOnly},
      {"PageDown, ListCloseWindow", Command::Step, CloseWay::ListCloseWindowThenDestroy},
      {"Ctrl+R, Lister destroyed", Command::Reload, CloseWay::DestroyOnly},
      {"Ctrl+R, ListCloseWindow", Command::Reload, CloseWay::ListCloseWindowThenDestroy},
      {"Enter on a thumbnail, ListCloseWindow", Command::ThumbnailEnter, CloseWay::ListCloseWindowThenDestroy},
  };
  std::wstring first = SampleFolder(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteSettings();
    WriteSetting(L"ThreadsCount", L"3");
    PluginLibrary library;
    ASSERT_TRUE(library.Ready());
    ListerHost lister;
    lister.Bind(library, c.way);
    lister.viewer = library.Load(lister.host.Handle(), first);
    ASSERT_NE(lister.viewer, nullptr);
    PumpMessages();
    HWND statusBar = FindDescendant(lister.viewer, L"statusbar");
    HWND view = FindDescendant(lister.viewer, L"imageview");
    HWND grid = FindDescendant(lister.viewer, L"imagemview");
    ASSERT_TRUE(statusBar && view && grid);

    HWND target = view;
    WPARAM key = VK_NEXT;
    if (c.command == Command::Step) {
      // The neighbour that exists: the folder's order is the file system's.
      std::wstring position = PanelText(statusBar, 0);
      ASSERT_EQ(position.size(), 3u) << Narrow(position);
      if (position[0] == position[2]) key = VK_PRIOR;
    } else if (c.command == Command::Reload) {
      key = 'R';
    } else {
      SendMessageW(view, WM_KEYDOWN, VK_RETURN, 0);  // to the thumbnail page
      PumpMessages();
      ASSERT_TRUE(IsWindowVisible(grid));
      target = grid;
      key = VK_RETURN;
    }
    PostMessageW(lister.host.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    {
      CtrlDown ctrl(c.command == Command::Reload);
      SendMessageW(target, WM_KEYDOWN, key, 0);
    }
    // The close came in during that load: everything is gone now.
    EXPECT_EQ(lister.closes, 1);
    EXPECT_FALSE(IsWindow(lister.viewer));
    EXPECT_FALSE(lister.host.Alive());
    EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
    EXPECT_EQ(ReadSetting(L"ThreadsCount"), L"3");
    // Exactly once: nothing writes the settings again later.
    DeleteSettings();
    PumpMessages(200);
    EXPECT_EQ(ReadSetting(L"ThumbsSize"), std::nullopt);
    // The library is sound: another viewer opens and closes.
    TTestHost next;
    HWND again = library.Load(next.Handle(), first);
    ASSERT_NE(again, nullptr);
    library.Close(again);
    EXPECT_FALSE(IsWindow(again));
  }
}

// FreeLibrary with a viewer on the thumbnail page: while the grid's workers
// are busy, and once they have nothing left to do. It returns, the viewer
// goes with the library and the host's window lives on.
TEST_F(HostSafety, FreeLibraryReturnsAfterTheThumbnailPageWasShown) {
  constexpr int kCount = 12;
  for (int i = 0; i < kCount; ++i) {
    ASSERT_TRUE(WriteGradientBmp(folder_ + L"\\big" + std::to_wstring(i) + L".bmp", 2000, 1500));
  }
  const UINT countMessage = RegisterWindowMessageW(L"LumoraThumbnailCount");
  for (bool waitForAll : {false, true}) {
    SCOPED_TRACE(waitForAll ? "every thumbnail loaded" : "workers busy");
    PluginLibrary library;
    ASSERT_TRUE(library.Ready());
    TTestHost host;
    HWND viewer = library.Load(host.Handle(), folder_ + L"\\big0.bmp");
    ASSERT_NE(viewer, nullptr);
    PumpMessages();
    HWND view = FindDescendant(viewer, L"imageview");
    HWND grid = FindDescendant(viewer, L"imagemview");
    ASSERT_TRUE(view && grid);
    SendMessageW(view, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(IsWindowVisible(grid));
    EXPECT_EQ(SendMessageW(grid, countMessage, 1, 0), kCount);
    if (waitForAll) {
      DWORD start = GetTickCount();
      while (SendMessageW(grid, countMessage, 0, 0) < kCount && GetTickCount() - start < 60000) PumpMessages(20);
      ASSERT_EQ(SendMessageW(grid, countMessage, 0, 0), kCount);
    } else {
      // The page paints, which sets the workers going; a moment later each
      // is inside a load of its own.
      RedrawWindow(grid, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      Sleep(30);
    }
    {
      Watchdog dog("FreeLibrary", 30);
      library.Free();
    }
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_TRUE(ChildWindows(host.Handle()).empty());
    EXPECT_EQ(GetModuleHandleW(PluginPath().c_str()), nullptr);
    EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
    // The host goes on: its window gets messages and no code of ours runs.
    SendMessageW(host.Handle(), WM_SIZE, 0, MAKELPARAM(300, 200));
    PumpMessages();
    EXPECT_TRUE(host.Alive());
    DeleteSettings();
  }
}

// The host's own procedure for the plugin window, chaining to the one it
// replaced; counts the messages it sees.
struct Subclass {
  static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, L"HostPrevious"));
    if (msg == WM_NCDESTROY) RemovePropW(window, L"HostPrevious");
    ++calls;
    return CallWindowProcW(previous, window, msg, wParam, lParam);
  }
  static inline int calls = 0;
};

// A host that subclasses the plugin window after ListLoad (its procedure
// chains to ours) still gets the viewer's teardown, whichever way it closes
// the viewer, and its own procedure keeps its place.
TEST_F(HostSafety, SubclassedPluginWindowIsStillTornDown) {
  std::wstring first = SampleFolder(1);
  for (CloseWay way : {CloseWay::ListCloseWindowThenDestroy, CloseWay::DestroyOnly}) {
    SCOPED_TRACE(way == CloseWay::DestroyOnly ? "Lister destroyed" : "ListCloseWindow");
    DeleteSettings();
    WriteSetting(L"ThreadsCount", L"0");  // kept as read, though no pool runs with 0 workers
    WriteSetting(L"Interpolation", L"1");
    PluginLibrary library;
    ASSERT_TRUE(library.Ready());
    TTestHost host;
    HWND viewer = library.Load(host.Handle(), first);
    ASSERT_NE(viewer, nullptr);
    auto previous = SetWindowLongPtrW(viewer, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass::Procedure));
    SetPropW(viewer, L"HostPrevious", reinterpret_cast<HANDLE>(previous));
    PumpMessages();
    Subclass::calls = 0;
    if (way == CloseWay::ListCloseWindowThenDestroy) {
      library.Close(viewer);
      EXPECT_FALSE(IsWindow(viewer));
      host.Destroy();
    } else {
      host.Destroy();
      EXPECT_FALSE(IsWindow(viewer));
    }
    EXPECT_GT(Subclass::calls, 0);  // the host's procedure saw the window's end
    EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"160");
    EXPECT_EQ(ReadSetting(L"Interpolation"), L"1");
    EXPECT_EQ(ReadSetting(L"ThreadsCount"), L"0");
    // Once only: a later ListCloseWindow on the stale handle writes nothing.
    DeleteSettings();
    library.Close(viewer);
    PumpMessages();
    EXPECT_EQ(ReadSetting(L"ThumbsSize"), std::nullopt);
  }
}

}  // namespace
}  // namespace lumora::test
