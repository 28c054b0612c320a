// BMP reader and writer: the layouts that matter, the writer round trip,
// and hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

// A BMP in memory, built field by field.
struct TBmpSpec {
  int32_t Width = 2, Height = 2;
  uint16_t Bits = 24;
  uint32_t Compression = 0;
  uint32_t HeaderSize = 40;
  int32_t PixelsPerMetreX = 2835, PixelsPerMetreY = 2835;
  std::vector<TLmRGBTriple> Palette;
  std::vector<uint32_t> Masks;   // written after a 40-byte header or inside a longer one
  std::vector<uint8_t> Pixels;   // exactly as stored
  uint16_t Planes = 1;
  int32_t ColorsUsed = -1;       // -1: the palette size
};

std::vector<uint8_t> MakeBmp(const TBmpSpec& s) {
  std::vector<uint8_t> header(s.HeaderSize, 0);
  WriteLE32(header.data(), s.HeaderSize);
  if (s.HeaderSize == 12) {
    WriteLE16(&header[4], static_cast<uint16_t>(s.Width));
    WriteLE16(&header[6], static_cast<uint16_t>(s.Height));
    WriteLE16(&header[8], s.Planes);
    WriteLE16(&header[10], s.Bits);
  } else {
    WriteLE32(&header[4], static_cast<uint32_t>(s.Width));
    WriteLE32(&header[8], static_cast<uint32_t>(s.Height));
    WriteLE16(&header[12], s.Planes);
    WriteLE16(&header[14], s.Bits);
    WriteLE32(&header[16], s.Compression);
    WriteLE32(&header[20], static_cast<uint32_t>(s.Pixels.size()));
    WriteLE32(&header[24], static_cast<uint32_t>(s.PixelsPerMetreX));
    WriteLE32(&header[28], static_cast<uint32_t>(s.PixelsPerMetreY));
    WriteLE32(&header[32], static_cast<uint32_t>(s.ColorsUsed >= 0 ? s.ColorsUsed : int(s.Palette.size())));
    if (s.HeaderSize >= 52)
      for (size_t i = 0; i < s.Masks.size() && 40 + 4 * i + 4 <= s.HeaderSize; ++i)
        WriteLE32(&header[40 + 4 * i], s.Masks[i]);
  }
  std::vector<uint8_t> tables;
  if (s.HeaderSize == 40)
    for (uint32_t m : s.Masks) tables.insert(tables.end(), {uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16), uint8_t(m >> 24)});
  for (const TLmRGBTriple& c : s.Palette) {
    tables.insert(tables.end(), {c.b, c.g, c.r});
    if (s.HeaderSize != 12) tables.push_back(0);
  }
  std::vector<uint8_t> file(14, 0);
  file[0] = 'B';
  file[1] = 'M';
  const uint32_t offset = static_cast<uint32_t>(14 + header.size() + tables.size());
  WriteLE32(&file[2], static_cast<uint32_t>(offset + s.Pixels.size()));
  WriteLE32(&file[10], offset);
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), tables.begin(), tables.end());
  file.insert(file.end(), s.Pixels.begin(), s.Pixels.end());
  return file;
}

struct TLoaded {
  TImageIO Io;
  bool Aborting = false;
};

void Load(TImageIO& io, const std::vector<uint8_t>& file) {
  TLmByteViewStream stream(file);
  io.LoadImageFromStream(stream);
}

TLmRGBTriple Pixel(TLmBitmap& bitmap, int x, int y) {
  TLmRGBTriple c;
  std::memcpy(&c, bitmap.ScanLine(y) + 3 * x, 3);
  return c;
}

const TLmRGBTriple kRed = TLmRGBTriple::FromRGB(255, 0, 0), kGreen = TLmRGBTriple::FromRGB(0, 255, 0),
                   kBlue = TLmRGBTriple::FromRGB(0, 0, 255), kWhite = TLmRGBTriple::FromRGB(255, 255, 255),
                   kBlack{};

// 2 x 2, 24-bit rows of 8 bytes: stored bottom row first unless top-down.
std::vector<uint8_t> Rows24(TLmRGBTriple a, TLmRGBTriple b, TLmRGBTriple c, TLmRGBTriple d) {
  return {a.b, a.g, a.r, b.b, b.g, b.r, 0, 0, c.b, c.g, c.r, d.b, d.g, d.r, 0, 0};
}

TEST(BmpRead, TopDownAndBottomUpGiveTheSamePicture) {
  TBmpSpec up;
  up.Pixels = Rows24(kBlue, kWhite, kRed, kGreen);  // bottom row: blue, white
  TBmpSpec down = up;
  down.Height = -2;
  down.Pixels = Rows24(kRed, kGreen, kBlue, kWhite);  // top row first
  for (const TBmpSpec& spec : {up, down}) {
    TImageIO io;
    Load(io, MakeBmp(spec));
    ASSERT_FALSE(io.Aborting);
    ASSERT_EQ(io.Bitmap().PixelFormat(), pf24RGB);
    EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kRed);
    EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), kGreen);
    EXPECT_EQ(Pixel(io.Bitmap(), 0, 1), kBlue);
    EXPECT_EQ(Pixel(io.Bitmap(), 1, 1), kWhite);
    EXPECT_EQ(io.Params.Height, 2);
    EXPECT_EQ(io.Params.FileType, ftBMP);
    EXPECT_TRUE(io.Params.FileName.empty());
  }
}

TEST(BmpRead, OneBitTables) {
  // One row "10" (left pixel index 1) and one row "01".
  TBmpSpec spec;
  spec.Bits = 1;
  spec.Pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0};
  // White, black: stored inverted, so 1 must become black.
  spec.Palette = {kWhite, kBlack};
  TImageIO io;
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  ASSERT_EQ(io.Bitmap().PixelFormat(), pf1g);
  EXPECT_EQ(io.Bitmap().ScanLine(0)[0] & 0xC0, 0x40);  // top row: black, white
  EXPECT_EQ(io.Bitmap().ScanLine(1)[0] & 0xC0, 0x80);

  // A coloured table is drawn through the table.
  spec.Palette = {kRed, kBlue};
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  ASSERT_EQ(io.Bitmap().PixelFormat(), pf24RGB);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kBlue);
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), kRed);
}

TEST(BmpRead, FourBitsExpandedOrNative) {
  TBmpSpec spec;
  spec.Bits = 4;
  spec.Palette.resize(16);
  for (int i = 0; i < 16; ++i) spec.Palette[i] = TLmRGBTriple::FromRGB(uint8_t(i * 16), 0, uint8_t(255 - i));
  spec.Pixels = {0x12, 0, 0, 0, 0xF0, 0, 0, 0};
  TImageIO io;
  Load(io, MakeBmp(spec));
  ASSERT_EQ(io.Bitmap().PixelFormat(), pf24RGB);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), spec.Palette[15]);
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 1), spec.Palette[2]);
  EXPECT_EQ(io.Params.BitsPerSample, 4);
  EXPECT_EQ(io.Params.ColorMapCount(), 16);

  io.SetNativePixelFormat(true);
  Load(io, MakeBmp(spec));
  ASSERT_EQ(io.Bitmap().PixelFormat(), pf8p);
  EXPECT_EQ(io.Bitmap().TargetColorCount, 16);
  EXPECT_EQ(io.Bitmap().ScanLine(0)[0], 15);
  EXPECT_EQ(io.Bitmap().ScanLine(1)[1], 2);
  EXPECT_EQ(io.Bitmap().GetPaletteColor(15), spec.Palette[15]);
}

TEST(BmpRead, BitFields) {
  TBmpSpec spec;
  spec.Width = 2;
  spec.Height = 1;
  spec.Bits = 16;
  spec.Compression = 3;
  spec.Masks = {0xF800, 0x07E0, 0x001F};
  spec.Pixels = {0xE0, 0x07, 0x00, 0xF8};  // pure green, pure red
  TImageIO io;
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), TLmRGBTriple::FromRGB(0, 252, 0));
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), TLmRGBTriple::FromRGB(248, 0, 0));

  // Masks inside a 108-byte header, 32 bits in an unusual order.
  spec.HeaderSize = 108;
  spec.Bits = 32;
  spec.Masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the low byte
  spec.Pixels = {10, 20, 30, 0, 40, 50, 60, 0};
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), TLmRGBTriple::FromRGB(10, 20, 30));

  // Overlapping or missing masks are corrupt.
  spec.Masks = {0xFF, 0xFF00, 0};
  Load(io, MakeBmp(spec));
  EXPECT_TRUE(io.Aborting);
}

TEST(BmpRead, ThirtyTwoBitAlpha) {
  TBmpSpec spec;
  spec.Width = 2;
  spec.Height = 1;
  spec.Bits = 32;
  spec.Pixels = {1, 2, 3, 0, 4, 5, 6, 0};
  TImageIO io;
  io.Params.BmpUseAlpha = true;
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  EXPECT_FALSE(io.Bitmap().HasAlphaChannel());  // every fourth byte 0: no alpha

  spec.Pixels = {1, 2, 3, 128, 4, 5, 6, 128};
  io.Params.BmpUseAlpha = true;
  Load(io, MakeBmp(spec));
  ASSERT_TRUE(io.Bitmap().HasAlphaChannel());
  EXPECT_EQ(io.Bitmap().Alpha(1, 0), 128);
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), TLmRGBTriple::FromRGB(6, 5, 4));

  io.Params.BmpUseAlpha = false;
  Load(io, MakeBmp(spec));
  EXPECT_FALSE(io.Bitmap().HasAlphaChannel());
}

TEST(BmpRead, HeaderVariantsAndResolution) {
  struct Case {
    uint32_t headerSize;
    int32_t version;
    const char* description;
  };
  for (const Case& c : {Case{12, 2, "Windows Bitmap (BMP) OS/2 v.1"}, Case{40, 1, "Windows Bitmap (BMP) ver.3"},
                        Case{64, 3, "Windows Bitmap (BMP) OS/2 v.2"}, Case{108, 0, "Windows Bitmap (BMP) ver.1"},
                        Case{124, 0, "Windows Bitmap (BMP) ver.1"}}) {
    TBmpSpec spec;
    spec.HeaderSize = c.headerSize;
    spec.Bits = 8;
    spec.Palette = {kRed, kGreen, kBlue};
    spec.ColorsUsed = 3;
    spec.PixelsPerMetreX = 3780;
    spec.PixelsPerMetreY = 0;
    spec.Pixels = {2, 1, 0, 0, 0, 2, 0, 0};
    if (c.headerSize == 12) spec.Palette.resize(256);  // OS/2 1.x tables are always 2^bits long
    TImageIO io;
    Load(io, MakeBmp(spec));
    ASSERT_FALSE(io.Aborting) << c.headerSize;
    EXPECT_EQ(io.Params.BmpVersion, c.version);
    EXPECT_EQ(io.FileTypeDescription(), c.description);
    // The table is read right after the header, whatever its size.
    EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kRed) << c.headerSize;
    EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), kBlue) << c.headerSize;
    EXPECT_EQ(Pixel(io.Bitmap(), 1, 1), kGreen) << c.headerSize;
    EXPECT_EQ(io.Params.DpiX, c.headerSize == 12 ? 300 : 96);
    EXPECT_EQ(io.Params.DpiY, 300);
  }
}

TEST(BmpRead, LastRowWithoutPaddingIsAccepted) {
  TBmpSpec spec;
  spec.Width = 1;
  spec.Height = 2;
  spec.Pixels = {1, 2, 3, 0, 4, 5, 6};  // the final pad byte is missing
  TImageIO io;
  Load(io, MakeBmp(spec));
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), TLmRGBTriple::FromRGB(6, 5, 4));
}

TEST(BmpRead, ParametersOnlyLeavesTheBitmapAlone) {
  TBmpSpec spec;
  spec.Width = 3;
  spec.Height = 5;
  spec.Pixels.assign(60, 7);
  const auto file = MakeBmp(spec);
  TImageIO io;
  io.Bitmap().Allocate(1, 1, pf8g);
  TLmByteViewStream stream(file);
  io.ReadParamsFromStream(stream);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftBMP);
  EXPECT_EQ(io.Params.Width, 3);
  EXPECT_EQ(io.Params.Height, 5);
  EXPECT_EQ(io.Bitmap().Width(), 1);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(BmpRead, HeaderlessFormStartsAtTheInfoHeader) {
  TBmpSpec spec;
  spec.Pixels = Rows24(kBlue, kWhite, kRed, kGreen);
  auto file = MakeBmp(spec);
  file.erase(file.begin(), file.begin() + 14);
  TImageIO io;
  io.Params.BmpHeaderless = true;
  TLmByteViewStream stream(file);
  io.LoadImageFromStreamAs(stream, ftBMP);  // nothing to detect without "BM"
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kRed);
}

TEST(BmpRead, RleDecoding) {
  TBmpSpec spec;
  spec.Width = 4;
  spec.Height = 2;
  spec.Bits = 8;
  spec.Compression = 1;
  spec.Palette = {kBlack, kRed, kGreen, kBlue};
  // Row 1 (bottom): run of 3 reds, absolute run of 1? no: end of line.
  // Row 0 (top): delta 1 column, absolute run of 3 (2,3,1) + pad, end of bitmap.
  spec.Pixels = {3, 1, 0, 0, 0, 2, 1, 0, 0, 3, 2, 3, 1, 0, 0, 1};
  TImageIO io;
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.BmpCompression, 1);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 1), kRed);
  EXPECT_EQ(Pixel(io.Bitmap(), 2, 1), kRed);
  EXPECT_EQ(Pixel(io.Bitmap(), 3, 1), kBlack);   // skipped: colour 0
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kBlack);   // skipped by the delta
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), kGreen);
  EXPECT_EQ(Pixel(io.Bitmap(), 3, 0), kRed);

  // RLE4: 5 pixels alternating nibbles 1 and 2, end of bitmap.
  spec.Bits = 4;
  spec.Compression = 2;
  spec.Width = 5;
  spec.Height = 1;
  spec.Palette.resize(16);
  spec.Pixels = {5, 0x12, 0, 1};
  Load(io, MakeBmp(spec));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(Pixel(io.Bitmap(), 0, 0), kRed);
  EXPECT_EQ(Pixel(io.Bitmap(), 1, 0), kGreen);
  EXPECT_EQ(Pixel(io.Bitmap(), 4, 0), kRed);
}

// Hostile and corrupt files: each ends with the aborting flag and its
// reason, quickly and without touching memory it does not own (the
// sanitizer build checks that).
TEST(BmpRead, CorruptFilesAbort) {
  auto base = [] {
    TBmpSpec s;
    s.Width = 4;
    s.Height = 2;
    s.Bits = 8;
    s.Palette = {kBlack, kRed};
    s.Pixels.assign(8, 1);
    return s;
  };
  struct Case {
    const char* what;
    std::function<void(TBmpSpec&)> change;
    std::function<void(std::vector<uint8_t>&)> damage;
    TIOFailureKind kind = TIOFailureKind::InvalidData;
  };
  constexpr TIOFailureKind kOverLimit = TIOFailureKind::OverLimit, kUnsupported = TIOFailureKind::Unsupported;
  const std::vector<Case> cases = {
      {"huge width and height", [](TBmpSpec& s) { s.Width = 0x7FFFFFFF; s.Height = 0x7FFFFFFF; }, {}, kOverLimit},
      {"over our dimension ceiling", [](TBmpSpec& s) { s.Width = 1 << 20; s.Height = 1; }, {}, kOverLimit},
      {"negative width", [](TBmpSpec& s) { s.Width = -4; }, {}},
      {"height INT_MIN", [](TBmpSpec& s) { s.Height = INT32_MIN; }, {}},
      {"palette index beyond the table", [](TBmpSpec& s) { s.Pixels[3] = 200; }, {}},
      {"32 bits per pixel claimed by an 8-bit body", [](TBmpSpec& s) { s.Bits = 30000; }, {}},
      {"planes not 1", [](TBmpSpec& s) { s.Planes = 3; }, {}},
      {"unknown header size", [](TBmpSpec& s) { s.HeaderSize = 66; }, {}},
      {"colour table larger than the file", [](TBmpSpec& s) { s.ColorsUsed = 0x10000000; }, {}},
      {"JPEG inside BMP", [](TBmpSpec& s) { s.Compression = 4; }, {}, kUnsupported},
      {"absurd densities", [](TBmpSpec& s) { s.PixelsPerMetreX = 30000000; s.PixelsPerMetreY = 3; }, {}},
      {"RLE run past the right edge", [](TBmpSpec& s) { s.Compression = 1; s.Pixels = {200, 1, 0, 1}; }, {}},
      {"RLE delta below the image",
       [](TBmpSpec& s) { s.Compression = 1; s.Pixels = {0, 2, 0, 200, 1, 1, 0, 1}; }, {}},
      {"RLE absolute run past the edge",
       [](TBmpSpec& s) { s.Compression = 1; s.Pixels = {0, 8, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1}; }, {}},
      {"RLE data ending before the last row", [](TBmpSpec& s) { s.Compression = 1; s.Pixels = {4, 1, 0, 0}; }, {}},
      {"RLE top-down", [](TBmpSpec& s) { s.Compression = 1; s.Height = -2; s.Pixels = {0, 1}; }, {}},
      {"truncated pixel data", {}, [](std::vector<uint8_t>& f) { f.resize(f.size() - 5); }},
      {"truncated in the header", {}, [](std::vector<uint8_t>& f) { f.resize(30); }},
      {"no signature", {}, [](std::vector<uint8_t>& f) { f[0] = 'X'; }},
      {"file size of several GB", {}, [](std::vector<uint8_t>& f) { WriteLE32(&f[2], 0x7E000000); }},
      {"image size of several GB", {}, [](std::vector<uint8_t>& f) { WriteLE32(&f[14 + 20], 0x7E000000); }},
  };
  for (const Case& c : cases) {
    TBmpSpec spec = base();
    if (c.change) c.change(spec);
    auto file = MakeBmp(spec);
    if (c.damage) c.damage(file);
    TImageIO io;
    TLmByteViewStream stream(file);
    io.LoadImageFromStreamAs(stream, ftBMP);
    EXPECT_TRUE(io.Aborting) << c.what;
    EXPECT_EQ(io.LastFailure().Kind, c.kind) << c.what << ": " << io.LastFailure().Describe();
  }
}

// ---- Writer -------------------------------------------------------------------------

// A stream that accepts only so many bytes.
class TShortStream : public TLmMemoryStream {
 public:
  explicit TShortStream(size_t limit) : limit_(limit) {}
  size_t Write(const void* buffer, size_t count) override {
    size_t room = Data().size() >= limit_ ? 0 : limit_ - static_cast<size_t>(Position());
    return TLmMemoryStream::Write(buffer, std::min(count, room));
  }

 private:
  size_t limit_;
};

void FillPattern(TLmBitmap& bitmap, int colors) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      // Runs and literals alike, so that RLE meets both.
      const int v = (x / 3 + y * 7 + (x % 5 == 0)) % colors;
      if (bitmap.PixelFormat() == pf8p) {
        row[x] = static_cast<uint8_t>(v);
      } else {
        row[3 * x] = static_cast<uint8_t>(v * 40);
        row[3 * x + 1] = static_cast<uint8_t>(255 - v * 20);
        row[3 * x + 2] = static_cast<uint8_t>(v * 13);
      }
    }
  }
}

bool SamePixels(TLmBitmap& a, TLmBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  TLmBitmap ca, cb;
  ca.Assign(a);
  cb.Assign(b);
  ca.SetPixelFormat(pf24RGB);
  cb.SetPixelFormat(pf24RGB);
  for (int y = 0; y < a.Height(); ++y) {
    std::vector<uint8_t> row(ca.ScanLine(y), ca.ScanLine(y) + a.Width() * 3);
    if (std::memcmp(row.data(), cb.ScanLine(y), row.size()) != 0) return false;
  }
  return true;
}

TEST(BmpWrite, RoundTripsEveryDepthVersionAndCompression) {
  struct Case {
    int bits;            // what the parameters ask for
    int version;
    int compression;
    int expectedBits;
  };
  const Case cases[] = {{24, 1, 0, 24}, {24, 2, 0, 24}, {24, 3, 0, 24}, {24, 0, 0, 24}, {8, 1, 0, 8},
                        {8, 1, 1, 8},   {8, 2, 1, 8},   {4, 1, 0, 4},   {4, 1, 1, 4},   {4, 3, 1, 4},
                        {1, 1, 0, 1},   {1, 2, 0, 1}};
  for (const Case& c : cases) {
    for (int width : {1, 7, 37}) {
      TImageIO io;
      const int colors = c.bits == 24 ? 6 : 1 << std::min(c.bits, 4);
      io.Bitmap().Allocate(width, 5, c.bits <= 8 ? pf8p : pf24RGB);
      if (c.bits <= 8)
        for (int i = 0; i < 256; ++i) io.Bitmap().SetPaletteColor(i, TLmRGBTriple::FromRGB(uint8_t(i * 15), uint8_t(i * 50), uint8_t(255 - i)));
      FillPattern(io.Bitmap(), colors);
      io.Params.BitsPerSample = c.bits == 24 ? 8 : c.bits;
      io.Params.SamplesPerPixel = c.bits == 24 ? 3 : 1;
      io.Params.BmpVersion = c.version;
      io.Params.BmpCompression = c.compression;
      TLmMemoryStream stream;
      io.SaveImageToStreamAs(stream, ftBMP);
      ASSERT_FALSE(io.Aborting);
      const auto& file = stream.Data();
      ASSERT_EQ(ReadLE32(&file[2]), file.size());
      EXPECT_EQ(ReadLE16(&file[14 + (c.version == 2 ? 10 : 14)]), c.expectedBits);

      TImageIO back;
      stream.SetPosition(0);
      back.LoadImageFromStream(stream);
      ASSERT_FALSE(back.Aborting) << c.bits << "/" << c.version << "/" << c.compression << " width " << width;
      EXPECT_TRUE(SamePixels(io.Bitmap(), back.Bitmap()))
          << c.bits << "/" << c.version << "/" << c.compression << " width " << width;
    }
  }
}

TEST(BmpWrite, RleEightEndsWithEndOfLineAndEndOfBitmap) {
  TImageIO io;
  io.Bitmap().Allocate(3, 2, pf8p);
  FillPattern(io.Bitmap(), 4);
  io.Params.SamplesPerPixel = 1;
  io.Params.BmpCompression = 1;
  TLmMemoryStream stream;
  io.SaveImageToStreamAs(stream, ftBMP);
  const auto& f = stream.Data();
  EXPECT_EQ(ReadLE32(&f[14 + 16]), 1u);
  ASSERT_GE(f.size(), 4u);
  EXPECT_EQ((std::vector<uint8_t>(f.end() - 4, f.end())), (std::vector<uint8_t>{0, 0, 0, 1}));
}

TEST(BmpWrite, AlphaAndResolution) {
  TImageIO io;
  io.Bitmap().Allocate(2, 1, pf24RGB);
  io.Bitmap().Fill(0x102030);
  io.Bitmap().AlphaChannel().Fill(77);
  io.Params.SetDpi(96, 300);
  io.Params.BmpUseAlpha = true;
  TLmMemoryStream stream;
  io.SaveImageToStreamAs(stream, ftBMP);
  const auto& f = stream.Data();
  EXPECT_EQ(ReadLE16(&f[28]), 32);
  EXPECT_EQ(ReadLE32(&f[14 + 24]), 3780u);  // 96 / 2.54 * 100 = 3779.5 -> 3780 (half to even)
  EXPECT_EQ(ReadLE32(&f[14 + 28]), 11811u);
  EXPECT_EQ(f[ReadLE32(&f[10]) + 3], 77);

  TImageIO back;
  back.Params.BmpUseAlpha = true;
  stream.SetPosition(0);
  back.LoadImageFromStream(stream);
  ASSERT_TRUE(back.Bitmap().HasAlphaChannel());
  EXPECT_EQ(back.Bitmap().Alpha(1, 0), 77);
  EXPECT_EQ(back.Params.DpiX, 96);
}

TEST(BmpWrite, TwoColourImagesKeepTheirColours) {
  TImageIO io;
  io.Bitmap().Allocate(9, 3, pf24RGB);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x) std::memcpy(io.Bitmap().ScanLine(y) + 3 * x, (x + y) % 2 ? &kRed : &kBlue, 3);
  io.Params.BitsPerSample = 1;
  TLmMemoryStream stream;
  io.SaveImageToStreamAs(stream, ftBMP);
  ASSERT_FALSE(io.Aborting);
  TImageIO back;
  stream.SetPosition(0);
  back.LoadImageFromStream(stream);
  ASSERT_FALSE(back.Aborting);
  EXPECT_TRUE(SamePixels(io.Bitmap(), back.Bitmap()));
}

TEST(BmpWrite, ShortWriteAbortsAndLeavesHeadersUnpatched) {
  TImageIO io;
  io.Bitmap().Allocate(16, 16, pf24RGB);
  io.Bitmap().Fill(0xFFFFFF);
  TShortStream stream(200);
  io.SaveImageToStreamAs(stream, ftBMP);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(ReadLE32(&stream.Data()[2]), 0u);
}

TEST(BmpWrite, EmptyBitmapAborts) {
  TImageIO io;
  TLmMemoryStream stream;
  io.SaveImageToStreamAs(stream, ftBMP);
  EXPECT_TRUE(io.Aborting);
}

}  // namespace
}  // namespace lumora
