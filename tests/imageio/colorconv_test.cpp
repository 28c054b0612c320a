// Colour conversions: CIELab, YCbCr and gray against reference values, the
// row conversion the codecs use, and CMYK with and without the profile.
#include "imageio/colorconv.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imageio/cmyk.h"

namespace lumora {
namespace {

TLmRGBTriple RGB(int r, int g, int b) {
  return TLmRGBTriple::FromRGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

// Switches the CMYK profile for one test and back on afterwards.
class TCmykProfileSwitch {
 public:
  explicit TCmykProfileSwitch(bool on) { SetCmykProfileEnabled(on); }
  ~TCmykProfileSwitch() { SetCmykProfileEnabled(true); }
};

TEST(CIELab, ReferenceColours) {
  // sRGB primaries in CIE L*a*b* (D65): red 53.24/80.09/67.20, green
  // 87.73/-86.18/83.18, blue 32.30/79.19/-107.86. L is stored as L * 2.55 and
  // everything is truncated toward zero.
  struct Case {
    TLmRGBTriple rgb;
    int l, a, b;
  } cases[] = {
      {RGB(255, 255, 255), 255, 0, 0}, {RGB(0, 0, 0), 0, 0, 0},        {RGB(255, 0, 0), 135, 80, 67},
      {RGB(0, 255, 0), 223, -86, 83},  {RGB(0, 0, 255), 82, 79, -107}, {RGB(128, 128, 128), 136, 0, 0},
  };
  for (const Case& c : cases) {
    uint8_t lab[3];
    RGBToCIELab(c.rgb, lab);
    EXPECT_EQ(lab[0], c.l) << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b);
    EXPECT_EQ(static_cast<int8_t>(lab[1]), c.a);
    EXPECT_EQ(static_cast<int8_t>(lab[2]), c.b);
  }
  const uint8_t white[3] = {255, 0, 0}, black[3] = {0, 0, 0};
  EXPECT_EQ(CIELabToRGB(white), RGB(255, 255, 255));
  EXPECT_EQ(CIELabToRGB(black), RGB(0, 0, 0));
}

TEST(CIELab, RoundTripStaysClose) {
  // Storing L in 8 bits and truncating a and b loses a little: compare in
  // Lab, where a unit is about as visible everywhere (in sRGB a small loss
  // near zero intensity is amplified by the steep transfer curve).
  int worst = 0;
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 15)
      for (int b = 0; b < 256; b += 15) {
        uint8_t lab[3], again[3];
        RGBToCIELab(RGB(r, g, b), lab);
        RGBToCIELab(CIELabToRGB(lab), again);
        worst = std::max({worst, std::abs(lab[0] - again[0]), std::abs(int8_t(lab[1]) - int8_t(again[1])),
                          std::abs(int8_t(lab[2]) - int8_t(again[2]))});
      }
  EXPECT_LE(worst, 2);
}

TEST(YCbCr, ReferenceValuesTruncatedAndClamped) {
  struct Case {
    uint8_t y, cb, cr;
    TLmRGBTriple rgb;
  } cases[] = {
      {128, 128, 128, RGB(128, 128, 128)},
      {76, 85, 255, RGB(254, 0, 0)},    // JFIF red: R 254.05, G 0.10, B -0.2 (toward zero)
      {150, 44, 21, RGB(0, 255, 1)},    // JFIF green: R -0.01, G 255.4 -> clamped, B 1.15
      {255, 128, 255, RGB(255, 164, 255)},
      {0, 255, 0, RGB(0, 47, 225)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(YCbCrToRGB(c.y, c.cb, c.cr), c.rgb) << int(c.y) << "," << int(c.cb) << "," << int(c.cr);
}

TEST(Gray, WeightedSumDividedBy100) {
  EXPECT_EQ(RGBToGray(255, 255, 255), 255);
  EXPECT_EQ(RGBToGray(255, 0, 0), 53);
  EXPECT_EQ(RGBToGray(0, 255, 0), 181);
  EXPECT_EQ(RGBToGray(0, 0, 255), 20);
  EXPECT_EQ(RGBToGray(200, 100, 50), 117);
}

TEST(DitherMatrix, IsTheBayerOrderWithTheDocumentedCorners) {
  EXPECT_EQ(kDitherMatrix[0][0], 0);
  EXPECT_EQ(kDitherMatrix[7][0], 63);  // column 7, row 0
  EXPECT_EQ(kDitherMatrix[0][7], 42);
  EXPECT_EQ(kDitherMatrix[4][4], 1);
  bool seen[64] = {};
  for (auto& column : kDitherMatrix)
    for (uint8_t v : column) seen[v] = true;
  for (bool s : seen) EXPECT_TRUE(s);

  // Mid gray (level 128, 32 after the division) turns exactly half white.
  std::vector<uint8_t> gray(8, 128), bits(1);
  int white = 0;
  for (int y = 0; y < 8; ++y) {
    DitherGrayRow(gray.data(), bits.data(), 8, y);
    white += std::popcount(bits[0]);
  }
  EXPECT_EQ(white, 32);
}

TEST(ConvertRow, LayoutPairs) {
  struct Case {
    TLmColorLayout from, to;
    std::vector<uint8_t> src, expected;
  } cases[] = {
      {clRGB, clBGR, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
      {clBGR, clBGR, {1, 2, 3}, {1, 2, 3}},
      {clRGB48LE, clBGR, {0x11, 0xAA, 0x22, 0xBB, 0x33, 0xCC}, {0xCC, 0xBB, 0xAA}},
      {clRGB48BE, clBGR, {0xAA, 0x11, 0xBB, 0x22, 0xCC, 0x33}, {0xCC, 0xBB, 0xAA}},
      {clYCbCr, clBGR, {76, 85, 255}, {0, 0, 254}},
      {clBGR, clGray, {50, 100, 200, 255, 255, 255}, {117, 255}},
      {clBGR, clCIELab, {255, 255, 255}, {255, 0, 0}},
      {clCIELab, clBGR, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> dst(c.expected.size(), 0xEE);
    size_t pixels = c.from == clRGB48LE || c.from == clRGB48BE ? c.src.size() / 6 : c.src.size() / 3;
    EXPECT_TRUE(ConvertRow(c.src.data(), c.from, dst.data(), pixels, c.to)) << int(c.from) << "->" << int(c.to);
    EXPECT_EQ(dst, c.expected) << int(c.from) << "->" << int(c.to);
  }
  // Pairs outside the table leave the destination alone.
  std::vector<uint8_t> src = {1, 2, 3}, dst = {9, 9, 9};
  EXPECT_FALSE(ConvertRow(src.data(), clRGB, dst.data(), 1, clCIELab));
  EXPECT_FALSE(ConvertRow(src.data(), clGray, dst.data(), 1, clBGR));
  EXPECT_EQ(dst, std::vector<uint8_t>({9, 9, 9}));
}

TEST(Cmyk, PlainFormulasWithoutTheProfile) {
  TCmykProfileSwitch off(false);
  EXPECT_FALSE(CmykProfileActive());
  struct Case {
    TLmRGBTriple rgb;
    std::vector<uint8_t> cmyk;
    TLmRGBTriple back;
  } cases[] = {
      {RGB(255, 0, 0), {255, 0, 0, 255}, RGB(255, 0, 0)},
      {RGB(0, 0, 0), {0, 0, 0, 1}, RGB(0, 0, 0)},
      {RGB(255, 255, 255), {255, 255, 255, 255}, RGB(255, 255, 255)},
      {RGB(100, 50, 0), {255, 127, 0, 100}, RGB(100, 49, 0)},
  };
  for (const Case& c : cases) {
    uint8_t cmyk[4];
    ConvertRow(reinterpret_cast<const uint8_t*>(&c.rgb), clBGR, cmyk, 1, clCMYK);
    EXPECT_EQ(std::vector<uint8_t>(cmyk, cmyk + 4), c.cmyk);
    TLmRGBTriple back;
    ConvertRow(cmyk, clCMYK, reinterpret_cast<uint8_t*>(&back), 1, clBGR);
    EXPECT_EQ(back, c.back);
  }
}

TEST(Cmyk, BuiltInProfileOpensAndBehavesLikePrint) {
  ASSERT_TRUE(CmykProfileActive());
  const TLmRGBTriple colours[] = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(200, 30, 40), RGB(90, 160, 210)};
  uint8_t cmyk[4 * 4];
  ConvertRow(reinterpret_cast<const uint8_t*>(colours), clBGR, cmyk, 4, clCMYK);
  // White is paper: no ink at all (stored inverted, 255 = none).
  EXPECT_EQ(std::vector<uint8_t>(cmyk, cmyk + 4), std::vector<uint8_t>({255, 255, 255, 255}));
  // Black takes black ink.
  EXPECT_LT(cmyk[4 + 3], 128);
  // A red takes magenta and yellow, hardly cyan.
  EXPECT_GT(cmyk[8 + 0], 200);
  EXPECT_LT(cmyk[8 + 1], 100);
  EXPECT_LT(cmyk[8 + 2], 128);

  // In-gamut colours come back close; the print gamut is smaller than sRGB,
  // so only colours well inside it are checked tightly.
  TLmRGBTriple back[4];
  ConvertRow(cmyk, clCMYK, reinterpret_cast<uint8_t*>(back), 4, clBGR);
  EXPECT_EQ(back[0], RGB(255, 255, 255));
  for (int c : {back[1].r, back[1].g, back[1].b}) EXPECT_LT(c, 70);  // press black is not pure black
  EXPECT_NEAR(back[3].r, 90, 12);
  EXPECT_NEAR(back[3].g, 160, 12);
  EXPECT_NEAR(back[3].b, 210, 12);
}

TEST(Cmyk, ProfileDataIsTheCompressedIccProfile) {
  ASSERT_GT(kCmykProfileCompressedSize, 1000u);
  EXPECT_EQ(kCmykProfileCompressed[0], 0x78);  // zlib header
  EXPECT_GT(kCmykProfileSize, kCmykProfileCompressedSize);
}

}  // namespace
}  // namespace lumora
