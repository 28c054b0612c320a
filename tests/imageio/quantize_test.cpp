// Colour reduction: nearest palette entry, the quantizer's palette methods
// and indexes, and TwoColorToBilevel.
#include "imageio/quantize.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace lumora {
namespace {

TLmRGBTriple RGB(int r, int g, int b) {
  return TLmRGBTriple::FromRGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
}

void Put(TLmBitmap& bmp, int x, int y, TLmRGBTriple c) { std::memcpy(bmp.ScanLine(y) + x * 3, &c, 3); }
TLmRGBTriple Get(TLmBitmap& bmp, int x, int y) {
  TLmRGBTriple c;
  std::memcpy(&c, bmp.ScanLine(y) + x * 3, 3);
  return c;
}

int Distance(TLmRGBTriple a, TLmRGBTriple b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

// A smooth colour field with far more colours than any palette.
void FillGradient(TLmBitmap& bmp) {
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      Put(bmp, x, y, RGB(x * 255 / (bmp.Width() - 1), y * 255 / (bmp.Height() - 1), (x + y) * 255 / (bmp.Width() + bmp.Height() - 2)));
}

// Mean distance between each pixel and the palette entry it is given.
double MeanError(TLmBitmap& bmp, const TLmQuantizer& q, const std::vector<TLmRGBTriple>& palette) {
  double total = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      int index = q.Index(Get(bmp, x, y));
      EXPECT_GE(index, 0);
      EXPECT_LT(index, q.FilledCount());
      total += Distance(Get(bmp, x, y), palette[static_cast<size_t>(index)]);
    }
  return total / (static_cast<double>(bmp.Width()) * bmp.Height());
}

TEST(NearestPaletteEntry, SmallestSumOfDifferencesFirstWins) {
  const TLmRGBTriple palette[] = {RGB(0, 0, 0), RGB(100, 100, 100), RGB(110, 90, 100), RGB(255, 255, 255)};
  EXPECT_EQ(NearestPaletteEntry(RGB(104, 96, 100), palette, 4), 1);  // tie between 1 and 2 (8 each)
  EXPECT_EQ(NearestPaletteEntry(RGB(108, 92, 100), palette, 4), 2);
  EXPECT_EQ(NearestPaletteEntry(RGB(250, 250, 250), palette, 4), 3);
  EXPECT_EQ(NearestPaletteEntry(RGB(250, 250, 250), palette, 2), 1);  // only the first entries count
  EXPECT_EQ(NearestPaletteEntry(RGB(250, 250, 250), palette, 0), 0);
}

TEST(Quantizer, ExactColoursInTheOrderFirstMet) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(20, 20, pf24RGB));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      int i = (y * 20 + x) % 200;  // 200 colours, each twice
      Put(bmp, x, y, RGB(i, 255 - i, (i * 7) % 256));
    }
  std::vector<TLmRGBTriple> palette(256, RGB(1, 2, 3));
  TLmQuantizer q(bmp, 256, palette.data());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::ExactColors);
  EXPECT_FALSE(q.IsGray());
  EXPECT_EQ(q.FilledCount(), 200);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(palette[i], RGB(i, 255 - i, (i * 7) % 256)) << i;
  EXPECT_EQ(palette[200], RGB(1, 2, 3));  // entries past the colours are left alone
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(q.Index(Get(bmp, x, y)), (y * 20 + x) % 200);
  EXPECT_EQ(q.Index(RGB(1, 1, 1)), -1);  // not in the image
}

TEST(Quantizer, GrayImagesGetARamp) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(256, 2, pf24RGB));
  for (int x = 0; x < 256; ++x) {
    Put(bmp, x, 0, RGB(x, x, x));
    Put(bmp, x, 1, RGB(255 - x, 255 - x, 255 - x));
  }
  std::vector<TLmRGBTriple> palette(16);
  TLmQuantizer q(bmp, 16, palette.data());
  EXPECT_TRUE(q.IsGray());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::GrayRamp);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i], RGB(16 * i, 16 * i, 16 * i));
  EXPECT_EQ(q.Index(RGB(200, 200, 200)), 12);
  EXPECT_EQ(q.Index(RGB(255, 255, 255)), 15);

  // Gray formats count as gray whatever their pixels; 256 levels map to themselves.
  for (TLmPixelFormat f : {pf8g, pf16g, pf32f, pf1g}) {
    TLmBitmap gray;
    ASSERT_TRUE(gray.Allocate(3, 3, f));
    std::vector<TLmRGBTriple> full(256);
    TLmQuantizer g(gray, 256, full.data());
    EXPECT_TRUE(g.IsGray()) << PixelFormatName(f);
    EXPECT_EQ(g.Index(RGB(77, 77, 77)), 77);
  }
}

TEST(Quantizer, PaletteImagesKeepTheirPalette) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(4, 4, pf8p));
  for (int i = 0; i < 256; ++i) bmp.SetPaletteColor(i, RGB(i, 0, 255 - i));
  std::vector<TLmRGBTriple> palette(8);
  TLmQuantizer q(bmp, 8, palette.data());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::ImagePalette);
  EXPECT_FALSE(q.IsGray());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(palette[i], RGB(i, 0, 255 - i));
  EXPECT_EQ(q.Index(RGB(100, 0, 155)), 100);
}

TEST(Quantizer, BoxSplittingBelow128Colours) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(64, 64, pf24RGB));
  FillGradient(bmp);
  std::vector<TLmRGBTriple> palette(16);
  TLmQuantizer q(bmp, 16, palette.data());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::BoxSplitting);
  EXPECT_EQ(q.FilledCount(), 16);
  std::set<uint32_t> distinct;
  for (auto c : palette) {
    distinct.insert(c.ToColor());
    EXPECT_EQ(c.r % 8, 0);  // box means are cell levels times 8
  }
  EXPECT_EQ(distinct.size(), 16u);
  EXPECT_LT(MeanError(bmp, q, palette), 60);
  // Colours of one cell share an index.
  EXPECT_EQ(q.Index(RGB(64, 128, 200)), q.Index(RGB(71, 135, 207)));
}

TEST(Quantizer, BoxSplittingSeparatesClusters) {
  // Four well separated colour clusters into four entries: one per cluster.
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(40, 40, pf24RGB));
  const TLmRGBTriple centres[4] = {RGB(200, 20, 20), RGB(20, 200, 20), RGB(20, 20, 200), RGB(220, 220, 220)};
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      TLmRGBTriple c = centres[(x / 20) + 2 * (y / 20)];
      Put(bmp, x, y, RGB(c.r + x % 5, c.g + y % 5, c.b + (x + y) % 3));
    }
  std::vector<TLmRGBTriple> palette(4);
  TLmQuantizer q(bmp, 4, palette.data());
  ASSERT_EQ(q.Method(), TLmQuantizeMethod::BoxSplitting);
  std::set<int> used;
  for (const auto& c : centres) {
    int i = q.Index(c);
    used.insert(i);
    EXPECT_LT(Distance(palette[i], c), 30);
  }
  EXPECT_EQ(used.size(), 4u);
}

TEST(Quantizer, NeuralNetFrom128Colours) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(120, 100, pf24RGB));
  FillGradient(bmp);
  std::vector<TLmRGBTriple> palette(256);
  TLmQuantizer q(bmp, 256, palette.data());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::NeuralNet);
  EXPECT_EQ(q.FilledCount(), 256);
  EXPECT_LT(MeanError(bmp, q, palette), 16);
  // Each palette colour finds itself (or an equal twin).
  for (const auto& c : palette) EXPECT_EQ(palette[q.Index(c)], c);

  // A small image still works (the step is longer than the image); with so
  // few samples many neurons stay untrained, so the fit is loose.
  TLmBitmap small;
  ASSERT_TRUE(small.Allocate(13, 11, pf24RGB));
  FillGradient(small);
  std::vector<TLmRGBTriple> p2(128);
  TLmQuantizer q2(small, 128, p2.data());
  EXPECT_EQ(q2.Method(), TLmQuantizeMethod::NeuralNet);
  EXPECT_LT(MeanError(small, q2, p2), 50);
}

TEST(Quantizer, NeuralNetSamplingFactor) {
  EXPECT_EQ(NeuQuantSamplingFactor(1999), 1);
  EXPECT_EQ(NeuQuantSamplingFactor(2000), 2);
  EXPECT_EQ(NeuQuantSamplingFactor(150000), 15);  // 148000 * 13 / 148000 + 2
  EXPECT_EQ(NeuQuantSamplingFactor(int64_t{20000} * 20000), 30);
}

TEST(Quantizer, OtherColourFormatsAreReducedLike24Bit) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(3, 1, pfRGB48));
  const uint16_t words[9] = {0xFF00, 0x0000, 0x0000, 0x0000, 0xFFFF, 0x0000, 0xFFFF, 0xFFFF, 0x0000};
  for (int i = 0; i < 9; ++i) {
    bmp.ScanLine(0)[i * 2] = static_cast<uint8_t>(words[i]);
    bmp.ScanLine(0)[i * 2 + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  std::vector<TLmRGBTriple> palette(4);
  TLmQuantizer q(bmp, 4, palette.data());
  EXPECT_EQ(q.Method(), TLmQuantizeMethod::ExactColors);
  EXPECT_EQ(palette[0], RGB(255, 0, 0));
  EXPECT_EQ(palette[2], RGB(255, 255, 0));
  EXPECT_EQ(q.Index(RGB(0, 255, 0)), 1);
}

TEST(Quantizer, ConversionToPaletteUsesTargetColorCount) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(64, 64, pf24RGB));
  FillGradient(bmp);
  bmp.TargetColorCount = 32;
  bmp.SetPixelFormat(pf8p);
  std::set<int> indexes;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) indexes.insert(bmp.ScanLine(y)[x]);
  EXPECT_LE(indexes.size(), 32u);
  EXPECT_GT(indexes.size(), 16u);
  EXPECT_LT(*indexes.rbegin(), 32);
}

TEST(TwoColorToBilevel, DarkerColourBecomesBitZero) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(10, 3, pf24RGB));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x) Put(bmp, x, y, (x + y) % 3 == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255));
  TLmRGBTriple first, second;
  auto bits = TwoColorToBilevel(bmp, first, second);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(bits->PixelFormat(), pf1g);
  EXPECT_EQ(first, RGB(0, 0, 255));  // blue is darker than red
  EXPECT_EQ(second, RGB(255, 0, 0));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x) {
      bool bit = bits->ScanLine(y)[x >> 3] & (0x80 >> (x & 7));
      EXPECT_EQ(bit, (x + y) % 3 == 0) << x << "," << y;
    }

  // The first colour met already darker: nothing is swapped.
  ASSERT_TRUE(bmp.Allocate(2, 1, pf24RGB));
  Put(bmp, 0, 0, RGB(0, 0, 0));
  Put(bmp, 1, 0, RGB(255, 255, 255));
  bits = TwoColorToBilevel(bmp, first, second);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(first, RGB(0, 0, 0));
  EXPECT_EQ(bits->ScanLine(0)[0] & 0xC0, 0x40);
}

TEST(TwoColorToBilevel, OneOrThreeColoursGiveNothing) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(8, 8, pf24RGB));
  bmp.Fill(0x102030);
  TLmRGBTriple first, second;
  EXPECT_EQ(TwoColorToBilevel(bmp, first, second), nullptr);
  Put(bmp, 3, 2, RGB(255, 255, 255));
  EXPECT_NE(TwoColorToBilevel(bmp, first, second), nullptr);
  Put(bmp, 7, 5, RGB(1, 1, 1));  // a third colour in row 5
  EXPECT_EQ(TwoColorToBilevel(bmp, first, second), nullptr);
}

}  // namespace
}  // namespace lumora
