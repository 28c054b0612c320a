#pragma once
// TDibSurface: an off-screen 32-bit top-down DIB section with its own memory
// DC, for composing menu items and small effects before a single blit.

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <span>

#include "draw/color.h"
#include "draw/gdi.h"

namespace lumora {

class TDibSurface {
 public:
  // A surface of width x height black pixels; when sourceDc is given, its
  // area (0, 0, width, height) is copied in. A size that is not positive, or a
  // buffer the system cannot provide, gives an empty surface on which every
  // operation does nothing.
  TDibSurface(int width, int height, HDC sourceDc = nullptr);
  ~TDibSurface();
  TDibSurface(const TDibSurface&) = delete;
  TDibSurface& operator=(const TDibSurface&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Reallocates the buffer (all black) when the size changes.
  void SetWidth(int width);
  void SetHeight(int height);
  RECT Rect() const { return {0, 0, width_, height_}; }
  bool IsEmpty() const { return bits_ == nullptr; }

  // The memory DC with the pixel buffer, the brush and the pen selected.
  HDC Dc() const { return dc_.Get(); }
  // Start of row y: width pixels of blue, green, red, reserved. Call GdiFlush
  // (done by every member here) before touching pixels after GDI drawing.
  std::uint8_t* Row(int y) const;

  void CopyFrom(HDC sourceDc);
  // Opacity 100 copies; below that the surface is blended with constant alpha.
  void Draw(HDC target, int x, int y, int opacityPercent = 100) const;

  // RGB value (red in the low byte) or kColorNone outside the surface.
  COLORREF Pixel(int x, int y) const;
  void SetPixel(int x, int y, COLORREF color);
  void Fill(COLORREF color);
  void BlendWithColor(COLORREF color, int percent);
  void Grayscale(int amount);
  // A linear gradient through colors (at least two) over rect, left to right
  // when horizontal, else top to bottom; blended when opacity < 100.
  void GradientFill(const RECT& rect, bool horizontal, std::span<const COLORREF> colors, int opacityPercent);
  void GradientFill(const RECT& rect, bool horizontal, std::initializer_list<COLORREF> colors, int opacityPercent) {
    GradientFill(rect, horizontal, std::span<const COLORREF>(colors.begin(), colors.size()), opacityPercent);
  }
  // Blends source's area of this surface's size onto this surface at (x, y),
  // skipping source pixels equal to transparent.
  void BlendFrom(HDC sourceDc, int x, int y, COLORREF transparent, int percent);

  COLORREF BrushColor() const { return brushColor_; }
  COLORREF PenColor() const { return penColor_; }
  void SetBrushColor(COLORREF color);
  void SetPenColor(COLORREF color);

 private:
  void Allocate();
  void Release();
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  int width_ = 0;
  int height_ = 0;
  ScopedMemoryDC dc_;
  ScopedBitmap bitmap_;             // the DIB section; selected into dc_ while it exists
  std::uint8_t* bits_ = nullptr;    // owned by bitmap_
  HGDIOBJ previousBitmap_ = nullptr;  // dc_'s stock bitmap, put back before bitmap_ goes
  ScopedBrush brush_;               // selected into dc_
  ScopedPen pen_;                   // selected into dc_
  HGDIOBJ previousBrush_ = nullptr;
  HGDIOBJ previousPen_ = nullptr;
  COLORREF brushColor_ = RGB(0, 0, 0);
  COLORREF penColor_ = RGB(255, 255, 255);
  int penWidth_ = 1;
};

}  // namespace lumora
