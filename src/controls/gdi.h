// RAII for GDI objects and device contexts, and a few colour helpers.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace lumora {

// Owns one GDI object (pen, brush, font, bitmap, region) and deletes it.
template <typename T>
class ScopedGdiObj {
 public:
  ScopedGdiObj() = default;
  explicit ScopedGdiObj(T handle) : handle_(handle) {}
  ~ScopedGdiObj() { Reset(); }
  ScopedGdiObj(ScopedGdiObj&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedGdiObj& operator=(ScopedGdiObj&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedGdiObj(const ScopedGdiObj&) = delete;
  ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;

  T Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset(T handle = nullptr) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  T handle_ = nullptr;
};

using ScopedPen = ScopedGdiObj<HPEN>;
using ScopedBrush = ScopedGdiObj<HBRUSH>;
using ScopedFont = ScopedGdiObj<HFONT>;
using ScopedBitmap = ScopedGdiObj<HBITMAP>;

// Selects an object into a device context for the lifetime of the scope.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelectObject() {
    if (previous_) SelectObject(dc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;             // not owned
  HGDIOBJ previous_;   // not owned: put back on exit
};

// A memory device context compatible with another one, deleted at the end.
class ScopedMemoryDC {
 public:
  explicit ScopedMemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~ScopedMemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;  // owned
};

// A window's client DC (GetDC / ReleaseDC).
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;  // not owned
  HDC dc_;       // released on exit
};

// Fills a rectangle with a solid colour.
void FillSolidRect(HDC dc, const RECT& rect, COLORREF colour);

// The pixel width and height of a text drawn with the DC's current font.
SIZE TextExtent(HDC dc, std::wstring_view text);

// UTF-8 (our sources and exception messages) to UTF-16 for the W functions.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace lumora
