// lister.exe: a stand-in for Total Commander's Lister window.
//
//   lister.exe [--plugin PATH] [--keys LIST] [--settle MS] [--screenshot OUT] [--quit] FILE
//
// Loads a Lister plugin (default: lumora.wlx beside this program), asks for
// its detect string, opens FILE with ListLoad in a top-level window with a
// menu bar and a caption, and keeps the plugin window the size of its
// client area. Closing the window (WM_SYSCOMMAND / SC_CLOSE) calls
// ListCloseWindow and destroys the window. WM_CHAR messages that reach the
// window are recorded.
//
// Scripted use: once the first load has finished and the message queue is
// idle, each key of LIST is pressed and released through SendInput (so
// keyboard hooks and key preview see it), one at a time, waiting for the
// queue to be idle after each. LIST is comma-separated: key names (PageDown,
// Return, Escape, Left, Num5, F3, 3, R, ...) with optional Ctrl+, Shift+,
// Alt+ prefixes, or decimal virtual-key codes of two or more digits.
// Then one line each is printed in UTF-8:
//   detect: <detect string>        loaded: yes|no        caption: <caption>
//   panel0: ... panel5: <texts of the plugin's status bar, by SB_GETTEXTW>
//   chars: <WM_CHAR codes received, comma-separated>     closed: yes|no
//   busy: <ms from ListLoad to the last message before the final quiet>
//   key times: <for each key, ms from pressing it to the last message it caused>
//   peak memory: <the process's peak working set in MiB>
// and, when the plugin's thumbnail grid (a window answering the registered
// message "LumoraThumbnailCount") is showing at the end:
//   thumbnails: <loaded>/<items>
//   thumbnails page: <ms from the last key until its visible cells were all in>
//   thumbnails all: <ms from the key that showed the grid until every item was in>
// While the grid is showing, a key's wait ends as soon as the visible cells
// are in (thumbnails keep arriving in the background), and after the last
// key the run waits (up to --settle) until every thumbnail is in.
// The busy time and the peak memory are what benchmarks read (a thumbnail
// page of a large folder, say); --settle raises the longest wait for quiet
// after each step from 10 s, for work that takes longer.
// With --quit or --keys every message box the plugin shows is printed as
//   message: <its text>
// when it appears and is dismissed with its default button about two
// seconds later, so scripted runs never hang on a modal box.
// Then, with --screenshot, the window is saved (BitBlt from the window DC)
// in the format of OUT's extension (.png, .bmp), and with --quit the program
// closes the window and exits 0.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "imageio/bitmap.h"
#include "imageio/imageio.h"
#include "dialog_responder/dialog_responder.h"

namespace {

using ListGetDetectStringProc = void(__stdcall*)(char*, int);
using ListLoadProc = HWND(__stdcall*)(HWND, char*, int);
using ListCloseWindowProc = void(__stdcall*)(HWND);

// The plugin of our own width beside this program.
#ifdef _WIN64
constexpr wchar_t kDefaultPlugin[] = L"lumora.wlx64";
#else
constexpr wchar_t kDefaultPlugin[] = L"lumora.wlx";
#endif
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 600;
constexpr int kDetectStringSize = 1024;
constexpr UINT kMenuClose = 100;
constexpr DWORD kQuietMs = 150;       // no message for this long = idle
// Before the state is read: thumbnails and other results of worker threads
// arrive as posted messages, possibly after a first quiet spell.
constexpr DWORD kFinalQuietMs = 600;
constexpr DWORD kDefaultMaxSettleMs = 10000;
DWORD g_maxSettleMs = kDefaultMaxSettleMs;
// When the last message was dispatched (GetTickCount).
DWORD g_lastActivity = 0;
constexpr UINT kMessageBoxDelayMs = 2000;  // long enough to be seen in a screenshot or by eye

struct TKeyPress {
  WORD key = 0;
  bool ctrl = false, shift = false, alt = false;
};

struct TOptions {
  std::wstring plugin;
  std::vector<TKeyPress> keys;
  std::wstring screenshot;
  bool quit = false;
  DWORD maxSettleMs = kDefaultMaxSettleMs;
  std::wstring file;
};

struct TLister {
  HWND window = nullptr;
  HWND pluginWindow = nullptr;  // owned by the plugin; closed through ListCloseWindow
  ListCloseWindowProc closeWindow = nullptr;
  std::vector<unsigned> chars;
  bool closed = false;
};

TLister g_lister;

// ---- Output ------------------------------------------------------------------

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void PrintLine(const std::string& key, const std::wstring& value) {
  std::string line = key + ": " + ToUtf8(value) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void Fail(const std::wstring& message) {
  std::string text = "lister: " + ToUtf8(message) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// ---- Key names -----------------------------------------------------------------

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::optional<WORD> KeyCode(const std::wstring& name) {
  std::wstring n = Lower(name);
  if (n.size() == 1) {
    wchar_t c = static_cast<wchar_t>(std::towupper(name[0]));
    if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return static_cast<WORD>(c);
  }
  if (n.size() >= 2 && n.find_first_not_of(L"0123456789") == std::wstring::npos) {
    unsigned long code = std::wcstoul(n.c_str(), nullptr, 10);
    if (code > 0 && code < 256) return static_cast<WORD>(code);
    return std::nullopt;
  }
  if (n.size() >= 2 && n[0] == L'f' && n.find_first_not_of(L"0123456789", 1) == std::wstring::npos) {
    unsigned long f = std::wcstoul(n.c_str() + 1, nullptr, 10);
    if (f >= 1 && f <= 24) return static_cast<WORD>(VK_F1 + f - 1);
  }
  if (n.size() == 4 && n.rfind(L"num", 0) == 0 && n[3] >= L'0' && n[3] <= L'9') {
    return static_cast<WORD>(VK_NUMPAD0 + (n[3] - L'0'));
  }
  struct TName {
    const wchar_t* name;
    WORD key;
  };
  static const TName kNames[] = {
      {L"pagedown", VK_NEXT}, {L"pgdn", VK_NEXT}, {L"next", VK_NEXT},
      {L"pageup", VK_PRIOR}, {L"pgup", VK_PRIOR}, {L"prior", VK_PRIOR},
      {L"return", VK_RETURN}, {L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"esc", VK_ESCAPE},
      {L"left", VK_LEFT}, {L"right", VK_RIGHT}, {L"up", VK_UP}, {L"down", VK_DOWN},
      {L"home", VK_HOME}, {L"end", VK_END}, {L"insert", VK_INSERT}, {L"ins", VK_INSERT},
      {L"delete", VK_DELETE}, {L"del", VK_DELETE}, {L"tab", VK_TAB}, {L"space", VK_SPACE},
      {L"backspace", VK_BACK}, {L"back", VK_BACK},
      {L"numadd", VK_ADD}, {L"numplus", VK_ADD}, {L"add", VK_ADD},
      {L"numsub", VK_SUBTRACT}, {L"numminus", VK_SUBTRACT}, {L"subtract", VK_SUBTRACT},
      {L"nummul", VK_MULTIPLY}, {L"multiply", VK_MULTIPLY},
      {L"numdiv", VK_DIVIDE}, {L"divide", VK_DIVIDE}, {L"numdecimal", VK_DECIMAL},
  };
  for (const TName& entry : kNames) {
    if (n == entry.name) return entry.key;
  }
  return std::nullopt;
}

std::optional<TKeyPress> ParseKey(std::wstring text) {
  TKeyPress press;
  for (;;) {
    std::wstring lower = Lower(text);
    if (lower.rfind(L"ctrl+", 0) == 0) {
      press.ctrl = true;
      text.erase(0, 5);
    } else if (lower.rfind(L"shift+", 0) == 0) {
      press.shift = true;
      text.erase(0, 6);
    } else if (lower.rfind(L"alt+", 0) == 0) {
      press.alt = true;
      text.erase(0, 4);
    } else {
      break;
    }
  }
  std::optional<WORD> key = KeyCode(text);
  if (!key) return std::nullopt;
  press.key = *key;
  return press;
}

std::optional<std::vector<TKeyPress>> ParseKeyList(const std::wstring& list) {
  std::vector<TKeyPress> keys;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(L',', start);
    std::wstring item = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
    if (!item.empty()) {
      std::optional<TKeyPress> key = ParseKey(item);
      if (!key) {
        Fail(L"unknown key: " + item);
        return std::nullopt;
      }
      keys.push_back(*key);
    }
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return keys;
}

// ---- Input and message pumping ---------------------------------------------------

bool IsExtendedKey(WORD key) {
  switch (key) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END:
    case VK_INSERT: case VK_DELETE: case VK_DIVIDE:
      return true;
    default:
      return false;
  }
}

INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(key) ? KEYEVENTF_EXTENDEDKEY : 0);
  return input;
}

void SendKeyPress(const TKeyPress& press) {
  std::vector<INPUT> inputs;
  if (press.ctrl) inputs.push_back(KeyInput(VK_CONTROL, false));
  if (press.shift) inputs.push_back(KeyInput(VK_SHIFT, false));
  if (press.alt) inputs.push_back(KeyInput(VK_MENU, false));
  inputs.push_back(KeyInput(press.key, false));
  inputs.push_back(KeyInput(press.key, true));
  if (press.alt) inputs.push_back(KeyInput(VK_MENU, true));
  if (press.shift) inputs.push_back(KeyInput(VK_SHIFT, true));
  if (press.ctrl) inputs.push_back(KeyInput(VK_CONTROL, true));
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Runs messages until none has arrived for `quietMs`, or until `done`
// (checked between messages) says so. Returns false when WM_QUIT was seen.
template <typename Done>
bool PumpUntil(Done done, DWORD quietMs = kQuietMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return false;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      g_lastActivity = GetTickCount();
      if (done()) return true;
    }
    if (GetTickCount() - start > g_maxSettleMs) return true;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, quietMs, QS_ALLINPUT) == WAIT_TIMEOUT) return true;
  }
}

bool PumpUntilIdle(DWORD quietMs = kQuietMs) {
  return PumpUntil([] { return false; }, quietMs);
}

// ---- The thumbnail grid ----------------------------------------------------------------

BOOL CALLBACK MatchThumbnailGrid(HWND child, LPARAM found) {
  wchar_t name[128] = {};
  GetClassNameW(child, name, 128);
  if (Lower(name).find(L"imagemview") == std::wstring::npos) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The grid's counts: wParam 0 loaded, 1 items, 2 visible loaded, 3 visible.
struct TThumbnailCounts {
  long loaded = 0, items = 0, visibleLoaded = 0, visible = 0;
  bool PageComplete() const { return visibleLoaded >= visible; }
  bool AllIn() const { return loaded >= items; }
};

// The plugin's thumbnail grid while it is showing, else null.
HWND ShownThumbnailGrid() {
  if (!g_lister.pluginWindow || !IsWindow(g_lister.pluginWindow)) return nullptr;
  HWND found = nullptr;
  EnumChildWindows(g_lister.pluginWindow, MatchThumbnailGrid, reinterpret_cast<LPARAM>(&found));
  return found && IsWindowVisible(found) ? found : nullptr;
}

TThumbnailCounts ThumbnailCounts(HWND grid) {
  static const UINT message = RegisterWindowMessageW(L"LumoraThumbnailCount");
  auto ask = [&](WPARAM what) { return static_cast<long>(SendMessageW(grid, message, what, 0)); };
  return {ask(0), ask(1), ask(2), ask(3)};
}

// ---- Reading the plugin window -------------------------------------------------------

BOOL CALLBACK MatchStatusBar(HWND child, LPARAM found) {
  wchar_t name[128] = {};
  GetClassNameW(child, name, 128);
  if (Lower(name).find(L"statusbar") == std::wstring::npos) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The plugin's status bar: the first window below the plugin window whose
// class name says so (the common control or a look-alike).
HWND FindStatusBar(HWND root) {
  HWND found = nullptr;
  EnumChildWindows(root, MatchStatusBar, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring PanelText(HWND statusBar, int index) {
  if (!statusBar) return {};
  int parts = static_cast<int>(SendMessageW(statusBar, SB_GETPARTS, 0, 0));
  if (index >= parts) return {};
  LRESULT length = LOWORD(SendMessageW(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::wcslen(text.c_str()));
  return text;
}

std::wstring WindowText(HWND window) {
  if (!window || !IsWindow(window)) return {};
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(std::wcslen(text.c_str()));
  return text;
}

// ---- Screenshot ------------------------------------------------------------------------

// Copies what the window shows (frame included) and saves it through the
// I/O library, in the format the file name's extension names (.bmp, .png).
bool SaveScreenshot(HWND window, const std::wstring& path) {
  RECT r;
  GetWindowRect(window, &r);
  int width = r.right - r.left;
  int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC windowDC = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib && memory) {
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, windowDC, 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(memory, previous);
    try {
      // The DIB's rows are pf24RGB rows padded to 32 bits, bottom-up.
      lumora::TLmBitmap picture;
      picture.WrapMemory(width, height, lumora::pf24RGB, bits, false);
      lumora::TImageIO io(picture);
      io.SaveImage(std::filesystem::path(path));
      ok = !io.Aborting;
    } catch (const std::exception& error) {
      Fail(L"screenshot: " + std::wstring(error.what(), error.what() + std::strlen(error.what())));
    }
  }
  if (dib) DeleteObject(dib);
  if (memory) DeleteDC(memory);
  ReleaseDC(window, windowDC);
  return ok;
}

// ---- The Lister window ---------------------------------------------------------------------

void CloseLister() {
  if (g_lister.pluginWindow && g_lister.closeWindow) {
    HWND plugin = g_lister.pluginWindow;
    g_lister.pluginWindow = nullptr;
    g_lister.closeWindow(plugin);
  }
  if (g_lister.window) DestroyWindow(g_lister.window);
}

LRESULT CALLBACK ListerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      if (g_lister.pluginWindow) MoveWindow(g_lister.pluginWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (g_lister.pluginWindow && IsWindowVisible(g_lister.pluginWindow)) SetFocus(g_lister.pluginWindow);
      return 0;
    case WM_CHAR:
      g_lister.chars.push_back(static_cast<unsigned>(wParam));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kMenuClose) PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        CloseLister();
        return 0;
      }
      break;
    case WM_CLOSE:
      CloseLister();
      return 0;
    case WM_DESTROY:
      // A plugin window still open ends with this window (its WM_DESTROY).
      g_lister.pluginWindow = nullptr;
      g_lister.window = nullptr;
      g_lister.closed = true;
      PostQuitMessage(0);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_APPWORKSPACE));
      return 1;
    }
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

HWND CreateListerWindow(const std::wstring& file) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ListerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"TLister";
  RegisterClassExW(&wc);

  HMENU bar = CreateMenu();
  HMENU fileMenu = CreatePopupMenu();
  AppendMenuW(fileMenu, MF_STRING, kMenuClose, L"&Close\tEsc");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu), L"&File");
  HMENU optionsMenu = CreatePopupMenu();
  AppendMenuW(optionsMenu, MF_STRING | MF_GRAYED, 0, L"&Plugins...");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(optionsMenu), L"&Options");

  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, TRUE, 0);
  return CreateWindowExW(0, L"TLister", (L"Lister - [" + file + L"]").c_str(), style, 20, 20, r.right - r.left,
                         r.bottom - r.top, nullptr, bar, GetModuleHandleW(nullptr), nullptr);
}

// The host hands plugins ANSI paths; a name that the code page cannot
// spell goes by its short (8.3) name.
std::string AnsiPath(const std::wstring& path) {
  auto convert = [](const std::wstring& text, BOOL* lossy) {
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, lossy);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, out.data(), n, nullptr, lossy);
    out.resize(std::strlen(out.c_str()));
    return out;
  };
  BOOL lossy = FALSE;
  std::string ansi = convert(path, &lossy);
  if (!lossy) return ansi;
  wchar_t shortName[MAX_PATH];
  if (GetShortPathNameW(path.c_str(), shortName, MAX_PATH)) return convert(shortName, &lossy);
  return ansi;
}

std::wstring DefaultPluginPath() {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  size_t slash = path.find_last_of(L"\\/");
  return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + kDefaultPlugin;
}

std::optional<TOptions> ParseOptions(int argc, wchar_t** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    auto value = [&]() -> std::optional<std::wstring> {
      if (i + 1 >= argc) {
        Fail(L"missing value after " + arg);
        return std::nullopt;
      }
      return std::wstring(argv[++i]);
    };
    if (arg == L"--plugin") {
      auto v = value();
      if (!v) return std::nullopt;
      options.plugin = *v;
    } else if (arg == L"--keys") {
      auto v = value();
      if (!v) return std::nullopt;
      auto keys = ParseKeyList(*v);
      if (!keys) return std::nullopt;
      options.keys = *keys;
    } else if (arg == L"--screenshot") {
      auto v = value();
      if (!v) return std::nullopt;
      options.screenshot = *v;
    } else if (arg == L"--settle") {
      auto v = value();
      if (!v) return std::nullopt;
      try {
        options.maxSettleMs = static_cast<DWORD>(std::stoul(*v));
      } catch (const std::exception&) {
        Fail(L"--settle wants milliseconds, not " + *v);
        return std::nullopt;
      }
    } else if (arg == L"--quit") {
      options.quit = true;
    } else if (arg.rfind(L"--", 0) == 0 || !options.file.empty()) {
      Fail(L"unexpected argument: " + arg);
      return std::nullopt;
    } else {
      options.file = arg;
    }
  }
  if (options.file.empty()) {
    Fail(L"usage: lister.exe [--plugin PATH] [--keys LIST] [--settle MS] [--screenshot OUT] [--quit] FILE");
    return std::nullopt;
  }
  if (options.plugin.empty()) options.plugin = DefaultPluginPath();
  return options;
}

size_t PeakWorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize / (1024 * 1024);
}

std::wstring JoinCodes(const std::vector<unsigned>& codes) {
  std::wstring text;
  for (size_t i = 0; i < codes.size(); ++i) text += (i ? L"," : L"") + std::to_wstring(codes[i]);
  return text;
}

template <typename T>
T PluginFunction(HMODULE plugin, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(plugin, name)));
}

int Run(const TOptions& options) {
  HMODULE plugin = LoadLibraryW(options.plugin.c_str());
  if (!plugin) {
    Fail(L"cannot load plugin " + options.plugin);
    return 3;
  }
  auto detect = PluginFunction<ListGetDetectStringProc>(plugin, "ListGetDetectString");
  auto load = PluginFunction<ListLoadProc>(plugin, "ListLoad");
  g_lister.closeWindow = PluginFunction<ListCloseWindowProc>(plugin, "ListCloseWindow");
  if (!load || !g_lister.closeWindow) {
    Fail(L"the plugin lacks ListLoad or ListCloseWindow");
    return 3;
  }

  std::string detectString;
  if (detect) {
    std::vector<char> buffer(kDetectStringSize, '\0');
    detect(buffer.data(), kDetectStringSize - 1);
    detectString = buffer.data();
  }

  // Scripted runs have nobody to close a message box.
  std::optional<lumora::TDialogResponder> responder;
  if (options.quit || !options.keys.empty()) {
    responder.emplace(IDOK, kMessageBoxDelayMs);
    responder->OnDialog = [](const lumora::TSeenDialog& dialog) {
      std::wstring text;
      for (const std::wstring& part : dialog.texts) {
        if (part.empty()) continue;
        if (!text.empty()) text += L' ';
        text += part;
      }
      PrintLine("message", text);
    };
  }

  HWND window = CreateListerWindow(options.file);
  if (!window) {
    Fail(L"cannot create the Lister window");
    return 3;
  }
  g_lister.window = window;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  SetForegroundWindow(window);

  g_maxSettleMs = options.maxSettleMs;
  std::string ansiPath = AnsiPath(options.file);
  const DWORD loadStart = GetTickCount();
  g_lastActivity = loadStart;
  g_lister.pluginWindow = load(window, ansiPath.data(), 0);
  const bool loaded = g_lister.pluginWindow != nullptr;
  if (loaded) {
    RECT client;
    GetClientRect(window, &client);
    MoveWindow(g_lister.pluginWindow, 0, 0, client.right, client.bottom, TRUE);
  }
  bool running = PumpUntilIdle();
  // With the thumbnail grid showing, a key's wait ends once the visible
  // cells are in: the rest keep arriving while the next key is pressed.
  auto pageComplete = [] {
    HWND grid = ShownThumbnailGrid();
    return grid && ThumbnailCounts(grid).PageComplete();
  };
  DWORD lastKeyAt = loadStart;
  std::optional<DWORD> gridShownAt;
  // Milliseconds from the last key to a full page of thumbnails; kNoTime
  // while it is not full (a plain value: GCC 12 warns about an optional here).
  constexpr DWORD kNoTime = MAXDWORD;
  DWORD pageMs = kNoTime;
  std::vector<unsigned> keyTimes;
  for (const TKeyPress& key : options.keys) {
    if (!running || !g_lister.window) break;
    lastKeyAt = GetTickCount();
    pageMs = kNoTime;
    const bool gridBefore = ShownThumbnailGrid() != nullptr;
    SendKeyPress(key);
    running = PumpUntil(pageComplete);
    // A quiet spell is no end while the grid's visible cells are missing:
    // their workers may just be slow.
    while (running && ShownThumbnailGrid() && !pageComplete() && GetTickCount() - lastKeyAt < g_maxSettleMs) {
      running = PumpUntil(pageComplete);
    }
    keyTimes.push_back(g_lastActivity - lastKeyAt);
    if (!gridBefore && ShownThumbnailGrid() && !gridShownAt) gridShownAt = lastKeyAt;
    if (pageComplete()) pageMs = GetTickCount() - lastKeyAt;
  }
  std::optional<DWORD> allMs;
  if (HWND grid = ShownThumbnailGrid(); grid && running) {
    auto allIn = [] {
      HWND shown = ShownThumbnailGrid();
      return !shown || ThumbnailCounts(shown).AllIn();
    };
    const DWORD waitStart = GetTickCount();
    while (running && !allIn() && GetTickCount() - waitStart < g_maxSettleMs) running = PumpUntil(allIn);
    if (HWND shown = ShownThumbnailGrid(); shown && ThumbnailCounts(shown).AllIn()) {
      allMs = GetTickCount() - gridShownAt.value_or(loadStart);
    }
  }
  const DWORD busyMs = g_lastActivity - loadStart;
  if (g_lister.window) {
    RedrawWindow(g_lister.window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    running = PumpUntilIdle(kFinalQuietMs) && running;
  }

  HWND statusBar = g_lister.pluginWindow && IsWindow(g_lister.pluginWindow) ? FindStatusBar(g_lister.pluginWindow)
                                                                             : nullptr;
  PrintLine("detect", std::wstring(detectString.begin(), detectString.end()));
  PrintLine("loaded", loaded ? L"yes" : L"no");
  PrintLine("caption", WindowText(g_lister.window));
  for (int i = 0; i < 6; ++i) PrintLine("panel" + std::to_string(i), PanelText(statusBar, i));
  PrintLine("chars", JoinCodes(g_lister.chars));
  PrintLine("closed", g_lister.closed ? L"yes" : L"no");
  PrintLine("busy", std::to_wstring(busyMs));
  PrintLine("key times", JoinCodes(keyTimes));
  PrintLine("peak memory", std::to_wstring(PeakWorkingSetMiB()));
  if (HWND grid = ShownThumbnailGrid()) {
    TThumbnailCounts counts = ThumbnailCounts(grid);
    PrintLine("thumbnails", std::to_wstring(counts.loaded) + L"/" + std::to_wstring(counts.items));
    PrintLine("thumbnails page", pageMs != kNoTime ? std::to_wstring(pageMs) : L"-");
    PrintLine("thumbnails all", allMs ? std::to_wstring(*allMs) : L"-");
  }

  int status = 0;
  if (!options.screenshot.empty()) {
    if (!g_lister.window || !SaveScreenshot(g_lister.window, options.screenshot)) {
      Fail(L"cannot save the screenshot " + options.screenshot);
      status = 4;
    }
  }
  if (options.quit) {
    if (g_lister.window) PostMessageW(g_lister.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  MSG msg;
  while (running && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  FreeLibrary(plugin);
  return status;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::optional<TOptions> options = argv ? ParseOptions(argc, argv) : std::nullopt;
  if (argv) LocalFree(argv);
  if (!options) return 2;
  return Run(*options);
}
