// Helpers of the Windows GUI tests: a window standing in for the Lister,
// message pumping, window lookups, key presses and the settings key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// A top-level window with a menu bar and a caption text, like the Lister
// window; with an outer window given, a child of it (the embedded case). It keeps
// its first child (the plugin window) the size of its client area and
// records the WM_CHAR codes it receives. Throws std::runtime_error when its
// window cannot be created, so that a broken environment fails the test
// with its own message.
class TTestHost {
 public:
  explicit TTestHost(HWND outer = nullptr, int clientWidth = 800, int clientHeight = 600);
  ~TTestHost();
  TTestHost(const TTestHost&) = delete;
  TTestHost& operator=(const TTestHost&) = delete;

  HWND Handle() const { return window_; }
  bool Alive() const { return window_ && IsWindow(window_); }
  void Destroy();
  const std::vector<unsigned>& Chars() const { return chars_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;  // owned unless destroyed already
  std::vector<unsigned> chars_;
};

// Dispatches the thread's messages until none has come for `quietMs`.
void PumpMessages(DWORD quietMs = 60);

// Direct children of a window, or all descendants.
std::vector<HWND> ChildWindows(HWND parent, bool allDescendants = false);
// Top-level windows owned by a window (tooltips, dialogs, menus' owners).
std::vector<HWND> OwnedWindows(HWND owner);
std::wstring ClassNameOf(HWND window);
// The first descendant whose class name contains `part` (case-insensitive).
HWND FindDescendant(HWND root, const std::wstring& part);
// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window);

// A 24-bit BMP whose colour changes along both axes (every column and row
// differs from its neighbours); false when it cannot be written.
bool WriteGradientBmp(const std::wstring& path, int width, int height);
// What a window shows now, one 0x00RRGGBB value per pixel, row by row.
std::vector<uint32_t> WindowPixels(HWND window);

// Presses and releases a key through SendInput, then pumps messages.
void PressKey(WORD key);

// A path the Windows side can open: Unix paths of the build get Wine's Z:.
std::wstring WindowsPath(const std::string& path);
// A fresh folder under the temporary folder, removed by the caller.
std::wstring MakeTempFolder();
// Copies a file; false on failure.
bool CopyTo(const std::wstring& from, const std::wstring& to);

// The viewer's settings key HKCU\Software\Lumora.
void DeleteSettings();
void WriteSetting(const std::wstring& name, const std::wstring& value);
std::optional<std::wstring> ReadSetting(const std::wstring& name);

std::string Narrow(const std::wstring& text);

}  // namespace lumora::test
