#include "draw/bevel_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "draw/dib_surface.h"
#include "draw_test_util.h"

namespace lumora {
namespace {

constexpr COLORREF kBackground = RGB(128, 128, 128);

TEST(DrawBevelFrame, RingsCoverTheOuterPixelsTopLeftAndBottomRight) {
  constexpr COLORREF kTopLeft = RGB(10, 20, 30);
  constexpr COLORREF kBottomRight = RGB(200, 210, 220);
  const RECT rect{2, 3, 13, 11};
  for (int rings : {0, 1, 2}) {
    TDibSurface surface(16, 16);
    surface.Fill(kBackground);
    HGDIOBJ penBefore = GetCurrentObject(surface.Dc(), OBJ_PEN);
    DrawBevelFrame(surface.Dc(), rect, kTopLeft, rings, kBottomRight);
    EXPECT_EQ(GetCurrentObject(surface.Dc(), OBJ_PEN), penBefore);

    TDibSurface expected(16, 16);
    expected.Fill(kBackground);
    for (int i = 0; i < rings; ++i) {
      const int left = rect.left + i, top = rect.top + i, right = rect.right - 1 - i, bottom = rect.bottom - 1 - i;
      for (int x = left; x < right; ++x) expected.SetPixel(x, top, kTopLeft);
      for (int y = top; y < bottom; ++y) expected.SetPixel(left, y, kTopLeft);
      for (int y = top; y <= bottom; ++y) expected.SetPixel(right, y, kBottomRight);
      for (int x = left; x <= right; ++x) expected.SetPixel(x, bottom, kBottomRight);
    }
    EXPECT_EQ(Snapshot(surface), Snapshot(expected)) << rings << " rings";
  }
}

}  // namespace
}  // namespace lumora
