#include "draw/dib_surface.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

TEST(MixColors, WeightsEveryChannelWithIntegerDivision) {
  struct Case {
    COLORREF a, b;
    int percent;
    COLORREF expected;
  };
  const Case cases[] = {
      {RGB(10, 20, 30), RGB(110, 220, 130), 0, RGB(10, 20, 30)},
      {RGB(10, 20, 30), RGB(110, 220, 130), 100, RGB(110, 220, 130)},
      {RGB(10, 20, 30), RGB(110, 220, 130), 50, RGB(60, 120, 80)},
      {kBlack, kWhite, 33, RGB(84, 84, 84)},  // 84.15 truncated
      {RGB(255, 0, 7), RGB(0, 255, 0), 40, RGB(153, 102, 4)},
      // Percentages outside 0..100 would give negative weights.
      {RGB(10, 20, 30), RGB(110, 220, 130), 150, RGB(110, 220, 130)},
      {RGB(10, 20, 30), RGB(110, 220, 130), -5, RGB(10, 20, 30)},
  };
  for (const Case& c : cases) EXPECT_EQ(MixColors(c.a, c.b, c.percent), c.expected) << c.percent;
}

TEST(DibSurface, NewSurfaceIsBlackAndOutsideReadsNone) {
  TDibSurface surface(5, 3);
  ASSERT_FALSE(surface.IsEmpty());
  EXPECT_EQ(surface.Width(), 5);
  EXPECT_EQ(surface.Height(), 3);
  const RECT rect = surface.Rect();
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 5);
  EXPECT_EQ(rect.bottom, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(surface.Pixel(x, y), kBlack);
  for (POINT p : {POINT{5, 0}, POINT{0, 3}, POINT{-1, 0}, POINT{0, -1}}) EXPECT_EQ(surface.Pixel(p.x, p.y), kColorNone);
}

TEST(DibSurface, RowsAreTopDownBlueGreenRedReserved) {
  TDibSurface surface(4, 3);
  ::SetPixel(surface.Dc(), 2, 0, RGB(1, 2, 3));
  const std::uint8_t* top = surface.Row(0);
  EXPECT_EQ(top[8], 3);
  EXPECT_EQ(top[9], 2);
  EXPECT_EQ(top[10], 1);
  EXPECT_EQ(surface.Row(1), top + 16);

  std::uint8_t* last = surface.Row(2);
  last[4] = 30;
  last[5] = 20;
  last[6] = 10;
  EXPECT_EQ(surface.Pixel(1, 2), RGB(10, 20, 30));
  EXPECT_EQ(::GetPixel(surface.Dc(), 1, 2), RGB(10, 20, 30));
}

TEST(DibSurface, ZeroOrNegativeSizeIsEmptyAndEveryOperationIsHarmless) {
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-3, 4}}) {
    TDibSurface surface(w, h);
    EXPECT_TRUE(surface.IsEmpty());
    EXPECT_EQ(surface.Pixel(0, 0), kColorNone);
    EXPECT_EQ(surface.Row(0), nullptr);
    surface.Fill(kRed);
    surface.BlendWithColor(kRed, 50);
    surface.Grayscale(127);
    surface.GradientFill(RECT{0, 0, 5, 5}, true, {kRed, kWhite}, 100);
    TDibSurface target(2, 2);
    target.Fill(kWhite);
    surface.Draw(target.Dc(), 0, 0, 100);
    surface.Draw(target.Dc(), 0, 0, 50);
    EXPECT_EQ(target.Pixel(0, 0), kWhite);
  }
}

TEST(DibSurface, ResizingReallocatesOnlyWhenTheSizeChanges) {
  TDibSurface surface(0, 4);
  surface.SetWidth(3);
  ASSERT_FALSE(surface.IsEmpty());
  EXPECT_EQ(surface.Pixel(2, 3), kBlack);

  surface.Fill(kRed);
  surface.SetWidth(3);
  EXPECT_EQ(surface.Pixel(2, 3), kRed);

  surface.SetHeight(6);
  EXPECT_EQ(surface.Height(), 6);
  EXPECT_EQ(surface.Pixel(2, 5), kBlack);
  ::SetPixel(surface.Dc(), 2, 5, kRed);  // the new buffer is the one selected into the DC
  EXPECT_EQ(surface.Pixel(2, 5), kRed);

  surface.SetHeight(0);
  EXPECT_TRUE(surface.IsEmpty());
}

TEST(DibSurface, CreationCopiesTheSourceDc) {
  TDibSurface source(4, 4);
  source.Fill(kWhite);
  source.SetPixel(1, 2, kRed);
  TDibSurface copy(3, 3, source.Dc());
  EXPECT_EQ(copy.Pixel(0, 0), kWhite);
  EXPECT_EQ(copy.Pixel(1, 2), kRed);

  TDibSurface later(3, 3);
  later.CopyFrom(source.Dc());
  EXPECT_EQ(later.Pixel(1, 2), kRed);
}

TEST(DibSurface, FillBlendAndGrayscaleWorkPerChannel) {
  TDibSurface surface(2, 1);
  surface.Fill(RGB(200, 100, 0));
  surface.BlendWithColor(RGB(0, 100, 200), 20);
  EXPECT_EQ(surface.Pixel(0, 0), RGB(160, 100, 40));
  EXPECT_EQ(surface.Pixel(1, 0), RGB(160, 100, 40));

  struct Case {
    COLORREF in;
    int amount;
    COLORREF out;
  };
  const Case cases[] = {
      {kBlack, 127, RGB(127, 127, 127)},
      {kWhite, 127, kWhite},
      {RGB(200, 100, 0), 127, RGB(186, 186, 186)},  // gray 119, + 127 * 136 / 255
      {RGB(200, 100, 0), 0, RGB(119, 119, 119)},
  };
  for (const Case& c : cases) {
    surface.Fill(c.in);
    surface.Grayscale(c.amount);
    EXPECT_EQ(surface.Pixel(1, 0), c.out) << std::hex << c.in;
  }
}

TEST(DibSurface, DrawCopiesAtFullOpacityAndBlendsBelow) {
  TDibSurface source(2, 2);  // black
  TDibSurface target(4, 4);
  target.Fill(kWhite);
  source.Draw(target.Dc(), 1, 1, 100);
  EXPECT_EQ(target.Pixel(0, 0), kWhite);
  EXPECT_EQ(target.Pixel(1, 1), kBlack);
  EXPECT_EQ(target.Pixel(2, 2), kBlack);
  EXPECT_EQ(target.Pixel(3, 3), kWhite);

  target.Fill(kWhite);
  source.Draw(target.Dc(), 0, 0, 50);  // constant alpha 128
  EXPECT_NEAR(GetRValue(target.Pixel(1, 1)), 127, 1);
  EXPECT_EQ(target.Pixel(2, 2), kWhite);
}

TEST(DibSurface, HorizontalGradientOverTwentyFourPixelsUsesTwoSegmentsOfTwelve) {
  const COLORREF c0 = RGB(0, 0, 0), c1 = RGB(120, 240, 60), c2 = RGB(240, 0, 0);
  TDibSurface surface(24, 2);
  surface.GradientFill(surface.Rect(), true, {c0, c1, c2}, 100);
  EXPECT_EQ(surface.Pixel(0, 0), c0);
  EXPECT_EQ(surface.Pixel(6, 0), RGB(60, 120, 30));   // halfway through the first segment
  EXPECT_EQ(surface.Pixel(12, 0), c1);
  EXPECT_EQ(surface.Pixel(17, 0), RGB(174, 130, 32));  // 5/11 of the second, truncated
  EXPECT_EQ(surface.Pixel(23, 0), c2);
  for (int x = 0; x < 24; ++x) EXPECT_EQ(surface.Pixel(x, 1), surface.Pixel(x, 0)) << x;
}

TEST(DibSurface, VerticalGradientFillsWholeRowsInsideTheRectangle) {
  TDibSurface surface(4, 12);
  surface.Fill(kRed);
  surface.GradientFill(RECT{1, 1, 3, 11}, false, {kBlack, RGB(100, 200, 10)}, 100);
  EXPECT_EQ(surface.Pixel(1, 1), kBlack);
  EXPECT_EQ(surface.Pixel(2, 1), kBlack);
  EXPECT_EQ(surface.Pixel(1, 4), RGB(33, 66, 3));  // a third, truncated
  EXPECT_EQ(surface.Pixel(2, 10), RGB(100, 200, 10));
  for (POINT p : {POINT{0, 0}, POINT{3, 5}, POINT{1, 11}, POINT{0, 1}}) EXPECT_EQ(surface.Pixel(p.x, p.y), kRed);
}

TEST(DibSurface, TranslucentGradientBlendsOnlyItsRectangle) {
  TDibSurface surface(10, 10);
  surface.Fill(kWhite);
  surface.GradientFill(RECT{2, 2, 6, 6}, true, {kBlack, kBlack}, 50);
  EXPECT_EQ(surface.Pixel(2, 2), RGB(127, 127, 127));
  EXPECT_EQ(surface.Pixel(5, 5), RGB(127, 127, 127));
  for (POINT p : {POINT{0, 0}, POINT{6, 6}, POINT{9, 9}, POINT{6, 2}, POINT{2, 6}})
    EXPECT_EQ(surface.Pixel(p.x, p.y), kWhite) << p.x << "," << p.y;
}

TEST(DibSurface, DegenerateGradientsChangeNothingOrStayInside) {
  TDibSurface surface(3, 3);
  surface.Fill(kRed);
  surface.GradientFill(RECT{-1, 0, 2, 2}, true, {kBlack, kWhite}, 100);
  surface.GradientFill(RECT{0, 0, 0, 2}, true, {kBlack, kWhite}, 100);
  surface.GradientFill(RECT{0, 0, 2, 2}, true, {kBlack}, 100);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(surface.Pixel(x, y), kRed);

  // More colours than pixels: segments of length 0 or reaching past the end.
  TDibSurface narrow(3, 1);
  narrow.GradientFill(narrow.Rect(), true, {kRed, kWhite, kRed, kWhite, kBlack}, 100);
  EXPECT_EQ(narrow.Pixel(0, 0), kRed);
  TDibSurface single(1, 1);
  single.GradientFill(single.Rect(), true, {kWhite, kBlack}, 100);
  EXPECT_EQ(single.Pixel(0, 0), kWhite);
}

TEST(DibSurface, BlendFromSkipsTheTransparentColourAndClipsAtTheEdges) {
  TDibSurface source(4, 4);  // black, with a red key pixel
  source.SetPixel(0, 0, kRed);
  TDibSurface target(4, 4);
  target.Fill(kWhite);
  target.BlendFrom(source.Dc(), 1, 1, kRed, 50);
  EXPECT_EQ(target.Pixel(0, 0), kWhite);
  EXPECT_EQ(target.Pixel(1, 1), kWhite);  // the key pixel
  EXPECT_EQ(target.Pixel(2, 2), RGB(127, 127, 127));
  EXPECT_EQ(target.Pixel(3, 3), RGB(127, 127, 127));
  EXPECT_EQ(target.Pixel(1, 0), kWhite);

  target.Fill(kWhite);
  target.BlendFrom(source.Dc(), 0, 0, kColorNone, 0);  // 0 counts as 1 percent
  EXPECT_EQ(target.Pixel(1, 1), RGB(252, 252, 252));
  EXPECT_EQ(target.Pixel(0, 0), RGB(255, 252, 252));

  target.Fill(kWhite);
  target.BlendFrom(source.Dc(), 4, 0, kColorNone, 100);
  target.BlendFrom(source.Dc(), -1, 0, kColorNone, 100);
  EXPECT_EQ(target.Pixel(0, 0), kWhite);
  EXPECT_EQ(target.Pixel(3, 0), kWhite);
}

TEST(DibSurface, BlendFromASmallerBitmapLeavesTheRestAlone) {
  TDibSurface source(2, 2);  // black
  TDibSurface target(5, 5);
  target.Fill(kWhite);
  target.BlendFrom(source.Dc(), 1, 1, kColorNone, 100);
  EXPECT_EQ(target.Pixel(2, 2), kBlack);
  EXPECT_EQ(target.Pixel(3, 3), kWhite);
  EXPECT_EQ(target.Pixel(1, 3), kWhite);
}

TEST(DibSurface, GdiDrawingUsesTheBrushAndPenColours) {
  TDibSurface surface(6, 6);
  surface.Fill(kRed);
  Rectangle(surface.Dc(), 0, 0, 5, 5);  // initial pen white, brush black
  EXPECT_EQ(surface.Pixel(0, 0), kWhite);
  EXPECT_EQ(surface.Pixel(2, 2), kBlack);

  surface.SetBrushColor(RGB(0, 255, 0));
  surface.SetPenColor(RGB(0, 0, 255));
  EXPECT_EQ(surface.BrushColor(), RGB(0, 255, 0));
  Rectangle(surface.Dc(), 0, 0, 5, 5);
  EXPECT_EQ(surface.Pixel(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(surface.Pixel(4, 4), RGB(0, 0, 255));
  EXPECT_EQ(surface.Pixel(2, 2), RGB(0, 255, 0));
  EXPECT_EQ(surface.Pixel(5, 5), kRed);
}

}  // namespace
}  // namespace lumora
