// What the image view puts on the screen: every pixel format as loaded, the
// alpha channel over the background, nearest and bilinear zoom, scrolling.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "controls/form.h"
#include "controls/image_view.h"
#include "imageio/colorconv.h"
#include "test_form.h"
#include "test_host.h"

namespace lumora::test {
namespace {

constexpr COLORREF kBackground = RGB(10, 200, 30);

class ViewPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<TImageView>(TImageView::CreateArgs{&form_});
    view_->SetBounds(0, 0, 200, 100);
    view_->SetBackground(kBackground);
    PumpMessages(10);
  }
  // The view's pixel at a client point, after a paint.
  COLORREF Shown(int x, int y) {
    RedrawWindow(view_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(view_->Handle());
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(view_->Handle(), dc);
    return colour;
  }
  // Where bitmap pixel (x, y) lands, at its middle.
  POINT At(int x, int y) {
    POINT a = view_->BitmapToClient(POINT{x, y});
    POINT b = view_->BitmapToClient(POINT{x + 1, y + 1});
    return POINT{(a.x + b.x) / 2, (a.y + b.y) / 2};
  }
  // A pf24RGB picture of four coloured quarters.
  void MakeQuarters(int width, int height) {
    TLmBitmap& bitmap = view_->Bitmap();
    ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<TLmRGBTriple*>(bitmap.ScanLine(y));
      for (int x = 0; x < width; ++x) row[x] = Quarter(x * 2 / width, y * 2 / height);
    }
  }
  static TLmRGBTriple Quarter(int qx, int qy) {
    static const TLmRGBTriple colours[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};  // b, g, r
    return colours[qy * 2 + qx];
  }

  TTestHost host_{nullptr, 400, 300};
  TTestForm form_{host_.Handle()};
  std::unique_ptr<TImageView> view_;
};

bool Near(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF Ref(TLmRGBTriple c) { return RGB(c.r, c.g, c.b); }

TEST_F(ViewPicture, EveryPixelFormatShowsItsColours) {
  struct Case {
    TLmPixelFormat format;
    int tolerance;
    bool grayOnly;
  };
  // CMYK and CIELab colours are compared with the I/O layer's own
  // conversion: saturated colours lie outside their round trip's gamut.
  for (Case c : {Case{pf24RGB, 0, false}, Case{pf32RGB, 0, false}, Case{pfRGB48, 1, false}, Case{pfCMYK, -1, false},
                 Case{pfCIELab, -1, false}, Case{pf8p, 8, false}, Case{pf8g, 1, true}, Case{pf16g, 1, true},
                 Case{pf1g, 0, true}}) {
    SCOPED_TRACE(static_cast<int>(c.format));
    MakeQuarters(40, 20);
    if (c.grayOnly) {
      // Black and white quarters: the same in every gray format.
      TLmBitmap& bitmap = view_->Bitmap();
      for (int y = 0; y < 20; ++y) {
        auto* row = reinterpret_cast<TLmRGBTriple*>(bitmap.ScanLine(y));
        for (int x = 0; x < 40; ++x) row[x] = (x < 20) == (y < 10) ? TLmRGBTriple{0, 0, 0} : TLmRGBTriple{255, 255, 255};
      }
    }
    view_->Bitmap().SetPixelFormat(c.format);
    ASSERT_EQ(view_->Bitmap().PixelFormat(), c.format);
    view_->UpdateView();
    for (int qy = 0; qy < 2; ++qy) {
      for (int qx = 0; qx < 2; ++qx) {
        POINT p = At(qx * 20 + 10, qy * 10 + 5);
        COLORREF expected = c.grayOnly ? ((qx == 0) == (qy == 0) ? RGB(0, 0, 0) : RGB(255, 255, 255))
                                       : Ref(Quarter(qx, qy));
        int tolerance = c.tolerance;
        if (tolerance < 0) {
          uint8_t bgr[40 * 3];
          PixelRowToBGR(c.format, view_->Bitmap().ScanLine(qy * 10 + 5), bgr, 40);
          const uint8_t* px = bgr + (qx * 20 + 10) * 3;
          expected = RGB(px[2], px[1], px[0]);
          tolerance = 0;
        }
        COLORREF shown = Shown(p.x, p.y);
        EXPECT_TRUE(Near(shown, expected, tolerance))
            << "quarter " << qx << "," << qy << " shown " << std::hex << shown << " expected " << expected;
      }
    }
  }
  // Around the centred picture: the background.
  EXPECT_EQ(Shown(2, 2), kBackground);
}

TEST_F(ViewPicture, AlphaBlendsOverTheBackground) {
  TLmBitmap& bitmap = view_->Bitmap();
  ASSERT_TRUE(bitmap.Allocate(30, 10, pf24RGB));
  bitmap.Fill(TLmColor{0xFF0000});  // red
  TLmBitmap& alpha = bitmap.AlphaChannel();
  for (int y = 0; y < 10; ++y) {
    uint8_t* row = alpha.ScanLine(y);
    for (int x = 0; x < 30; ++x) row[x] = x < 10 ? 0 : x < 20 ? 128 : 255;
  }
  view_->UpdateView();
  POINT clear = At(5, 5), half = At(15, 5), opaque = At(25, 5);
  EXPECT_EQ(Shown(clear.x, clear.y), kBackground);
  EXPECT_TRUE(Near(Shown(half.x, half.y), RGB((255 * 128 + 10 * 127) / 255, 200 * 127 / 255, 30 * 127 / 255), 1));
  EXPECT_EQ(Shown(opaque.x, opaque.y), RGB(255, 0, 0));
}

TEST_F(ViewPicture, ZoomNearestRepeatsPixelsAndLinearBlendsThem) {
  // A black pixel beside a white one, zoomed by 20.
  TLmBitmap& bitmap = view_->Bitmap();
  ASSERT_TRUE(bitmap.Allocate(2, 1, pf8g));
  bitmap.ScanLine(0)[0] = 0;
  bitmap.ScanLine(0)[1] = 255;
  view_->UpdateView();
  view_->SetZoom(2000);
  RECT image = view_->ImageRect();
  ASSERT_EQ(image.right - image.left, 40);
  const int y = (image.top + image.bottom) / 2;
  EXPECT_EQ(Shown(image.left + 17, y), RGB(0, 0, 0));
  EXPECT_EQ(Shown(image.left + 22, y), RGB(255, 255, 255));
  view_->SetZoomFilter(TResampleFilter::rfFastLinear);
  // Pixel centres at 10 and 30: halfway between them is mid-gray, and the
  // outer halves keep the pure colours.
  COLORREF middle = Shown(image.left + 20, y);
  EXPECT_TRUE(Near(middle, RGB(128, 128, 128), 8)) << std::hex << middle;
  EXPECT_EQ(Shown(image.left + 2, y), RGB(0, 0, 0));
  EXPECT_EQ(Shown(image.left + 38, y), RGB(255, 255, 255));
}

TEST_F(ViewPicture, ScrolledLargeImageShowsTheRightPart) {
  // 6000 x 4000 at 100 %: the top-left client pixel is the bitmap pixel at
  // the scroll position; a pattern that differs per pixel shows any offset.
  TLmBitmap& bitmap = view_->Bitmap();
  ASSERT_TRUE(bitmap.Allocate(6000, 4000, pf24RGB));
  for (int y = 0; y < 4000; ++y) {
    auto* row = reinterpret_cast<TLmRGBTriple*>(bitmap.ScanLine(y));
    for (int x = 0; x < 6000; ++x) row[x] = TLmRGBTriple{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x >> 8)};
  }
  view_->UpdateView();
  EXPECT_GT(view_->MaxViewX(), 5000);
  for (POINT scroll : {POINT{0, 0}, POINT{3001, 2002}, POINT{5900, 3950}}) {
    view_->SetViewXY(scroll.x, scroll.y);
    int x = view_->ViewX(), y = view_->ViewY();
    EXPECT_EQ(Shown(0, 0), RGB(x >> 8, y & 255, x & 255));
    EXPECT_EQ(Shown(7, 3), RGB((x + 7) >> 8, (y + 3) & 255, (x + 7) & 255));
  }
  EXPECT_EQ(view_->ViewX(), view_->MaxViewX());
  // Changed pixels show after Update.
  bitmap.Fill(TLmColor{0x123456});
  view_->Update();
  EXPECT_EQ(Shown(5, 5), RGB(0x12, 0x34, 0x56));
}

}  // namespace
}  // namespace lumora::test
