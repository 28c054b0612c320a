#include "draw/effect_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "draw/dib_surface.h"
#include "draw_test_util.h"
#include "draw/gdi.h"

namespace lumora {
namespace {

constexpr COLORREF kBackground = RGB(128, 128, 128);

// Renders with a font without anti-aliasing, so that every pixel is either the
// background or a text colour and the effects can be checked exactly against
// the plain text.
class EffectText : public ::testing::Test {
 protected:
  static constexpr COLORREF kText = RGB(255, 255, 0);
  static constexpr wchar_t kSample[] = L"Wy Ёж 1";

  EffectText()
      : surface_(140, 44),
        font_(CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma")),
        select_(surface_.Dc(), font_.Get()) {
    SetTextColor(surface_.Dc(), kText);
  }

  SIZE TextSize() const {
    SIZE size{};
    GetTextExtentPoint32W(surface_.Dc(), kSample, static_cast<int>(std::size(kSample) - 1), &size);
    return size;
  }

  std::vector<COLORREF> Render(TextEffect effect, TextAlignment alignment = TextAlignment::Left,
                               RECT rect = {10, 10, 130, 34}) {
    surface_.Fill(kBackground);
    DrawEffectTextInRect(surface_.Dc(), kSample, rect, alignment, effect);
    return Snapshot(surface_);
  }

  // The plain rendering with copies of its text pixels in `color` at the
  // offsets underneath.
  std::vector<COLORREF> Expected(const std::vector<COLORREF>& plain, std::vector<POINT> offsets, COLORREF color) {
    std::vector<COLORREF> result(plain.size(), kBackground);
    const int w = surface_.Width(), h = surface_.Height();
    for (POINT offset : offsets)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const int tx = x + offset.x, ty = y + offset.y;
          if (plain[y * w + x] == kText && tx >= 0 && ty >= 0 && tx < w && ty < h) result[ty * w + tx] = color;
        }
    for (std::size_t i = 0; i < plain.size(); ++i)
      if (plain[i] == kText) result[i] = kText;
    return result;
  }

  std::vector<COLORREF> Shifted(const std::vector<COLORREF>& pixels, int dx, int dy) {
    const int w = surface_.Width(), h = surface_.Height();
    std::vector<COLORREF> result(pixels.size(), kBackground);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (x - dx >= 0 && x - dx < w && y - dy >= 0 && y - dy < h) result[y * w + x] = pixels[(y - dy) * w + x - dx];
    return result;
  }

  TDibSurface surface_;
  ScopedFont font_;
  ScopedSelectObject select_;
};

TEST_F(EffectText, PlainTextUsesTheFontColourAndLeavesTheDcAsItWas) {
  const std::vector<COLORREF> plain = Render(TextEffect::None);
  int textPixels = 0;
  for (COLORREF c : plain) {
    ASSERT_TRUE(c == kBackground || c == kText) << std::hex << c;
    textPixels += c == kText;
  }
  EXPECT_GT(textPixels, 50);
  EXPECT_EQ(GetBkMode(surface_.Dc()), OPAQUE);
  EXPECT_EQ(GetTextColor(surface_.Dc()), kText);

  Render(TextEffect::WhiteHalo);
  EXPECT_EQ(GetBkMode(surface_.Dc()), OPAQUE);
  EXPECT_EQ(GetTextColor(surface_.Dc()), kText);
}

TEST_F(EffectText, ShadowsAndHaloAreTheTextAtOffsetsUnderneath) {
  const std::vector<COLORREF> plain = Render(TextEffect::None);
  const COLORREF shadow = GetSysColor(COLOR_3DDKSHADOW);
  EXPECT_EQ(Render(TextEffect::ShadowBelowRight), Expected(plain, {{1, 1}}, shadow));
  EXPECT_EQ(Render(TextEffect::ShadowAboveLeft), Expected(plain, {{-1, -1}}, shadow));
  EXPECT_EQ(Render(TextEffect::WhiteHalo), Expected(plain, {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}}, RGB(255, 255, 255)));
  EXPECT_EQ(Render(static_cast<TextEffect>(4)), std::vector<COLORREF>(plain.size(), kBackground));
}

TEST_F(EffectText, AlignmentAndVerticalCentringPlaceTheLine) {
  const SIZE text = TextSize();
  const RECT wide{0, 10, 140, 10 + text.cy};
  const std::vector<COLORREF> left = Render(TextEffect::None, TextAlignment::Left, wide);
  EXPECT_EQ(Render(TextEffect::None, TextAlignment::Right, wide), Shifted(left, 140 - text.cx, 0));
  EXPECT_EQ(Render(TextEffect::None, TextAlignment::Center, wide), Shifted(left, (140 - text.cx) / 2, 0));
  // Ten spare pixels of height: the line sits five below the top.
  EXPECT_EQ(Render(TextEffect::None, TextAlignment::Left, RECT{0, 5, 140, 15 + text.cy}), left);
}

TEST_F(EffectText, DrawEffectTextUsesTheRectangleTheTextOccupies) {
  const SIZE text = TextSize();
  const std::vector<COLORREF> inRect =
      Render(TextEffect::ShadowBelowRight, TextAlignment::Left, RECT{7, 9, 7 + text.cx, 9 + text.cy});
  surface_.Fill(kBackground);
  DrawEffectText(surface_.Dc(), kSample, 7, 9, TextAlignment::Left, TextEffect::ShadowBelowRight);
  EXPECT_EQ(Snapshot(surface_), inRect);
}

}  // namespace
}  // namespace lumora
