#pragma once
// Scoped owners for GDI objects and device contexts. Every pen, brush, font,
// bitmap and DC that our code creates or selects goes through one of these,
// so nothing leaks and nothing stays selected when a paint path returns early.

#include <windows.h>

#include <utility>

namespace lumora {

// Owns one GDI object (pen, brush, font, bitmap, region) and deletes it.
// The object must not be selected into a DC when the owner dies: declare the
// owner before the ScopedSelectObject that selects it.
template <typename Handle>
class ScopedGdiObj {
 public:
  ScopedGdiObj() = default;
  explicit ScopedGdiObj(Handle handle) : handle_(handle) {}
  ~ScopedGdiObj() { Reset(); }
  ScopedGdiObj(ScopedGdiObj&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedGdiObj& operator=(ScopedGdiObj&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  ScopedGdiObj(const ScopedGdiObj&) = delete;
  ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void Reset(Handle handle = nullptr) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }
  [[nodiscard]] Handle Release() { return std::exchange(handle_, nullptr); }

 private:
  Handle handle_ = nullptr;  // owned
};

using ScopedPen = ScopedGdiObj<HPEN>;
using ScopedBrush = ScopedGdiObj<HBRUSH>;
using ScopedFont = ScopedGdiObj<HFONT>;
using ScopedBitmap = ScopedGdiObj<HBITMAP>;
using ScopedRegion = ScopedGdiObj<HRGN>;

// A memory DC (CreateCompatibleDC), deleted with DeleteDC. With no argument it
// is compatible with the screen.
class ScopedMemoryDC {
 public:
  explicit ScopedMemoryDC(HDC compatibleWith = nullptr) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~ScopedMemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;  // owned
};

// The DC of a window (GetDC; null window = the screen), released with ReleaseDC.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;  // not owned
  HDC dc_;       // owned (released to window_)
};

// BeginPaint/EndPaint around a WM_PAINT handler.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
  ~ScopedPaint() { EndPaint(window_, &paint_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;

  HDC Get() const { return dc_; }
  const RECT& DirtyRect() const { return paint_.rcPaint; }
  bool Erase() const { return paint_.fErase != FALSE; }

 private:
  HWND window_;  // not owned
  PAINTSTRUCT paint_{};
  HDC dc_;  // owned by the paint cycle
};

// Selects an object into a DC for the scope and puts the previous one back.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelectObject() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;             // not owned
  HGDIOBJ previous_;   // not owned: what the DC held before
};

// SaveDC/RestoreDC: restores every attribute (objects, colours, modes,
// clipping) that the scope changed.
class ScopedSaveDC {
 public:
  explicit ScopedSaveDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~ScopedSaveDC() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  ScopedSaveDC(const ScopedSaveDC&) = delete;
  ScopedSaveDC& operator=(const ScopedSaveDC&) = delete;

 private:
  HDC dc_;  // not owned
  int saved_;
};

class ScopedBkMode {
 public:
  ScopedBkMode(HDC dc, int mode) : dc_(dc), previous_(SetBkMode(dc, mode)) {}
  ~ScopedBkMode() {
    if (previous_) SetBkMode(dc_, previous_);
  }
  ScopedBkMode(const ScopedBkMode&) = delete;
  ScopedBkMode& operator=(const ScopedBkMode&) = delete;

 private:
  HDC dc_;  // not owned
  int previous_;
};

class ScopedTextColor {
 public:
  ScopedTextColor(HDC dc, COLORREF color) : dc_(dc), previous_(SetTextColor(dc, color)) {}
  ~ScopedTextColor() {
    if (previous_ != CLR_INVALID) SetTextColor(dc_, previous_);
  }
  ScopedTextColor(const ScopedTextColor&) = delete;
  ScopedTextColor& operator=(const ScopedTextColor&) = delete;

 private:
  HDC dc_;  // not owned
  COLORREF previous_;
};

}  // namespace lumora
