// Windows side of the pixel container: physical memory and DIB sections.
#include <windows.h>

#include <algorithm>

#include "imageio/bitmap_sys.h"

namespace lumora::detail {

namespace {

// A memory DC for colour-table access, deleted on scope exit.
class TScopedMemoryDC {
 public:
  TScopedMemoryDC() : dc_(CreateCompatibleDC(nullptr)) {}
  ~TScopedMemoryDC() {
    if (dc_) DeleteDC(dc_);
  }
  TScopedMemoryDC(const TScopedMemoryDC&) = delete;
  TScopedMemoryDC& operator=(const TScopedMemoryDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;  // owned
};

// Selects a bitmap into a DC for the scope.
class TScopedSelect {
 public:
  TScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~TScopedSelect() {
    if (old_) SelectObject(dc_, old_);
  }
  TScopedSelect(const TScopedSelect&) = delete;
  TScopedSelect& operator=(const TScopedSelect&) = delete;

 private:
  HDC dc_;        // not owned
  HGDIOBJ old_;   // not owned: what was selected before
};

}  // namespace

uint64_t TotalPhysicalMemory() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) return status.ullTotalPhys;
  MEMORYSTATUS old;
  old.dwLength = sizeof old;
  GlobalMemoryStatus(&old);
  return old.dwTotalPhys;
}

void* CreateDib(int width, int height, int bitCount, const TLmRGBTriple* palette, int paletteCount,
                uint8_t** bits) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: bottom-up rows
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bitCount);
  info.header.biCompression = BI_RGB;
  paletteCount = bitCount <= 8 ? std::clamp(paletteCount, 0, 1 << bitCount) : 0;
  info.header.biClrUsed = static_cast<DWORD>(paletteCount);
  for (int i = 0; i < paletteCount; ++i) {
    info.colors[i].rgbBlue = palette[i].b;
    info.colors[i].rgbGreen = palette[i].g;
    info.colors[i].rgbRed = palette[i].r;
  }
  void* pixels = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!dib || !pixels) {
    if (dib) DeleteObject(dib);
    return nullptr;
  }
  *bits = static_cast<uint8_t*>(pixels);
  return dib;
}

void DestroyDib(void* dib) { DeleteObject(static_cast<HBITMAP>(dib)); }

bool QueryDib(void* dib, TDibInfo& info) {
  DIBSECTION section;
  if (GetObjectW(static_cast<HBITMAP>(dib), sizeof section, &section) != sizeof section) return false;
  info.Width = section.dsBmih.biWidth;
  info.Height = section.dsBmih.biHeight < 0 ? -section.dsBmih.biHeight : section.dsBmih.biHeight;
  info.TopDown = section.dsBmih.biHeight < 0;
  info.BitCount = section.dsBmih.biBitCount;
  info.Bits = static_cast<uint8_t*>(section.dsBm.bmBits);
  return info.Width > 0 && info.Height > 0;
}

int ReadDibPalette(void* dib, TLmRGBTriple* palette, int capacity) {
  TScopedMemoryDC dc;
  if (!dc.Get()) return 0;
  TScopedSelect select(dc.Get(), static_cast<HBITMAP>(dib));
  RGBQUAD colors[256];
  UINT n = GetDIBColorTable(dc.Get(), 0, static_cast<UINT>(std::clamp(capacity, 0, 256)), colors);
  for (UINT i = 0; i < n; ++i) palette[i] = TLmRGBTriple::FromRGB(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue);
  return static_cast<int>(n);
}

void WriteDibPalette(void* dib, const TLmRGBTriple* palette, int count) {
  TScopedMemoryDC dc;
  if (!dc.Get()) return;
  TScopedSelect select(dc.Get(), static_cast<HBITMAP>(dib));
  RGBQUAD colors[256] = {};
  count = std::clamp(count, 0, 256);
  for (int i = 0; i < count; ++i) {
    colors[i].rgbBlue = palette[i].b;
    colors[i].rgbGreen = palette[i].g;
    colors[i].rgbRed = palette[i].r;
  }
  SetDIBColorTable(dc.Get(), 0, static_cast<UINT>(count), colors);
}

}  // namespace lumora::detail
