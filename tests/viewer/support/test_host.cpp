#include "test_host.h"

#include <cwctype>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace lumora::test {

namespace {

constexpr wchar_t kHostClass[] = L"LumoraTestHost";
constexpr wchar_t kSettingsKey[] = L"Software\\Lumora";

void RegisterHostClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    wc.lpszClassName = kHostClass;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

}  // namespace

TTestHost::TTestHost(HWND outer, int clientWidth, int clientHeight) {
  RegisterHostClass();
  // Without a caption and shown without activation the window is not
  // "managed" by Wine's X11 driver, which otherwise waits for a window
  // manager (seconds under a bare Xvfb) when it goes away.
  DWORD style = outer ? (WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN) : (WS_POPUP | WS_BORDER | WS_CLIPCHILDREN);
  HMENU menu = nullptr;
  RECT r{0, 0, clientWidth, clientHeight};
  if (!outer) {
    menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 1, L"&File");
    AdjustWindowRectEx(&r, style, TRUE, 0);
  }
  window_ = CreateWindowExW(0, kHostClass, L"Lister - [test]", style, 10, 10, r.right - r.left, r.bottom - r.top,
                            outer, menu, GetModuleHandleW(nullptr), nullptr);
  if (!window_) {
    // An environment fault (a Wine session without a display, say) must
    // not pass for a fault of the plugin: the test stops here, saying so.
    throw std::runtime_error("the test host cannot create its window (system error " +
                             std::to_string(GetLastError()) + "): is there a display for Wine?");
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTestHost::Procedure));
  if (!outer) ShowWindow(window_, SW_SHOWNOACTIVATE);
  UpdateWindow(window_);
}

TTestHost::~TTestHost() { Destroy(); }

void TTestHost::Destroy() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
}

LRESULT CALLBACK TTestHost::Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TTestHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (msg) {
    case WM_CHAR:
      if (self) self->chars_.push_back(static_cast<unsigned>(wParam));
      return 0;
    case WM_SIZE:
      if (HWND child = GetWindow(window, GW_CHILD)) MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_NCDESTROY:
      if (self) self->window_ = nullptr;
      break;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

void PumpMessages(DWORD quietMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (GetTickCount() - start > 5000) return;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, quietMs, QS_ALLINPUT) == WAIT_TIMEOUT) return;
  }
}

std::vector<HWND> ChildWindows(HWND parent, bool allDescendants) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
    if (allDescendants) {
      std::vector<HWND> below = ChildWindows(child, true);
      children.insert(children.end(), below.begin(), below.end());
    }
  }
  return children;
}

std::vector<HWND> OwnedWindows(HWND owner) {
  std::vector<HWND> owned;
  for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
    if (GetWindow(window, GW_OWNER) == owner) owned.push_back(window);
  }
  return owned;
}

std::wstring ClassNameOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

HWND FindDescendant(HWND root, const std::wstring& part) {
  for (HWND child : ChildWindows(root, true)) {
    if (Lower(ClassNameOf(child)).find(Lower(part)) != std::wstring::npos) return child;
  }
  return nullptr;
}

RECT RectInParent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool WriteGradientBmp(const std::wstring& path, int width, int height) {
  const int row = (width * 3 + 3) & ~3;
  const DWORD pixels = static_cast<DWORD>(row) * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + pixels;
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::vector<unsigned char> data(pixels);
  for (int y = 0; y < height; ++y) {
    unsigned char* line = data.data() + static_cast<size_t>(y) * row;
    for (int x = 0; x < width; ++x) {
      line[3 * x] = static_cast<unsigned char>(x);
      line[3 * x + 1] = static_cast<unsigned char>(y);
      line[3 * x + 2] = static_cast<unsigned char>((x + y) / 8);
    }
  }
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
            WriteFile(out, &info, sizeof(info), &written, nullptr) &&
            WriteFile(out, data.data(), pixels, &written, nullptr);
  CloseHandle(out);
  return ok;
}

std::vector<uint32_t> WindowPixels(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  if (r.right <= 0 || r.bottom <= 0) return {};
  std::vector<uint32_t> pixels(static_cast<size_t>(r.right) * r.bottom);
  HDC dc = GetDC(window);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = r.right;
  info.bmiHeader.biHeight = -r.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(r.bottom), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, dc);
  return pixels;
}

void PressKey(WORD key) {
  bool extended = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_PRIOR ||
                  key == VK_NEXT || key == VK_HOME || key == VK_END || key == VK_INSERT || key == VK_DELETE;
  INPUT inputs[2] = {};
  for (int i = 0; i < 2; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = key;
    inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    inputs[i].ki.dwFlags = (i ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  }
  SendInput(2, inputs, sizeof(INPUT));
  PumpMessages(100);
}

std::wstring WindowsPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
  for (auto& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

std::wstring MakeTempFolder() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static int counter = 0;
  // Wine reuses process ids from run to run: a folder left by an earlier run
  // would hand its pictures to this one, so only a new folder will do.
  for (;;) {
    std::wstring folder = std::wstring(base) + L"lumora-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) return folder;
  }
}

bool CopyTo(const std::wstring& from, const std::wstring& to) { return CopyFileW(from.c_str(), to.c_str(), FALSE); }

void DeleteSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

void WriteSetting(const std::wstring& name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return;
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

std::optional<std::wstring> ReadSetting(const std::wstring& name) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name.c_str(), RRF_RT_ANY, &type, buffer, &size)) {
    return std::nullopt;
  }
  if (type != REG_SZ) return L"<type " + std::to_wstring(type) + L">";
  return std::wstring(buffer);
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace lumora::test
