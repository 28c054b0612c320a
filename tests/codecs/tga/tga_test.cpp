// TGA reader and writer: storage orders, run-length packets across rows,
// the pixel depths and their alpha, colour maps, the extension area, the
// writer's variants read back by us and by ImageMagick, and hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/tga/tga.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"
#include "reference_image.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// A TGA in memory, built field by field.
struct TTgaSpec {
  uint8_t ImageType = 2;
  uint8_t ColorMapType = 0;
  uint16_t MapFirst = 0, MapLength = 0;
  uint8_t MapEntryBits = 0;
  uint16_t Width = 2, Height = 2;
  uint8_t Depth = 24;
  uint8_t Descriptor = 0x20;
  std::string Id;
  std::vector<uint8_t> Map;     // entries as stored
  std::vector<uint8_t> Pixels;  // as stored (raw or packets)
  std::vector<uint8_t> Trailer; // after the pixels (extension area, footer)
};

std::vector<uint8_t> MakeTga(const TTgaSpec& s) {
  std::vector<uint8_t> f(18, 0);
  f[0] = static_cast<uint8_t>(s.Id.size());
  f[1] = s.ColorMapType;
  f[2] = s.ImageType;
  WriteLE16(&f[3], s.MapFirst);
  WriteLE16(&f[5], s.MapLength);
  f[7] = s.MapEntryBits;
  WriteLE16(&f[12], s.Width);
  WriteLE16(&f[14], s.Height);
  f[16] = s.Depth;
  f[17] = s.Descriptor;
  for (char c : s.Id) f.push_back(static_cast<uint8_t>(c));
  f.insert(f.end(), s.Map.begin(), s.Map.end());
  f.insert(f.end(), s.Pixels.begin(), s.Pixels.end());
  f.insert(f.end(), s.Trailer.begin(), s.Trailer.end());
  return f;
}

struct TLoaded {
  TLmBitmap Bitmap;
  TIOParamsVals Params;
  bool Aborting = false;
  TIOFailure Failure;
};

void Load(const std::vector<uint8_t>& file, TLoaded& out) {
  TImageIO io(out.Bitmap);
  TLmByteViewStream stream(file);
  io.LoadImageFromStreamAs(stream, ftTGA);
  out.Params = io.Params;
  out.Aborting = io.Aborting;
  out.Failure = io.LastFailure();
}

// Colour of one pixel as red, green, blue.
std::vector<int> Rgb(TLmBitmap& bitmap, int x, int y) {
  TLmBitmap rgb;
  rgb.Assign(bitmap);
  rgb.SetPixelFormat(pf24RGB);
  const uint8_t* p = rgb.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

// The 2 x 2 picture red, green / blue, white as stored in each order.
TEST(TgaRead, EveryStorageOrderGivesTheSamePicture) {
  const uint8_t red[] = {0, 0, 255}, green[] = {0, 255, 0}, blue[] = {255, 0, 0}, white[] = {255, 255, 255};
  auto pixels = [](std::initializer_list<const uint8_t*> order) {
    std::vector<uint8_t> v;
    for (const uint8_t* p : order) v.insert(v.end(), p, p + 3);
    return v;
  };
  const struct {
    uint8_t Descriptor;
    std::vector<uint8_t> Pixels;
  } cases[] = {
      {0x20, pixels({red, green, blue, white})},  // top-left
      {0x00, pixels({blue, white, red, green})},  // bottom-left
      {0x30, pixels({green, red, white, blue})},  // top-right
      {0x10, pixels({white, blue, green, red})},  // bottom-right
  };
  for (const auto& c : cases) {
    TTgaSpec s;
    s.Descriptor = c.Descriptor;
    s.Pixels = c.Pixels;
    TLoaded t;
    Load(MakeTga(s), t);
    SCOPED_TRACE(c.Descriptor);
    ASSERT_FALSE(t.Aborting);
    EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(Rgb(t.Bitmap, 0, 1), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(Rgb(t.Bitmap, 1, 1), (std::vector<int>{255, 255, 255}));
  }
}

TEST(TgaRead, RunLengthPacketsContinueIntoTheNextRow) {
  // 3 x 2 gray: a repeat packet of 4 (row 0 and the start of row 1), then a
  // raw packet of 2 that ends the image.
  TTgaSpec s;
  s.ImageType = 11;
  s.Depth = 8;
  s.Width = 3;
  s.Pixels = {0x83, 50, 0x01, 60, 70};
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_TRUE(t.Params.TgaCompressed);
  EXPECT_EQ(Rgb(t.Bitmap, 2, 0), (std::vector<int>{50, 50, 50}));
  EXPECT_EQ(Rgb(t.Bitmap, 0, 1), (std::vector<int>{50, 50, 50}));
  EXPECT_EQ(Rgb(t.Bitmap, 1, 1), (std::vector<int>{60, 60, 60}));
  EXPECT_EQ(Rgb(t.Bitmap, 2, 1), (std::vector<int>{70, 70, 70}));

  // A raw packet crossing the row end, 24 bits.
  s.ImageType = 10;
  s.Depth = 24;
  s.Width = 2;
  s.Pixels = {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x80, 10, 11, 12};
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 1), (std::vector<int>{9, 8, 7}));
  EXPECT_EQ(Rgb(t.Bitmap, 1, 1), (std::vector<int>{12, 11, 10}));
}

TEST(TgaRead, SixteenBitPixelsAndTheirAttributeBit) {
  // Red 31, green 16, blue 1; the second pixel has the attribute bit set.
  const uint16_t a = (31 << 10) | (16 << 5) | 1, b = 0x8000 | (1 << 10);
  TTgaSpec s;
  s.Depth = 16;
  s.Height = 1;
  s.Descriptor = 0x21;
  s.Pixels = {uint8_t(a), uint8_t(a >> 8), uint8_t(b), uint8_t(b >> 8)};
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(t.Params.BitsPerSample, 5);
  EXPECT_EQ(t.Params.SamplesPerPixel, 3);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{248, 128, 8}));
  ASSERT_TRUE(t.Bitmap.HasAlphaChannel());
  EXPECT_EQ(t.Bitmap.Alpha(0, 0), 0);
  EXPECT_EQ(t.Bitmap.Alpha(1, 0), 255);

  // Without an attribute bit in the descriptor bit 15 means nothing.
  s.Descriptor = 0x20;
  Load(MakeTga(s), t);
  EXPECT_FALSE(t.Bitmap.HasAlphaChannel());
}

TEST(TgaRead, ThirtyTwoBitAlphaUnlessTransparencyIsIgnored) {
  TTgaSpec s;
  s.Depth = 32;
  s.Height = 1;
  s.Descriptor = 0x28;
  s.Pixels = {10, 20, 30, 128, 40, 50, 60, 255};
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  ASSERT_TRUE(t.Bitmap.HasAlphaChannel());
  EXPECT_EQ(t.Bitmap.Alpha(0, 0), 128);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{30, 20, 10}));

  const std::vector<uint8_t> file = MakeTga(s);
  TLmByteViewStream stream(file);
  TLmBitmap bitmap;
  TIOParamsVals params;
  TIOProgress progress;
  TLmMask mask;
  TgaRead(stream, bitmap, params, true, &mask, false, progress);
  EXPECT_FALSE(progress.Aborting());
  EXPECT_TRUE(mask.IsEmpty());

  // A fourth byte that is 0 everywhere, with no alpha bits announced, is
  // not alpha: the picture stays visible.
  s.Descriptor = 0x20;
  s.Pixels = {10, 20, 30, 0, 40, 50, 60, 0};
  Load(MakeTga(s), t);
  EXPECT_FALSE(t.Bitmap.HasAlphaChannel());
}

TEST(TgaRead, GrayImagesWithoutColourMap) {
  TTgaSpec s;
  s.ImageType = 3;
  s.Depth = 8;
  s.Height = 1;
  s.Pixels = {0, 200};
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_TRUE(t.Params.TgaGrayLevel);
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{200, 200, 200}));

  // 16-bit gray carries alpha in its high byte.
  s.Depth = 16;
  s.Pixels = {90, 255, 90, 64};
  Load(MakeTga(s), t);
  ASSERT_TRUE(t.Bitmap.HasAlphaChannel());
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{90, 90, 90}));
  EXPECT_EQ(t.Bitmap.Alpha(1, 0), 64);
}

TEST(TgaRead, ColourMapsOfEveryEntrySizeFromTheirFirstIndex) {
  const uint16_t word = (31 << 10) | (0 << 5) | 31;  // magenta
  const struct {
    uint8_t Bits;
    std::vector<uint8_t> Entry;  // the one entry, placed at index 5
    std::vector<int> Expected;
    bool Alpha;
  } cases[] = {
      {15, {uint8_t(word), uint8_t(word >> 8)}, {248, 0, 248}, false},
      {16, {uint8_t(word), uint8_t(word >> 8)}, {248, 0, 248}, false},
      {24, {30, 20, 10}, {10, 20, 30}, false},
      {32, {30, 20, 10, 99}, {10, 20, 30}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bits);
    TTgaSpec s;
    s.ImageType = 1;
    s.ColorMapType = 1;
    s.MapFirst = 5;
    s.MapLength = 1;
    s.MapEntryBits = c.Bits;
    s.Map = c.Entry;
    s.Depth = 8;
    s.Height = 1;
    s.Pixels = {5, 200};  // 200 has no entry of the map: the default cube
    TLoaded t;
    Load(MakeTga(s), t);
    ASSERT_FALSE(t.Aborting);
    EXPECT_FALSE(t.Params.TgaGrayLevel);
    EXPECT_EQ(t.Params.ColorMapCount(), 1);
    EXPECT_EQ(Rgb(t.Bitmap, 0, 0), c.Expected);
    EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{6 * 32 + 28, 2 * 32 + 28, 0 * 64 + 60}));
    EXPECT_EQ(t.Bitmap.HasAlphaChannel(), c.Alpha);
    if (c.Alpha) {
      EXPECT_EQ(t.Bitmap.Alpha(0, 0), 99);
    }
  }
}

TEST(TgaRead, TwoColourMapsKeepTheirColours) {
  TTgaSpec s;
  s.ImageType = 1;
  s.ColorMapType = 1;
  s.MapLength = 2;
  s.MapEntryBits = 24;
  s.Map = {0, 0, 200, 200, 0, 0};  // red, blue
  s.Depth = 1;
  s.Width = 3;
  s.Height = 1;
  s.Pixels = {0b01000000};
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{200, 0, 0}));
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{0, 0, 200}));

  // Black and white stays a bilevel image.
  s.Map = {0, 0, 0, 255, 255, 255};
  Load(MakeTga(s), t);
  EXPECT_EQ(t.Bitmap.PixelFormat(), pf1g);
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{255, 255, 255}));
}

std::vector<uint8_t> ExtensionTrailer(size_t imageBytes, const std::string& author, uint16_t gammaNum,
                                      uint16_t gammaDen, uint16_t month) {
  std::vector<uint8_t> ext(495, 0);
  std::memcpy(&ext[2], author.data(), author.size());
  const uint16_t date[] = {month, 24, 2023, 13, 45, 59};
  for (int i = 0; i < 6; ++i) WriteLE16(&ext[367 + 2 * i], date[i]);
  ext[471] = 1, ext[472] = 2, ext[473] = 3;
  WriteLE16(&ext[478], gammaNum);
  WriteLE16(&ext[480], gammaDen);
  std::vector<uint8_t> footer(26, 0);
  WriteLE32(footer.data(), static_cast<uint32_t>(imageBytes));
  std::memcpy(&footer[8], "TRUEVISION-XFILE.", 18);
  ext.insert(ext.end(), footer.begin(), footer.end());
  return ext;
}

TEST(TgaRead, ExtensionAreaFieldsAndTheirDefaults) {
  TTgaSpec s;
  s.Pixels.assign(12, 7);
  s.Trailer = ExtensionTrailer(18 + 12, "Ann", 25, 10, 12);
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(t.Params.TgaAuthor, "Ann");
  EXPECT_EQ(t.Params.TgaDate, (TTgaDateTime{2023, 12, 24, 13, 45, 59}));
  EXPECT_EQ(t.Params.TgaKeyColor, TLmRGBTriple::FromRGB(1, 2, 3));
  EXPECT_DOUBLE_EQ(t.Params.TgaGamma, 2.5);
  EXPECT_DOUBLE_EQ(t.Params.TgaAspectRatio, 1.0);  // 0 / 0 keeps the default

  // An impossible month leaves the date unset; no footer leaves everything.
  s.Trailer = ExtensionTrailer(18 + 12, "Ann", 25, 10, 13);
  Load(MakeTga(s), t);
  EXPECT_FALSE(t.Params.TgaDate.IsSet());
  s.Trailer.clear();
  Load(MakeTga(s), t);
  EXPECT_EQ(t.Params.TgaAuthor, "");
  EXPECT_DOUBLE_EQ(t.Params.TgaGamma, 2.2);
}

// ---- Hostile and broken files ---------------------------------------------

TEST(TgaRead, BrokenFilesFailWithAReason) {
  auto load = [](const TTgaSpec& s, TLoaded& t, size_t cut = 0) {
    std::vector<uint8_t> file = MakeTga(s);
    file.resize(file.size() - cut);
    Load(file, t);
  };
  TLoaded t;
  TTgaSpec huge;
  huge.Width = huge.Height = 65535;
  huge.ImageType = 10;
  huge.Pixels = {0xFF, 1, 2, 3};
  load(huge, t);
  EXPECT_TRUE(t.Aborting);
  EXPECT_EQ(t.Failure.Kind, TIOFailureKind::InvalidData);
  EXPECT_TRUE(t.Bitmap.IsEmpty());

  const struct {
    const char* Name;
    uint8_t ImageType, Depth;
    TIOFailureKind Kind;
  } headers[] = {
      {"unknown type", 4, 24, TIOFailureKind::InvalidData},
      {"unknown depth", 2, 12, TIOFailureKind::InvalidData},
      {"run-length bits", 11, 1, TIOFailureKind::Unsupported},
      {"24-bit indexes", 1, 24, TIOFailureKind::Unsupported},
  };
  for (const auto& h : headers) {
    TTgaSpec s;
    s.ImageType = h.ImageType;
    s.Depth = h.Depth;
    s.Pixels.assign(64, 0);
    load(s, t);
    EXPECT_EQ(t.Failure.Kind, h.Kind) << h.Name;
    EXPECT_TRUE(t.Bitmap.IsEmpty()) << h.Name;
  }

  // A colour map longer than the file.
  TTgaSpec longMap;
  longMap.ImageType = 1;
  longMap.ColorMapType = 1;
  longMap.MapLength = 60000;
  longMap.MapEntryBits = 24;
  longMap.Depth = 8;
  longMap.Pixels = {1, 2, 3, 4};
  load(longMap, t);
  EXPECT_TRUE(t.Aborting);
  EXPECT_TRUE(t.Bitmap.IsEmpty());

  // A header cut short.
  load(TTgaSpec{}, t, 5 + 12);
  EXPECT_TRUE(t.Aborting);
  EXPECT_TRUE(t.Bitmap.IsEmpty());
}

TEST(TgaRead, TruncatedFilesKeepTheRowsRead) {
  // 2 x 3 top-down gray; the data stop inside the second row.
  TTgaSpec s;
  s.ImageType = 3;
  s.Depth = 8;
  s.Height = 3;
  s.Pixels = {100, 110, 120};
  TLoaded t;
  Load(MakeTga(s), t);
  EXPECT_TRUE(t.Aborting);
  EXPECT_EQ(t.Failure.Kind, TIOFailureKind::InvalidData);
  ASSERT_EQ(t.Bitmap.Height(), 3);
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{110, 110, 110}));
  EXPECT_EQ(Rgb(t.Bitmap, 0, 1), (std::vector<int>{120, 120, 120}));
  EXPECT_EQ(Rgb(t.Bitmap, 0, 2), (std::vector<int>{0, 0, 0}));

  // A run-length file whose packets end early: the same.
  s.ImageType = 11;
  s.Pixels = {0x82, 100};
  Load(MakeTga(s), t);
  EXPECT_TRUE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 1), (std::vector<int>{100, 100, 100}));

  // A run past the image end is cut at the end of the image.
  s.Pixels = {0xFF, 100};
  Load(MakeTga(s), t);
  EXPECT_FALSE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 1, 2), (std::vector<int>{100, 100, 100}));
}

TEST(TgaRead, SixteenBitIndexesPastTheMapAreBlack) {
  TTgaSpec s;
  s.ImageType = 1;
  s.ColorMapType = 1;
  s.MapFirst = 300;
  s.MapLength = 1;
  s.MapEntryBits = 24;
  s.Map = {1, 2, 3};
  s.Depth = 16;
  s.Height = 1;
  s.Pixels = {0x2C, 0x01, 0xFF, 0xFF};  // 300, 65535
  TLoaded t;
  Load(MakeTga(s), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), (std::vector<int>{0, 0, 0}));
}

// ---- Writer ------------------------------------------------------------------

// A 24-bit picture with a run and an alpha gradient.
void FillPicture(TLmBitmap& bitmap, int width, int height, int colours) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const int k = (x / 3 + y) % colours;  // runs of three
      row[3 * x] = static_cast<uint8_t>(k * 40);
      row[3 * x + 1] = static_cast<uint8_t>(255 - k * 30);
      row[3 * x + 2] = static_cast<uint8_t>(k * 17 + 5);
    }
  }
}

std::vector<uint8_t> Save(TImageIO& io) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftTGA);
  EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
  return out.Data();
}

TEST(TgaWrite, EightBitColourMappedWritesTypeNineWith256Entries) {
  TImageIO io;
  FillPicture(io.Bitmap(), 40, 7, 5);
  io.Params.BitsPerSample = 8;
  io.Params.SamplesPerPixel = 1;
  const std::vector<uint8_t> file = Save(io);
  ASSERT_GE(file.size(), 18u);
  EXPECT_EQ(file[1], 1);
  EXPECT_EQ(file[2], 9);
  EXPECT_EQ(ReadLE16(&file[5]), 256);
  EXPECT_EQ(file[7], 24);
  EXPECT_EQ(file[17], 0x20);
}

TEST(TgaWrite, ExtensionAreaStoresGammaAndAspectAsFractions) {
  TImageIO io;
  FillPicture(io.Bitmap(), 4, 4, 2);
  io.Params.TgaAuthor = "Lumora";
  io.Params.TgaAspectRatio = 10.0;  // too large for a 16-bit numerator over 10000
  io.Params.TgaDate = {2020, 2, 29, 23, 59, 58};
  const std::vector<uint8_t> file = Save(io);
  ASSERT_GE(file.size(), 26u + 495u);
  const uint8_t* footer = file.data() + file.size() - 26;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(footer + 8)), "TRUEVISION-XFILE.");
  const uint8_t* ext = file.data() + ReadLE32(footer);
  EXPECT_EQ(ReadLE16(ext + 478), 22000);
  EXPECT_EQ(ReadLE16(ext + 480), 10000);
  EXPECT_EQ(ReadLE16(ext + 474), 10000);
  EXPECT_EQ(ReadLE16(ext + 476), 1000);

  TLoaded t;
  Load(file, t);
  EXPECT_EQ(t.Params.TgaAuthor, "Lumora");
  EXPECT_EQ(t.Params.TgaDate, io.Params.TgaDate);
  EXPECT_DOUBLE_EQ(t.Params.TgaAspectRatio, 10.0);
  EXPECT_DOUBLE_EQ(t.Params.TgaGamma, 2.2);
}

// Every variant the writer makes is read back with the same pixels by us
// and by ImageMagick.
TEST(TgaWrite, EveryVariantRoundTrips) {
  const struct {
    const char* Name;
    int BitsPerSample, SamplesPerPixel, Colours;
    bool Compressed, Alpha, Gray;
    uint8_t ExpectedType, ExpectedDepth;
  } cases[] = {
      {"24 rle", 8, 3, 7, true, false, false, 10, 24},
      {"24 raw", 8, 3, 7, false, false, false, 2, 24},
      {"32 alpha", 8, 3, 7, true, true, false, 2, 32},
      {"8 colour-mapped rle", 8, 1, 7, true, false, false, 9, 8},
      {"8 colour-mapped raw", 8, 1, 7, false, false, false, 1, 8},
      {"8 gray", 8, 1, 1, true, false, true, 11, 8},
      {"4 colour-mapped", 4, 1, 7, true, false, false, 1, 4},
      {"1 two colours", 1, 1, 2, true, false, false, 1, 1},
  };
  const fs::path dir = fs::temp_directory_path() / "lumora_tga_roundtrip";
  fs::create_directories(dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageIO io;
    FillPicture(io.Bitmap(), 21, 5, c.Colours);
    if (c.Gray) io.Bitmap().SetPixelFormat(pf8g);
    if (c.Alpha)
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 21; ++x) io.Bitmap().SetAlpha(x, y, static_cast<uint8_t>(x * 12));
    io.Params.BitsPerSample = c.BitsPerSample;
    io.Params.SamplesPerPixel = c.SamplesPerPixel;
    io.Params.TgaCompressed = c.Compressed;
    io.Params.TgaGrayLevel = c.Gray;
    const std::vector<uint8_t> file = Save(io);
    ASSERT_GE(file.size(), 18u);
    EXPECT_EQ(file[2], c.ExpectedType);
    EXPECT_EQ(file[16], c.ExpectedDepth);

    TLoaded t;
    Load(file, t);
    ASSERT_FALSE(t.Aborting) << t.Failure.Describe();
    // Few enough colours for the palette to hold them all: exact.
    TLmBitmap original;
    original.Assign(io.Bitmap());
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 21; ++x) {
        ASSERT_EQ(Rgb(t.Bitmap, x, y), Rgb(original, x, y)) << x << "," << y;
        ASSERT_EQ(t.Bitmap.Alpha(x, y), original.Alpha(x, y)) << x << "," << y;
      }

#ifndef _WIN32
    const fs::path path = dir / (std::string("v") + std::to_string(&c - cases) + ".tga");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    test::TRgbaImage ref;
    // Depths 1 and 4 are ours alone: ImageMagick refuses 1-bit colour-mapped
    // files and reads 4-bit ones with another pixel order; netpbm reads neither.
    if (c.ExpectedDepth >= 8 && fs::exists(test::kImageMagick)) {
      ASSERT_TRUE(test::DecodeWithImageMagick(path, ref, "tga:"));
      EXPECT_EQ(test::LargestDifference(t.Bitmap, ref), 0);
    }
#endif
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// The fuzzer's seeds and the inputs it kept load, or fail with a reason.
TEST(TgaRead, FuzzInputsLoadOrFailWithAReason) {
  const fs::path root = fs::path(LUMORA_TEST_DATA_DIR).parent_path().parent_path();
  int count = 0;
  for (const fs::path& dir : {root / "fuzz" / "seeds" / "tga", root / "out" / "fuzz" / "tga_fuzz"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      TImageIO io;
      io.LoadImageAs(entry.path(), ftTGA);
      if (io.Aborting) {
        EXPECT_NE(io.LastFailure().Kind, TIOFailureKind::None) << entry.path();
        EXPECT_NE(io.LastFailure().Kind, TIOFailureKind::Cancelled) << entry.path();
      }
      ++count;
    }
  }
  EXPECT_GE(count, 5);
}

}  // namespace
}  // namespace lumora
