// The writer: colour type, depth and palette chosen from the parameters
// and the image, the ancillary chunks, filters, and failures. Files are
// inspected with libpng directly.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

#include "imageio/errors.h"
#include "imageio/progress.h"
#include "imageio/stream.h"
#include "png_test_util.h"

namespace lumora::pngtest {
namespace {

// A pf24RGB image of the given colours, cycling along each row.
void FillColours(TLmBitmap& bitmap, int width, int height, const std::vector<TLmRGBTriple>& colours) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const TLmRGBTriple& c = colours[static_cast<size_t>(x + y) % colours.size()];
      row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
    }
  }
}

// Smooth colour ramps: far more than 256 colours.
void FillRamps(TLmBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / width);
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / height);
      row[3 * x + 2] = static_cast<uint8_t>((x * y) % 256);
    }
  }
}

TEST(PngWrite, ResolutionInPixelsPerMetre) {
  TLmBitmap bitmap;
  FillColours(bitmap, 3, 3, {TLmRGBTriple::FromRGB(1, 2, 3)});
  TIOParamsVals params;
  params.DpiX = 72;
  params.DpiY = 300;
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  ASSERT_TRUE(file.HasPhys);
  EXPECT_EQ(file.PhysX, 2835u);
  EXPECT_EQ(file.PhysY, 11811u);
  EXPECT_EQ(file.PhysUnit, PNG_RESOLUTION_METER);
}

TEST(PngWrite, OpaqueAlphaChannelWritesRgb) {
  TLmBitmap bitmap;
  FillColours(bitmap, 4, 4, {TLmRGBTriple::FromRGB(10, 20, 30), TLmRGBTriple::FromRGB(40, 50, 60)});
  bitmap.AlphaChannel();  // all 255
  TIOParamsVals params;
  std::vector<uint8_t> opaque = EncodeWithCodec(bitmap, params);
  TPngFileInfo file = InspectWithLibpng(opaque);
  EXPECT_EQ(file.ColorType, PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(file.BitDepth, 8);
  EXPECT_EQ(file.Sample(1, 0, 0), 40u);  // red first in the file
  EXPECT_EQ(file.Sample(1, 0, 2), 60u);

  bitmap.SetAlpha(2, 3, 99);
  file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  EXPECT_EQ(file.ColorType, PNG_COLOR_TYPE_RGB_ALPHA);
  EXPECT_EQ(file.Sample(2, 3, 3), 99u);
  EXPECT_EQ(file.Sample(0, 0, 3), 255u);
}

TEST(PngWrite, OneSampleWithTransparencyMakesAnEightBitPaletteWithTransparentEntryZero) {
  TLmBitmap bitmap;
  const std::vector<TLmRGBTriple> colours = {TLmRGBTriple::FromRGB(200, 0, 0), TLmRGBTriple::FromRGB(0, 200, 0),
                                             TLmRGBTriple::FromRGB(0, 0, 200)};
  FillColours(bitmap, 6, 5, colours);
  bitmap.SetAlpha(0, 0, 0);
  bitmap.SetAlpha(1, 0, 128);  // anything but opaque is transparent in a palette image
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 4;
  params.PngBackground = TLmRGBTriple::FromRGB(7, 8, 9);
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  EXPECT_EQ(params.BitsPerSample, 8);
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(file.BitDepth, 8);
  ASSERT_EQ(file.Palette.size(), 256u);
  EXPECT_EQ(file.Palette[0].red, 7);
  EXPECT_EQ(file.Palette[0].green, 8);
  EXPECT_EQ(file.Palette[0].blue, 9);
  ASSERT_EQ(file.PaletteAlpha.size(), 1u);
  EXPECT_EQ(file.PaletteAlpha[0], 0);
  EXPECT_EQ(file.Sample(0, 0, 0), 0u);
  EXPECT_EQ(file.Sample(1, 0, 0), 0u);
  for (int y = 0; y < 5; ++y)
    for (int x = (y == 0 ? 2 : 0); x < 6; ++x) {
      unsigned index = file.Sample(x, y, 0);
      ASSERT_GE(index, 1u);
      const png_color& entry = file.Palette[index];
      const TLmRGBTriple& want = colours[static_cast<size_t>(x + y) % colours.size()];
      ASSERT_EQ(TLmRGBTriple::FromRGB(entry.red, entry.green, entry.blue), want) << x << "," << y;
    }
  ASSERT_TRUE(file.HasBackground);
  EXPECT_EQ(file.Background.index, 0);
}

TEST(PngWrite, GrayImagesWriteGrayLevels) {
  // pf24RGB with gray pixels, pf8g, a pf8p image with a gray palette in
  // shuffled order: all become 8-bit gray with their levels.
  TLmBitmap rgb;
  FillColours(rgb, 5, 3, {TLmRGBTriple::FromRGB(0, 0, 0), TLmRGBTriple::FromRGB(77, 77, 77), TLmRGBTriple::FromRGB(255, 255, 255)});
  TLmBitmap gray;
  ASSERT_TRUE(gray.Allocate(5, 3, pf8g));
  TLmBitmap paletted;
  ASSERT_TRUE(paletted.Allocate(5, 3, pf8p));
  for (int i = 0; i < 256; ++i) paletted.SetPaletteColor(i, TLmRGBTriple::FromRGB(255 - i, 255 - i, 255 - i));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      gray.ScanLine(y)[x] = static_cast<uint8_t>(x * 50 + y);
      paletted.ScanLine(y)[x] = static_cast<uint8_t>(x * 50 + y);
    }
  for (TLmBitmap* bitmap : {&rgb, &gray, &paletted}) {
    TIOParamsVals params;
    params.SamplesPerPixel = 1;
    params.BitsPerSample = 8;
    std::vector<uint8_t> png = EncodeWithCodec(*bitmap, params);
    TPngFileInfo file = InspectWithLibpng(png);
    ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_GRAY) << PixelFormatName(bitmap->PixelFormat());
    EXPECT_EQ(file.BitDepth, 8);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) ASSERT_EQ(file.Sample(x, y, 0), PixelRgba(*bitmap, x, y).R) << x << "," << y;
  }
}

TEST(PngWrite, SixteenBitGrayKeepsEveryBit) {
  TLmBitmap bitmap;
  ASSERT_TRUE(bitmap.Allocate(4, 2, pf16g));
  const uint16_t values[] = {0, 1, 0x1234, 0xFFFF, 0x8001, 0x00FF, 0xFF00, 777};
  for (int i = 0; i < 8; ++i) {
    uint8_t* p = bitmap.ScanLine(i / 4) + 2 * (i % 4);
    p[0] = static_cast<uint8_t>(values[i]);
    p[1] = static_cast<uint8_t>(values[i] >> 8);
  }
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 16;
  std::vector<uint8_t> png = EncodeWithCodec(bitmap, params);
  TPngFileInfo file = InspectWithLibpng(png);
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_GRAY);
  ASSERT_EQ(file.BitDepth, 16);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(file.Sample(i % 4, i / 4, 0), values[i]);
  // And back through the reader, natively.
  TDecoded out;
  DecodeWithCodec(png, out, true);
  ASSERT_EQ(out.Bitmap.PixelFormat(), pf16g);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(0, std::memcmp(out.Bitmap.ScanLine(y), bitmap.ScanLine(y), 8));
}

TEST(PngWrite, ColourPaletteImageKeepsItsIndexes) {
  TLmBitmap bitmap;
  ASSERT_TRUE(bitmap.Allocate(7, 3, pf8p));
  for (int i = 0; i < 256; ++i) bitmap.SetPaletteColor(i, TLmRGBTriple::FromRGB(i, 255 - i, (i * 5) % 256));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) bitmap.ScanLine(y)[x] = static_cast<uint8_t>(x * 37 + y);
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 8;
  params.PngBackground = TLmRGBTriple::FromRGB(10, 245, 50);  // entry 10
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_PALETTE);
  ASSERT_EQ(file.Palette.size(), 256u);
  EXPECT_EQ(file.Palette[200].red, 200);
  EXPECT_EQ(file.Palette[200].green, 55);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(file.Sample(x, y, 0), unsigned(x * 37 + y));
  EXPECT_EQ(file.Background.index, 10);
}

TEST(PngWrite, ManyColoursAreQuantized) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 64, 64);
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 8;
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_PALETTE);
  // Each pixel's entry is near its colour.
  int worst = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const png_color& e = file.Palette[file.Sample(x, y, 0)];
      TRgba c = PixelRgba(bitmap, x, y);
      worst = std::max(worst, std::abs(e.red - c.R) + std::abs(e.green - c.G) + std::abs(e.blue - c.B));
    }
  EXPECT_LT(worst, 120);
}

TEST(PngWrite, OneBitOutput) {
  // Two colours: the darker becomes 0 whatever its position.
  TLmBitmap twoColours;
  FillColours(twoColours, 9, 2, {TLmRGBTriple::FromRGB(255, 0, 0), TLmRGBTriple::FromRGB(0, 0, 255)});
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 1;
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(twoColours, params));
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_GRAY);
  ASSERT_EQ(file.BitDepth, 1);
  EXPECT_EQ(file.Sample(0, 0, 0), 1u);  // red, the lighter
  EXPECT_EQ(file.Sample(1, 0, 0), 0u);  // blue, the darker

  // A pf1g bitmap is written as it is.
  TLmBitmap bilevel;
  ASSERT_TRUE(bilevel.Allocate(10, 1, pf1g));
  bilevel.ScanLine(0)[0] = 0xA5;
  bilevel.ScanLine(0)[1] = 0x40;
  file = InspectWithLibpng(EncodeWithCodec(bilevel, params));
  ASSERT_EQ(file.BitDepth, 1);
  const unsigned want[] = {1, 0, 1, 0, 0, 1, 0, 1, 0, 1};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(file.Sample(x, 0, 0), want[x]) << x;

  // Many colours go through the 1-bit conversion of the pixel container.
  TLmBitmap ramps;
  FillRamps(ramps, 16, 16);
  file = InspectWithLibpng(EncodeWithCodec(ramps, params));
  EXPECT_TRUE(file.Ok);
  EXPECT_EQ(file.BitDepth, 1);
}

TEST(PngWrite, SixteenBitPaletteIsRefused) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 8, 8);
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 16;
  try {
    EncodeWithCodec(bitmap, params);
    FAIL() << "no exception";
  } catch (const ELmCodecError& e) {
    EXPECT_STREQ(e.what(), "Error on creating PNG");
  }
}

TEST(PngWrite, InterlacedFileReadsBackTheSame) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 23, 11);
  for (int x = 0; x < 23; ++x) bitmap.SetAlpha(x, x % 11, static_cast<uint8_t>(x * 10));
  TIOParamsVals params;
  params.PngInterlaced = true;
  std::vector<uint8_t> png = EncodeWithCodec(bitmap, params);
  EXPECT_EQ(InspectWithLibpng(png).Interlace, PNG_INTERLACE_ADAM7);
  TDecoded out;
  DecodeWithCodec(png, out);
  ASSERT_FALSE(out.Aborting);
  EXPECT_EQ(BitmapRgba(out.Bitmap), BitmapRgba(bitmap));
}

// The filter byte in front of each row of the decompressed image data.
std::vector<uint8_t> RowFilters(const std::vector<uint8_t>& png, int height, size_t rowBytes) {
  std::vector<uint8_t> zdata;
  for (const TChunkRef& ref : ListChunks(png))
    if (ref.Type == "IDAT") zdata.insert(zdata.end(), png.begin() + ref.Offset + 8, png.begin() + ref.Offset + 8 + ref.Length);
  std::vector<uint8_t> raw((rowBytes + 1) * height);
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &size, zdata.data(), zdata.size()), Z_OK);
  std::vector<uint8_t> filters;
  for (int y = 0; y < height; ++y) filters.push_back(raw[y * (rowBytes + 1)]);
  return filters;
}

TEST(PngWrite, FilterChoice) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 32, 8);
  const struct {
    uint8_t Setting;
    int RowFilter;  // -1: any
  } cases[] = {{0, 0}, {1, 1}, {2, 4}, {9, -1}};
  for (const auto& c : cases) {
    TIOParamsVals params;
    params.PngFilter = c.Setting;
    std::vector<uint8_t> filters = RowFilters(EncodeWithCodec(bitmap, params), 8, 32 * 3);
    for (uint8_t f : filters) {
      if (c.RowFilter >= 0)
        EXPECT_EQ(f, c.RowFilter) << int(c.Setting);
      else
        EXPECT_LE(f, 4);
    }
  }
}

TEST(PngWrite, CompressionLevel) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 64, 64);
  TIOParamsVals params;
  params.PngCompression = 0;
  size_t stored = EncodeWithCodec(bitmap, params).size();
  params.PngCompression = 9;
  size_t best = EncodeWithCodec(bitmap, params).size();
  EXPECT_GT(stored, 64u * 64u * 3u);
  EXPECT_LT(best, stored);
  params.PngCompression = 1000;  // out of range: the strongest level
  EXPECT_EQ(EncodeWithCodec(bitmap, params).size(), best);
}

TEST(PngWrite, BackgroundChunk) {
  TLmBitmap bitmap;
  FillColours(bitmap, 2, 2, {TLmRGBTriple::FromRGB(1, 1, 1)});
  TIOParamsVals params;
  params.PngBackground = TLmRGBTriple::FromRGB(10, 20, 30);
  TPngFileInfo file = InspectWithLibpng(EncodeWithCodec(bitmap, params));
  ASSERT_TRUE(file.HasBackground);
  EXPECT_EQ(file.Background.red, 10);
  EXPECT_EQ(file.Background.green, 20);
  EXPECT_EQ(file.Background.blue, 30);
  // And it reads back.
  TDecoded out;
  DecodeWithCodec(EncodeWithCodec(bitmap, params), out);
  EXPECT_EQ(out.Params.PngBackground, params.PngBackground);
}

TEST(PngWrite, TextChunksRoundTrip) {
  TPngSpec spec = MakeSpec(3, 3, PNG_COLOR_TYPE_RGB, 8);
  spec.Texts = {{"Title", "Caf\xE9"}, {"Software", "x"}};
  spec.TextsAfter = {{"Comment", "after"}};
  TDecoded read;
  DecodeWithCodec(EncodeWithLibpng(spec), read);
  // Text read from a file is written back; a text outside Latin-1 goes
  // into an iTXt chunk; more keys than values write only the pairs.
  read.Params.PngTextKeys.push_back("Description");
  read.Params.PngTextValues.push_back("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  read.Params.PngTextKeys.push_back("");  // never reaches libpng, which would refuse it
  read.Params.PngTextValues.push_back("no key");
  read.Params.PngTextKeys.push_back("Orphan");
  std::vector<uint8_t> png = EncodeWithCodec(read.Bitmap, read.Params);
  TPngFileInfo file = InspectWithLibpng(png);
  ASSERT_EQ(file.Texts.size(), 4u);
  EXPECT_EQ(file.Texts[0], (std::pair<std::string, std::string>{"Title", "Caf\xE9"}));
  EXPECT_EQ(file.TextCompression[0], PNG_TEXT_COMPRESSION_NONE);
  EXPECT_EQ(file.Texts[2].first, "Comment");
  EXPECT_EQ(file.TextCompression[3], PNG_ITXT_COMPRESSION_NONE);
  TDecoded again;
  DecodeWithCodec(png, again);
  EXPECT_EQ(again.Params.PngTextKeys,
            (std::vector<std::string>{"Title", "Software", "Comment", "Description"}));
  EXPECT_EQ(again.Params.PngTextValues[0], "Caf\xC3\xA9");
  EXPECT_EQ(again.Params.PngTextValues[3], read.Params.PngTextValues[3]);
}

// Streams that fail while the file is written.
class TShortStream : public TLmMemoryStream {
 public:
  explicit TShortStream(size_t capacity) : capacity_(capacity) {}
  size_t Write(const void* buffer, size_t count) override {
    size_t room = Data().size() < capacity_ ? capacity_ - Data().size() : 0;
    return TLmMemoryStream::Write(buffer, std::min(count, room));
  }

 private:
  size_t capacity_;
};

class TThrowingStream : public TLmMemoryStream {
 public:
  size_t Write(const void*, size_t) override { throw ELmStreamError("disk full"); }
};

TEST(PngWrite, ShortWriteSetsAborting) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 64, 64);
  TIOParamsVals params;
  TShortStream stream(500);
  TIOProgress progress;
  WritePng(stream, bitmap, params, progress);
  EXPECT_TRUE(progress.Aborting());
}

TEST(PngWrite, StreamExceptionPropagates) {
  TLmBitmap bitmap;
  FillRamps(bitmap, 8, 8);
  TIOParamsVals params;
  TThrowingStream stream;
  TIOProgress progress;
  EXPECT_THROW(WritePng(stream, bitmap, params, progress), ELmStreamError);
}

TEST(PngWrite, MaskArgument) {
  TLmBitmap bitmap;
  FillColours(bitmap, 4, 3, {TLmRGBTriple::FromRGB(5, 6, 7)});
  TLmMask mask;
  ASSERT_TRUE(mask.Allocate(4, 3));
  mask.Fill(255);
  mask.SetPixel(3, 2, 40);
  TIOParamsVals params;
  TLmMemoryStream stream;
  TIOProgress progress;
  PngWriteStream(stream, bitmap, params, &mask, progress);
  TPngFileInfo file = InspectWithLibpng(stream.Data());
  ASSERT_EQ(file.ColorType, PNG_COLOR_TYPE_RGB_ALPHA);
  EXPECT_EQ(file.Sample(3, 2, 3), 40u);
  EXPECT_EQ(file.Sample(0, 0, 3), 255u);
}

}  // namespace
}  // namespace lumora::pngtest
