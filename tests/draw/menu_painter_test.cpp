#include "draw/menu_painter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "draw/color.h"
#include "draw/dib_surface.h"
#include "draw/gdi.h"

namespace lumora {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kFrame = RGB(51, 94, 168);

// One 16 x 16 icon: red, with a transparent border of two pixels.
class ImageListFixture {
 public:
  ImageListFixture() : list_(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 0)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ScopedBitmap color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* pixel = static_cast<std::uint32_t*>(bits);
    for (int i = 0; i < 256; ++i) pixel[i] = 0x00FF0000;  // red as blue, green, red, reserved
    BYTE maskBits[16 * 2];
    for (int y = 0; y < 16; ++y) {
      const bool border = y < 2 || y >= 14;
      maskBits[y * 2] = border ? 0xFF : 0xC0;  // set bits are transparent
      maskBits[y * 2 + 1] = border ? 0xFF : 0x03;
    }
    ScopedBitmap mask(CreateBitmap(16, 16, 1, 1, maskBits));
    ImageList_Add(list_, color.Get(), mask.Get());
  }
  ~ImageListFixture() { ImageList_Destroy(list_); }
  HIMAGELIST Get() const { return list_; }

 private:
  HIMAGELIST list_;  // owned
};

struct Picture {
  int width = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[y * width + x]; }
  bool operator==(const Picture&) const = default;
};

class MenuItemPainting : public ::testing::Test {
 protected:
  MenuItemPainting()
      : menu_(GetSysColor(COLOR_MENU)),
        window_(GetSysColor(COLOR_WINDOW)),
        face_(GetSysColor(COLOR_BTNFACE)),
        // The menu font's face and size, without anti-aliasing so that text
        // pixels carry exactly the text colour.
        font_(CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma")) {}

  // Paints the item into a rectangle at (3, 2) of a larger magenta canvas
  // holding the font, as WM_DRAWITEM hands it over, checks that exactly
  // the rectangle was painted, and returns the rectangle's pixels.
  Picture Paint(const TMenuItemPaint& item, UINT state, int width, int height) {
    TDibSurface canvas(width + 6, height + 4);
    canvas.Fill(kMagenta);
    {
      ScopedSelectObject font(canvas.Dc(), font_.Get());
      DrawMenuItem(item, canvas.Dc(), RECT{3, 2, 3 + width, 2 + height}, state, images_.Get());
    }
    Picture picture{width, {}};
    for (int y = 0; y < canvas.Height(); ++y)
      for (int x = 0; x < canvas.Width(); ++x) {
        const bool inside = x >= 3 && y >= 2 && x < 3 + width && y < 2 + height;
        const COLORREF c = canvas.Pixel(x, y);
        EXPECT_EQ(c == kMagenta, !inside) << x << "," << y;
        if (inside) picture.pixels.push_back(c);
      }
    return picture;
  }

  static int CountColor(const Picture& picture, COLORREF color, RECT area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) count += picture.At(x, y) == color;
    return count;
  }

  // The bounding box of the pixels in which two pictures differ.
  static RECT Difference(const Picture& a, const Picture& b) {
    RECT box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    const int height = static_cast<int>(a.pixels.size()) / a.width;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < a.width; ++x)
        if (a.At(x, y) != b.At(x, y)) box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                                             std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
    return box;
  }

  const COLORREF menu_, window_, face_;
  ScopedFont font_;
  ImageListFixture images_;
};

void ExpectRect(const RECT& actual, const RECT& expected) {
  EXPECT_EQ(actual.left, expected.left);
  EXPECT_EQ(actual.top, expected.top);
  EXPECT_EQ(actual.right, expected.right);
  EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST_F(MenuItemPainting, MeasureGrowsItemsBySixthAndWidensByTextPlus78) {
  ScopedMemoryDC dc;
  ScopedSelectObject font(dc.Get(), font_.Get());
  auto textWidth = [&](const wchar_t* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc.Get(), text, static_cast<int>(wcslen(text)), &size);
    return static_cast<int>(size.cx);
  };
  struct Case {
    const wchar_t* caption;
    int height, expectedHeight;
  };
  for (const Case& c : {Case{L"-", 9, 9}, Case{L"Копировать", 18, 21}, Case{L"Копировать", 24, 28},
                        Case{L"Эскизы", 5, 5}}) {
    int width = 1000, height = c.height;
    MeasureMenuItem({.Caption = c.caption}, dc.Get(), width, height);
    EXPECT_EQ(height, c.expectedHeight) << c.height;
    EXPECT_EQ(width, textWidth(c.caption) + 78);
  }
  EXPECT_GT(textWidth(L"Копировать"), textWidth(L"-"));
  EXPECT_TRUE(CreateMenuFont());

  EXPECT_EQ(ProposedMenuItemSize({.Caption = L"-"}, dc.Get(), images_.Get()).cy, GetSystemMetrics(SM_CYMENU) / 2);
  const SIZE item = ProposedMenuItemSize({.Caption = L"Обновить"}, dc.Get(), images_.Get());
  EXPECT_GE(item.cy, GetSystemMetrics(SM_CYMENU));
  EXPECT_GE(item.cy, 20);
}

TEST_F(MenuItemPainting, IdleItemHasGradientColumnTintedIconTextAndShortcut) {
  constexpr int W = 220, H = 22;
  const TMenuItemPaint item{.Caption = L"Копировать", .ShortCut = L"Ctrl+C", .ImageIndex = 0};
  const Picture picture = Paint(item, 0, W, H);
  EXPECT_EQ(picture.At(0, 0), window_);
  EXPECT_EQ(picture.At(23, 0), face_);
  EXPECT_EQ(picture.At(24, 0), menu_);
  EXPECT_EQ(picture.At(W - 1, H - 1), menu_);

  // The icon's top is at H / 2 - 8 = 3, its left at 4; the opaque part starts
  // two pixels in and is tinted a fifth toward the menu colours.
  const COLORREF tint = MixColors(face_, menu_, 40);
  EXPECT_EQ(picture.At(10, 10), RGB(255 * 80 / 100 + GetRValue(tint) * 20 / 100, GetGValue(tint) * 20 / 100,
                                    GetBValue(tint) * 20 / 100));
  const Picture withoutIcon = Paint({.Caption = item.Caption, .ShortCut = item.ShortCut}, 0, W, H);
  ExpectRect(Difference(picture, withoutIcon), RECT{6, 5, 18, 17});

  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  EXPECT_GT(CountColor(picture, text, RECT{28, 1, W - 54, H - 1}), 20);
  EXPECT_EQ(CountColor(picture, text, RECT{24, 0, W, 1}), 0);  // texts start at y = 1
  EXPECT_GT(CountColor(picture, text, RECT{W - 54, 1, W, H - 1}), 10);
}

TEST_F(MenuItemPainting, ShortcutTextsOfSevenOrMoreCharactersAreLeftOut) {
  constexpr int W = 220, H = 22;
  const Picture drawn = Paint({.Caption = L"Печать...", .ShortCut = L"Shift+D"}, 0, W, H);
  EXPECT_EQ(CountColor(drawn, menu_, RECT{W - 54, 0, W, H}), 54 * H);
  const Picture six = Paint({.Caption = L"Печать...", .ShortCut = L"Ctrl+R"}, 0, W, H);
  EXPECT_LT(CountColor(six, menu_, RECT{W - 54, 0, W, H}), 54 * H);
}

TEST_F(MenuItemPainting, SelectedItemGetsFrameFillAndUntintedIcon) {
  constexpr int W = 200, H = 22;
  const Picture picture = Paint({.Caption = L"Обновить", .ImageIndex = 0}, ODS_SELECTED, W, H);
  for (POINT p : {POINT{0, 0}, POINT{W - 1, 0}, POINT{0, H - 1}, POINT{W - 1, H - 1}, POINT{W / 2, 0}, POINT{0, H / 2}})
    EXPECT_EQ(picture.At(p.x, p.y), kFrame) << p.x << "," << p.y;
  const COLORREF fill = MixColors(RGB(153, 175, 212), menu_, 50);
  EXPECT_EQ(picture.At(1, 1), fill);  // covers the gradient column
  EXPECT_EQ(picture.At(W - 2, H - 2), fill);
  EXPECT_EQ(picture.At(10, 10), kRed);
  EXPECT_GT(CountColor(picture, GetSysColor(COLOR_WINDOWTEXT), RECT{28, 1, W, H - 1}), 20);
}

TEST_F(MenuItemPainting, DisabledSelectedItemGetsOutlineOnlyGreyIconAndGreyText) {
  constexpr int W = 200, H = 22;
  const TMenuItemPaint item{.Caption = L"Удалить...", .ImageIndex = 0};
  const Picture idle = Paint(item, ODS_DISABLED | ODS_GRAYED, W, H);
  const Picture picture = Paint(item, ODS_SELECTED | ODS_DISABLED | ODS_GRAYED, W, H);
  EXPECT_EQ(picture.At(0, 0), kFrame);
  EXPECT_EQ(picture.At(W - 1, H - 1), kFrame);
  EXPECT_EQ(picture.At(1, 1), idle.At(1, 1));  // the gradient column shows through
  EXPECT_EQ(picture.At(W - 2, H - 2), menu_);
  const COLORREF icon = picture.At(10, 10);
  EXPECT_EQ(GetRValue(icon), GetGValue(icon));
  EXPECT_EQ(GetRValue(icon), GetBValue(icon));
  EXPECT_EQ(idle.At(10, 10), icon);
  const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
  EXPECT_GT(CountColor(picture, grey, RECT{28, 1, W, H - 1}), 20);
  if (grey != GetSysColor(COLOR_WINDOWTEXT)) {
    EXPECT_EQ(CountColor(picture, GetSysColor(COLOR_WINDOWTEXT), RECT{28, 1, W, H - 1}), 0);
  }

  // ODS_DISABLED alone counts as disabled too.
  EXPECT_EQ(Paint(item, ODS_SELECTED | ODS_DISABLED, W, H), picture);
}

TEST_F(MenuItemPainting, SeparatorIsOneSoftLineAtTheMiddleAndNeverSelected) {
  constexpr int W = 150, H = 9;
  const Picture picture = Paint({.Caption = L"-"}, 0, W, H);
  const COLORREF line = MixColors(GetSysColor(COLOR_BTNSHADOW), menu_, 30);
  const int middle = 1 + (H - 2) / 2;
  EXPECT_EQ(CountColor(picture, line, RECT{28, middle, W, middle + 1}), W - 28);
  EXPECT_EQ(picture.At(27, middle), menu_);
  EXPECT_EQ(CountColor(picture, menu_, RECT{24, 0, W, H}), (W - 24) * H - (W - 28));
  EXPECT_EQ(picture.At(0, 0), window_);
  EXPECT_EQ(Paint({.Caption = L"-"}, ODS_SELECTED, W, H), picture);
}

TEST_F(MenuItemPainting, AutoCheckItemShowsTheCheckMarkAndNeverItsIcon) {
  constexpr int W = 200, H = 22;
  const Picture plain = Paint({.Caption = L"Интерполяция", .ShortCut = L"D"}, 0, W, H);
  const Picture unchecked =
      Paint({.Caption = L"Интерполяция", .ShortCut = L"D", .ImageIndex = 0, .AutoCheck = true}, 0, W, H);
  EXPECT_EQ(unchecked, plain);

  const Picture checked = Paint(
      {.Caption = L"Интерполяция", .ShortCut = L"D", .ImageIndex = 0, .AutoCheck = true, .Checked = true}, 0, W, H);
  const RECT changed = Difference(checked, plain);
  EXPECT_GE(changed.left, 0);
  EXPECT_LE(changed.right, 28);
  EXPECT_GE(changed.top, 3);
  EXPECT_GT(CountColor(checked, GetSysColor(COLOR_WINDOWTEXT), RECT{0, 3, 28, H}), 5);
}

TEST_F(MenuItemPainting, IconTallerThanTheItemStartsAboveIt) {
  constexpr int W = 120, H = 10;  // icon top at 5 - 8 = -3: opaque rows -1 .. 10
  const Picture picture = Paint({.Caption = L"Эскизы", .ImageIndex = 0}, ODS_SELECTED, W, H);
  EXPECT_EQ(picture.At(10, 1), kRed);
  EXPECT_EQ(picture.At(10, H - 2), kRed);
  EXPECT_EQ(picture.At(5, 5), MixColors(RGB(153, 175, 212), menu_, 50));  // transparent border column
}

}  // namespace
}  // namespace lumora
