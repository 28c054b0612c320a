// Helpers of the drawing tests.
#pragma once

#include <windows.h>

#include <vector>

#include "draw/dib_surface.h"

namespace lumora {

// Every pixel of a surface, row by row: compared before and after drawing.
inline std::vector<COLORREF> Snapshot(const TDibSurface& surface) {
  std::vector<COLORREF> pixels;
  for (int y = 0; y < surface.Height(); ++y)
    for (int x = 0; x < surface.Width(); ++x) pixels.push_back(surface.Pixel(x, y));
  return pixels;
}

}  // namespace lumora
