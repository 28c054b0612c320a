// Platform pieces of the pixel container: the size of physical memory and,
// on Windows, DIB sections (bitmap_win32.cpp). Internal to bitmap.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imageio/bitmap.h"

namespace lumora::detail {

// Total physical memory in bytes; 0 when the system does not say.
uint64_t TotalPhysicalMemory();

#ifdef _WIN32
// What a DIB section holds, as GetObject reports it.
struct TDibInfo {
  int Width = 0, Height = 0, BitCount = 0;
  uint8_t* Bits = nullptr;  // not owned: the section's pixels
  bool TopDown = false;
};

// A bottom-up DIB section with 32-bit aligned rows and, for 1 and 8 bits,
// the given colour table. Null when the system refuses.
void* CreateDib(int width, int height, int bitCount, const TLmRGBTriple* palette, int paletteCount,
                uint8_t** bits);
void DestroyDib(void* dib);
bool QueryDib(void* dib, TDibInfo& info);
// The section's colour table (at most 256 entries).
int ReadDibPalette(void* dib, TLmRGBTriple* palette, int capacity);
void WriteDibPalette(void* dib, const TLmRGBTriple* palette, int count);
#endif

}  // namespace lumora::detail
