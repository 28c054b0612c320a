// The reader on files written by libpng itself: pixel formats chosen per
// colour type, bit depth and NativePixelFormat, transparency, interlace,
// and the parameters it fills.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "imageio/progress.h"
#include "imageio/stream.h"
#include "png_test_util.h"

namespace lumora::pngtest {
namespace {

// A pattern that uses every sample value range of the depth and differs per
// channel, so that swapped channels or lost bits show.
TPngSpec PatternSpec(int width, int height, int colorType, int depth, int paletteSize = 0) {
  TPngSpec spec = MakeSpec(width, height, colorType, depth);
  int channels = colorType == PNG_COLOR_TYPE_RGB ? 3
                 : colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                 : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                          : 1;
  unsigned maxValue = (1u << depth) - 1;
  if (colorType == PNG_COLOR_TYPE_PALETTE) maxValue = static_cast<unsigned>(paletteSize - 1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        unsigned v = static_cast<unsigned>(x * 7 + y * 13 + c * 101) * (depth == 16 ? 4099u : 1u);
        spec.SetSample(x, y, c, v % (maxValue + 1));
      }
  for (int i = 0; i < paletteSize; ++i)
    spec.Palette.push_back(png_color{static_cast<png_byte>(i * 3), static_cast<png_byte>(255 - i),
                                     static_cast<png_byte>(i * 7 + 1)});
  return spec;
}

unsigned To8(unsigned v, int depth) {
  if (depth == 16) return v >> 8;
  return v * 255 / ((1u << depth) - 1);
}

// What a pixel of the made file must become, by the rules of the PNG format:
// gray stretched to 8 bits, 16-bit samples to their high byte, palette
// entries looked up, tRNS making its colour or entries transparent.
TRgba Expected(const TPngSpec& spec, const TPngFileInfo& file, int x, int y) {
  TRgba c;
  int d = spec.BitDepth;
  switch (spec.ColorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA: {
      unsigned g = file.Sample(x, y, 0);
      c.R = c.G = c.B = static_cast<uint8_t>(To8(g, d));
      if (spec.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA) c.A = static_cast<uint8_t>(To8(file.Sample(x, y, 1), d));
      if (spec.TransparentColor && g == spec.TransparentColor->gray) c.A = 0;
      break;
    }
    case PNG_COLOR_TYPE_PALETTE: {
      unsigned i = file.Sample(x, y, 0);
      if (i < spec.Palette.size()) c.R = spec.Palette[i].red, c.G = spec.Palette[i].green, c.B = spec.Palette[i].blue;
      if (i < spec.PaletteAlpha.size()) c.A = spec.PaletteAlpha[i];
      break;
    }
    default: {
      unsigned r = file.Sample(x, y, 0), g = file.Sample(x, y, 1), b = file.Sample(x, y, 2);
      c.R = static_cast<uint8_t>(To8(r, d)), c.G = static_cast<uint8_t>(To8(g, d)), c.B = static_cast<uint8_t>(To8(b, d));
      if (spec.ColorType == PNG_COLOR_TYPE_RGB_ALPHA) c.A = static_cast<uint8_t>(To8(file.Sample(x, y, 3), d));
      if (spec.TransparentColor && r == spec.TransparentColor->red && g == spec.TransparentColor->green &&
          b == spec.TransparentColor->blue)
        c.A = 0;
      break;
    }
  }
  return c;
}

void ExpectPixelsMatch(const TPngSpec& spec, const TLmBitmap& bitmap) {
  TPngFileInfo file = InspectWithLibpng(EncodeWithLibpng(spec));
  ASSERT_TRUE(file.Ok);
  for (int y = 0; y < spec.Height; ++y)
    for (int x = 0; x < spec.Width; ++x) {
      TRgba want = Expected(spec, file, x, y), got = PixelRgba(bitmap, x, y);
      ASSERT_EQ(want, got) << "pixel " << x << "," << y << " want " << int(want.R) << " " << int(want.G) << " "
                           << int(want.B) << " " << int(want.A) << " got " << int(got.R) << " " << int(got.G) << " "
                           << int(got.B) << " " << int(got.A);
    }
}

struct TFormatCase {
  const char* Name;
  int ColorType;
  int Depth;
  bool Native;
  bool Transparency;  // a tRNS chunk
  TLmPixelFormat Format;
  bool Alpha;
  int SamplesPerPixel;
};

class PngReadFormat : public testing::TestWithParam<TFormatCase> {};

TEST_P(PngReadFormat, PixelFormatAndPixels) {
  const TFormatCase& c = GetParam();
  TPngSpec spec = PatternSpec(19, 7, c.ColorType, c.Depth, c.ColorType == PNG_COLOR_TYPE_PALETTE ? (1 << c.Depth) : 0);
  if (c.Transparency) {
    if (c.ColorType == PNG_COLOR_TYPE_PALETTE) {
      spec.PaletteAlpha = {0, 128};
    } else {
      png_color_16 key{};
      key.gray = static_cast<png_uint_16>(spec.ColorType == PNG_COLOR_TYPE_GRAY ? 1 : 0);
      key.red = key.green = key.blue = 0;
      spec.TransparentColor = key;
      // Make sure the key occurs.
      spec.SetSample(0, 0, 0, key.gray);
      if (spec.ColorType == PNG_COLOR_TYPE_RGB)
        for (int ch = 0; ch < 3; ++ch) spec.SetSample(0, 0, ch, 0);
    }
  }
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out, c.Native);
  ASSERT_FALSE(out.Aborting);
  EXPECT_EQ(out.Bitmap.PixelFormat(), c.Format);
  EXPECT_EQ(out.Bitmap.HasAlphaChannel(), c.Alpha);
  EXPECT_EQ(out.Params.BitsPerSample, c.Depth);
  EXPECT_EQ(out.Params.SamplesPerPixel, c.SamplesPerPixel);
  EXPECT_EQ(out.Params.Width, 19);
  EXPECT_EQ(out.Params.Height, 7);
  EXPECT_EQ(out.Params.OriginalWidth, 19);
  EXPECT_EQ(out.Params.ImageCount, 1);
  EXPECT_FALSE(out.Params.PngInterlaced);
  if (c.Native && c.Format != pf24RGB && c.Format != pf1g) {
    // Native formats keep the samples themselves; tRNS is not kept.
    TPngFileInfo file = InspectWithLibpng(EncodeWithLibpng(spec));
    for (int y = 0; y < spec.Height; ++y)
      for (int x = 0; x < spec.Width; ++x) {
        const uint8_t* row = out.Bitmap.ScanLine(y);
        unsigned got = c.Format == pf16g ? row[2 * x] | (row[2 * x + 1] << 8) : row[x];
        ASSERT_EQ(got, file.Sample(x, y, 0)) << x << "," << y;
      }
    if (c.Format == pf8p) {
      for (size_t i = 0; i < spec.Palette.size(); ++i) {
        EXPECT_EQ(out.Bitmap.GetPaletteColor(static_cast<int>(i)),
                  TLmRGBTriple::FromRGB(spec.Palette[i].red, spec.Palette[i].green, spec.Palette[i].blue));
      }
    }
    return;
  }
  ExpectPixelsMatch(spec, out.Bitmap);
}

constexpr int kGray = PNG_COLOR_TYPE_GRAY, kRGB = PNG_COLOR_TYPE_RGB, kPal = PNG_COLOR_TYPE_PALETTE,
              kGA = PNG_COLOR_TYPE_GRAY_ALPHA, kRGBA = PNG_COLOR_TYPE_RGB_ALPHA;

INSTANTIATE_TEST_SUITE_P(
    Cases, PngReadFormat,
    testing::Values(TFormatCase{"gray1", kGray, 1, false, false, pf1g, false, 1},
                    TFormatCase{"gray1_native", kGray, 1, true, false, pf1g, false, 1},
                    TFormatCase{"gray1_trns", kGray, 1, false, true, pf24RGB, true, 1},
                    TFormatCase{"gray2", kGray, 2, false, false, pf24RGB, false, 1},
                    TFormatCase{"gray4", kGray, 4, true, false, pf24RGB, false, 1},
                    TFormatCase{"gray8", kGray, 8, false, false, pf24RGB, false, 1},
                    TFormatCase{"gray8_native", kGray, 8, true, false, pf8g, false, 1},
                    TFormatCase{"gray8_trns", kGray, 8, false, true, pf24RGB, true, 1},
                    TFormatCase{"gray8_trns_native", kGray, 8, true, true, pf8g, false, 1},
                    TFormatCase{"gray16", kGray, 16, false, false, pf24RGB, false, 1},
                    TFormatCase{"gray16_native", kGray, 16, true, false, pf16g, false, 1},
                    TFormatCase{"palette1", kPal, 1, false, false, pf24RGB, false, 1},
                    TFormatCase{"palette1_trns", kPal, 1, false, true, pf24RGB, true, 1},
                    TFormatCase{"palette2", kPal, 2, false, false, pf24RGB, false, 1},
                    TFormatCase{"palette4_native", kPal, 4, true, false, pf24RGB, false, 1},
                    TFormatCase{"palette8", kPal, 8, false, false, pf24RGB, false, 1},
                    TFormatCase{"palette8_trns", kPal, 8, false, true, pf24RGB, true, 1},
                    TFormatCase{"palette8_trns_native", kPal, 8, true, true, pf8p, false, 1},
                    TFormatCase{"rgb8", kRGB, 8, false, false, pf24RGB, false, 3},
                    TFormatCase{"rgb8_trns", kRGB, 8, true, true, pf24RGB, true, 3},
                    TFormatCase{"rgb16", kRGB, 16, false, false, pf24RGB, false, 3},
                    TFormatCase{"gray_alpha8", kGA, 8, false, false, pf24RGB, true, 2},
                    TFormatCase{"gray_alpha16", kGA, 16, true, false, pf24RGB, true, 2},
                    TFormatCase{"rgba8", kRGBA, 8, false, false, pf24RGB, true, 4},
                    TFormatCase{"rgba16", kRGBA, 16, false, false, pf24RGB, true, 4}),
    [](const testing::TestParamInfo<TFormatCase>& info) { return std::string(info.param.Name); });

TEST(PngRead, OneBitPaletteUsesItsTwoColours) {
  TPngSpec spec = MakeSpec(10, 2, kPal, 1);
  spec.Palette = {png_color{10, 20, 30}, png_color{200, 150, 100}};
  spec.SetSample(3, 0, 0, 1);
  spec.SetSample(9, 1, 0, 1);
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out);
  ASSERT_FALSE(out.Aborting);
  ASSERT_EQ(out.Bitmap.PixelFormat(), pf24RGB);
  EXPECT_EQ(PixelRgba(out.Bitmap, 0, 0), (TRgba{10, 20, 30, 255}));
  EXPECT_EQ(PixelRgba(out.Bitmap, 3, 0), (TRgba{200, 150, 100, 255}));
  EXPECT_EQ(PixelRgba(out.Bitmap, 9, 1), (TRgba{200, 150, 100, 255}));
  ASSERT_EQ(out.Params.ColorMapCount(), 2);
  EXPECT_EQ(out.Params.ColorMap[1], TLmRGBTriple::FromRGB(200, 150, 100));
}

TEST(PngRead, SuggestedPaletteOfAnRgbFileIsNoColourMap) {
  TPngSpec spec = PatternSpec(4, 4, kRGB, 8);
  spec.Palette = {png_color{1, 2, 3}, png_color{4, 5, 6}};
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out);
  ASSERT_FALSE(out.Aborting);
  EXPECT_EQ(out.Params.ColorMapCount(), 0);
}

// Interlaced files decode to the same pixels as their plain twins, for
// sizes where some of the seven passes are empty.
struct TInterlaceCase {
  int Width, Height, ColorType, Depth;
  bool Transparency;
};

class PngReadInterlaced : public testing::TestWithParam<TInterlaceCase> {};

TEST_P(PngReadInterlaced, MatchesPlainFile) {
  const TInterlaceCase& c = GetParam();
  TPngSpec spec = PatternSpec(c.Width, c.Height, c.ColorType, c.Depth, c.ColorType == kPal ? 1 << c.Depth : 0);
  if (c.Transparency) spec.PaletteAlpha = {0, 100, 200};
  TDecoded plain, interlaced;
  DecodeWithCodec(EncodeWithLibpng(spec), plain);
  spec.Interlaced = true;
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  DecodeWithCodec(file, interlaced);
  ASSERT_FALSE(plain.Aborting);
  ASSERT_FALSE(interlaced.Aborting);
  EXPECT_TRUE(interlaced.Params.PngInterlaced);
  EXPECT_EQ(interlaced.Bitmap.HasAlphaChannel(), plain.Bitmap.HasAlphaChannel());
  EXPECT_EQ(BitmapRgba(interlaced.Bitmap), BitmapRgba(plain.Bitmap));
  ExpectPixelsMatch(spec, interlaced.Bitmap);
  // Progress counts seven passes of rows and ends at 100 (99 where the
  // truncated product rows x (100 / units) falls just short, as with x87
  // arithmetic in the 32-bit Windows build).
  ASSERT_FALSE(interlaced.Progress.empty());
  EXPECT_TRUE(std::is_sorted(interlaced.Progress.begin(), interlaced.Progress.end()));
  EXPECT_GE(interlaced.Progress.back(), 99);
  EXPECT_GE(interlaced.Progress.size(), 7u);
}

INSTANTIATE_TEST_SUITE_P(Cases, PngReadInterlaced,
                         testing::Values(TInterlaceCase{33, 17, kRGBA, 8, false}, TInterlaceCase{1, 1, kRGBA, 8, false},
                                         TInterlaceCase{3, 5, kRGBA, 16, false}, TInterlaceCase{9, 9, kGA, 8, false},
                                         TInterlaceCase{13, 11, kRGB, 8, false}, TInterlaceCase{21, 6, kGray, 1, false},
                                         TInterlaceCase{21, 6, kPal, 1, false}, TInterlaceCase{17, 9, kPal, 2, true},
                                         TInterlaceCase{8, 8, kGray, 4, false}));

TEST(PngRead, Resolution) {
  struct {
    std::optional<std::pair<uint32_t, uint32_t>> PerMetre;
    int DpiX, DpiY;
  } cases[] = {
      {std::make_pair(2835u, 2835u), 72, 72},
      {std::nullopt, 300, 300},
      {std::make_pair(3937u, 11811u), 100, 300},
      {std::make_pair(0u, 1u), 300, 300},  // 0 and 0.0254 dpi both round to 0: the default
  };
  for (const auto& c : cases) {
    TPngSpec spec = MakeSpec(2, 2, kRGB, 8);
    spec.PixelsPerMetre = c.PerMetre;
    TDecoded out;
    DecodeWithCodec(EncodeWithLibpng(spec), out);
    EXPECT_EQ(out.Params.DpiX, c.DpiX);
    EXPECT_EQ(out.Params.DpiY, c.DpiY);
  }
}

TEST(PngRead, BackgroundColourInEightBits) {
  struct {
    int ColorType, Depth;
    png_color_16 Stored;
    TLmRGBTriple Expected;
  } cases[] = {
      {kRGB, 16, png_color_16{0, 0x1234, 0x5678, 0x9ABC, 0}, TLmRGBTriple::FromRGB(0x12, 0x56, 0x9A)},
      {kRGB, 8, png_color_16{0, 10, 20, 30, 0}, TLmRGBTriple::FromRGB(10, 20, 30)},
      {kGray, 4, png_color_16{0, 0, 0, 0, 15}, TLmRGBTriple::FromRGB(255, 255, 255)},
      {kGray, 2, png_color_16{0, 0, 0, 0, 1}, TLmRGBTriple::FromRGB(85, 85, 85)},
      {kGray, 8, png_color_16{0, 0, 0, 0, 77}, TLmRGBTriple::FromRGB(77, 77, 77)},
      {kPal, 8, png_color_16{1, 0, 0, 0, 0}, TLmRGBTriple::FromRGB(3, 254, 8)},
  };
  for (const auto& c : cases) {
    TPngSpec spec = PatternSpec(4, 4, c.ColorType, c.Depth, c.ColorType == kPal ? 4 : 0);
    spec.Background = c.Stored;
    TDecoded out;
    DecodeWithCodec(EncodeWithLibpng(spec), out);
    EXPECT_EQ(out.Params.PngBackground, c.Expected) << c.ColorType << "/" << c.Depth;
  }
}

TEST(PngRead, TextChunksBeforeAndAfterTheImageData) {
  TPngSpec spec = MakeSpec(3, 3, kRGB, 8);
  spec.Texts = {{"Title", "Caf\xE9"}, {"Author", "someone"}};
  spec.TextsAfter = {{"Comment", "written after IDAT"}};
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out);
  ASSERT_FALSE(out.Aborting);
  EXPECT_EQ(out.Params.PngTextKeys, (std::vector<std::string>{"Title", "Author", "Comment"}));
  // Latin-1 text arrives as UTF-8.
  EXPECT_EQ(out.Params.PngTextValues, (std::vector<std::string>{"Caf\xC3\xA9", "someone", "written after IDAT"}));

  spec.CompressTexts = true;
  TDecoded compressed;
  DecodeWithCodec(EncodeWithLibpng(spec), compressed);
  EXPECT_EQ(compressed.Params.PngTextValues, out.Params.PngTextValues);
}

TEST(PngRead, ParametersOnlyLeavesTheBitmapAlone) {
  TPngSpec spec = PatternSpec(40, 30, kPal, 8, 16);
  spec.Interlaced = true;
  spec.PixelsPerMetre = std::make_pair(2835u, 2835u);
  spec.Texts = {{"Title", "x"}};
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out, false, true);
  EXPECT_FALSE(out.Aborting);
  EXPECT_TRUE(out.Bitmap.IsEmpty());
  EXPECT_EQ(out.Params.Width, 40);
  EXPECT_EQ(out.Params.Height, 30);
  EXPECT_EQ(out.Params.ColorMapCount(), 16);
  EXPECT_EQ(out.Params.DpiX, 72);
  EXPECT_TRUE(out.Params.PngInterlaced);
  EXPECT_EQ(out.Params.PngTextKeys.size(), 1u);
  EXPECT_EQ(DescribePng(out.Params), " Interlaced");
}

TEST(PngRead, LeavesNoStaleAlphaChannel) {
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(PatternSpec(5, 5, kRGBA, 8)), out);
  ASSERT_TRUE(out.Bitmap.HasAlphaChannel());
  // Same size and format, no alpha: the bitmap must not keep the old channel.
  std::vector<uint8_t> file = EncodeWithLibpng(PatternSpec(5, 5, kRGB, 8));
  TLmByteViewStream second(file);
  TIOProgress progress;
  PngReadStream(second, out.Bitmap, out.Params, false, progress);
  EXPECT_FALSE(progress.Aborting());
  EXPECT_FALSE(out.Bitmap.HasAlphaChannel());
}

}  // namespace
}  // namespace lumora::pngtest
