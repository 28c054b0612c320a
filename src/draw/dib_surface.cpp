#include "draw/dib_surface.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <vector>

namespace lumora {
namespace {

// Windows rounds half to even in the places these numbers come from; so does
// nearbyint in the default rounding mode.
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

void StorePixel(std::uint8_t* pixel, COLORREF color) {
  pixel[0] = GetBValue(color);
  pixel[1] = GetGValue(color);
  pixel[2] = GetRValue(color);
  pixel[3] = 0;
}

// Size of the bitmap selected into a memory DC, so that copies from it stay
// inside it; other DCs (windows, the screen) report nothing.
bool SourceBitmapSize(HDC dc, SIZE& size) {
  if (GetObjectType(dc) != OBJ_MEMDC) return false;
  BITMAP info{};
  if (!GetObject(GetCurrentObject(dc, OBJ_BITMAP), sizeof info, &info)) return false;
  size = {info.bmWidth, std::abs(info.bmHeight)};
  return true;
}

}  // namespace

TDibSurface::TDibSurface(int width, int height, HDC sourceDc)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
  if (!dc_) {
    width_ = height_ = 0;
    return;
  }
  brush_.Reset(CreateSolidBrush(brushColor_));
  pen_.Reset(CreatePen(PS_SOLID, penWidth_, penColor_));
  previousBrush_ = SelectObject(dc_.Get(), brush_.Get());
  previousPen_ = SelectObject(dc_.Get(), pen_.Get());
  Allocate();
  if (sourceDc) CopyFrom(sourceDc);
}

TDibSurface::~TDibSurface() {
  if (!dc_) return;
  if (previousPen_) SelectObject(dc_.Get(), previousPen_);
  if (previousBrush_) SelectObject(dc_.Get(), previousBrush_);
  Release();
}

void TDibSurface::Allocate() {
  if (width_ <= 0 || height_ <= 0 || !dc_) return;
  // The section's byte size must fit the 32-bit size fields of the header.
  if (width_ > INT_MAX / 4 / height_) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap bitmap(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return;
  HGDIOBJ previous = SelectObject(dc_.Get(), bitmap.Get());
  if (!previous || previous == HGDI_ERROR) return;
  if (!previousBitmap_) previousBitmap_ = previous;
  bitmap_ = std::move(bitmap);
  bits_ = static_cast<std::uint8_t*>(bits);
}

void TDibSurface::Release() {
  if (bitmap_) {
    SelectObject(dc_.Get(), previousBitmap_);
    bitmap_.Reset();
  }
  bits_ = nullptr;
}

void TDibSurface::SetWidth(int width) {
  width = std::max(width, 0);
  if (width == width_) return;
  Release();
  width_ = width;
  Allocate();
}

void TDibSurface::SetHeight(int height) {
  height = std::max(height, 0);
  if (height == height_) return;
  Release();
  height_ = height;
  Allocate();
}

std::uint8_t* TDibSurface::Row(int y) const {
  if (IsEmpty() || y < 0 || y >= height_) return nullptr;
  GdiFlush();
  return bits_ + static_cast<std::size_t>(y) * width_ * 4;
}

void TDibSurface::CopyFrom(HDC sourceDc) {
  if (IsEmpty() || !sourceDc) return;
  BitBlt(dc_.Get(), 0, 0, width_, height_, sourceDc, 0, 0, SRCCOPY);
}

void TDibSurface::Draw(HDC target, int x, int y, int opacityPercent) const {
  if (IsEmpty() || !target) return;
  if (opacityPercent >= 100) {
    BitBlt(target, x, y, width_, height_, dc_.Get(), 0, 0, SRCCOPY);
    return;
  }
  BLENDFUNCTION blend{};
  blend.BlendOp = AC_SRC_OVER;
  blend.SourceConstantAlpha = static_cast<BYTE>(RoundEven(std::max(opacityPercent, 0) * 2.55));
  AlphaBlend(target, x, y, width_, height_, dc_.Get(), 0, 0, width_, height_, blend);
}

COLORREF TDibSurface::Pixel(int x, int y) const {
  if (IsEmpty() || !Contains(x, y)) return kColorNone;
  const std::uint8_t* pixel = Row(y) + x * 4;
  return RGB(pixel[2], pixel[1], pixel[0]);
}

void TDibSurface::SetPixel(int x, int y, COLORREF color) {
  if (IsEmpty() || !Contains(x, y)) return;
  StorePixel(Row(y) + x * 4, color);
}

void TDibSurface::Fill(COLORREF color) {
  if (IsEmpty()) return;
  GdiFlush();
  std::uint8_t* pixel = bits_;
  for (std::size_t i = 0, n = static_cast<std::size_t>(width_) * height_; i < n; ++i, pixel += 4)
    StorePixel(pixel, color);
}

void TDibSurface::BlendWithColor(COLORREF color, int percent) {
  if (IsEmpty()) return;
  const int p = std::clamp(percent, 0, 100);
  const int add[3] = {GetBValue(color) * p, GetGValue(color) * p, GetRValue(color) * p};
  GdiFlush();
  std::uint8_t* pixel = bits_;
  for (std::size_t i = 0, n = static_cast<std::size_t>(width_) * height_; i < n; ++i, pixel += 4)
    for (int c = 0; c < 3; ++c) pixel[c] = static_cast<std::uint8_t>((pixel[c] * (100 - p) + add[c]) / 100);
}

void TDibSurface::Grayscale(int amount) {
  if (IsEmpty()) return;
  GdiFlush();
  std::uint8_t* pixel = bits_;
  for (std::size_t i = 0, n = static_cast<std::size_t>(width_) * height_; i < n; ++i, pixel += 4) {
    const int gray = RoundEven(0.30 * pixel[2] + 0.59 * pixel[1] + 0.11 * pixel[0]);
    const auto value = static_cast<std::uint8_t>(std::clamp(gray + amount * (255 - gray) / 255, 0, 255));
    pixel[0] = pixel[1] = pixel[2] = value;
  }
}

void TDibSurface::GradientFill(const RECT& rect, bool horizontal, std::span<const COLORREF> colors,
                               int opacityPercent) {
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (IsEmpty() || rect.left < 0 || rect.top < 0 || w <= 0 || h <= 0 || colors.size() < 2) return;
  const int segments = static_cast<int>(colors.size()) - 1;
  const int length = horizontal ? w : h;
  const int step = RoundEven(static_cast<double>(length) / segments);

  // Each segment runs from its colour to the next one; the last segment takes
  // whatever length is left. With more colours than pixels the segments would
  // reach past the end, so positions are kept inside the line.
  std::vector<COLORREF> line(length, colors.back());
  for (int i = 0; i < segments; ++i) {
    const int segmentLength = i == segments - 1 ? length - i * step - 1 : step;
    const COLORREF from = colors[i];
    const COLORREF to = colors[i + 1];
    for (int k = 0; k <= segmentLength; ++k) {
      const int position = k + i * step;
      if (position < 0 || position >= length) continue;
      const double t = segmentLength > 0 ? static_cast<double>(k) / segmentLength : 0.0;
      auto channel = [t](int a, int b) { return static_cast<BYTE>(a + (b - a) * t); };
      line[position] = RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
                           channel(GetBValue(from), GetBValue(to)));
    }
  }

  TDibSurface gradient(w, h);
  if (gradient.IsEmpty()) return;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = gradient.Row(y);
    for (int x = 0; x < w; ++x) StorePixel(row + x * 4, line[horizontal ? x : y]);
  }
  if (opacityPercent > 99) {
    gradient.Draw(dc_.Get(), rect.left, rect.top, 100);
  } else {
    BlendFrom(gradient.Dc(), rect.left, rect.top, kColorNone, opacityPercent);
  }
}

void TDibSurface::BlendFrom(HDC sourceDc, int x, int y, COLORREF transparent, int percent) {
  if (IsEmpty() || !sourceDc || !Contains(x, y)) return;
  const int p = std::clamp(percent == 0 ? 1 : percent, 1, 100);
  // Only what the source really holds takes part: a smaller source bitmap
  // must not blend its undefined surroundings over this surface.
  SIZE area{width_, height_};
  if (SIZE bitmapSize; SourceBitmapSize(sourceDc, bitmapSize)) {
    area.cx = std::min(area.cx, bitmapSize.cx);
    area.cy = std::min(area.cy, bitmapSize.cy);
  }
  TDibSurface source(width_, height_);
  if (source.IsEmpty()) return;
  BitBlt(source.Dc(), 0, 0, area.cx, area.cy, sourceDc, 0, 0, SRCCOPY);
  const int columns = std::min<int>(area.cx, width_ - x);
  const int rows = std::min<int>(area.cy, height_ - y);
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* from = source.Row(r);
    std::uint8_t* to = Row(y + r) + x * 4;
    for (int c = 0; c < columns; ++c, from += 4, to += 4) {
      if (RGB(from[2], from[1], from[0]) == transparent) continue;
      for (int k = 0; k < 3; ++k) to[k] = static_cast<std::uint8_t>((to[k] * (100 - p) + from[k] * p) / 100);
    }
  }
}

void TDibSurface::SetBrushColor(COLORREF color) {
  if (color == brushColor_ || !dc_) return;
  ScopedBrush brush(CreateSolidBrush(color));
  if (!brush) return;
  SelectObject(dc_.Get(), brush.Get());
  brush_ = std::move(brush);
  brushColor_ = color;
}

void TDibSurface::SetPenColor(COLORREF color) {
  if (color == penColor_ || !dc_) return;
  ScopedPen pen(CreatePen(PS_SOLID, penWidth_, color));
  if (!pen) return;
  SelectObject(dc_.Get(), pen.Get());
  pen_ = std::move(pen);
  penColor_ = color;
}

}  // namespace lumora
