// PNM reader and writer: the six variants, maximum values and their
// scaling, comments, the writer's variants read back by us and by netpbm,
// and hostile files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/pnm/pnm.h"
#include "external_decoder.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

struct TLoaded {
  TLmBitmap Bitmap;
  TIOParamsVals Params;
  bool Aborting = false;
  TIOFailure Failure;
};

void Load(const std::vector<uint8_t>& file, TLoaded& out, bool native = false) {
  TImageIO io(out.Bitmap);
  io.Params.NativePixelFormat = native;
  TLmByteViewStream stream(file);
  io.LoadImageFromStreamAs(stream, ftPXM);
  out.Params = io.Params;
  out.Aborting = io.Aborting;
  out.Failure = io.LastFailure();
}

// Red, green, blue of one pixel.
std::vector<int> Rgb(TLmBitmap& bitmap, int x, int y) {
  TLmBitmap rgb;
  rgb.Assign(bitmap);
  rgb.SetPixelFormat(pf24RGB);
  const uint8_t* p = rgb.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}
std::vector<int> Gray(int v) { return {v, v, v}; }

TEST(PnmRead, HeaderTokensAndComments) {
  TLoaded t;
  // Comments between width and height, a zero that is no value, tabs.
  Load(Bytes("P2\t# first\n3 #second comment  \n0 1\n15\n0 7 15\n"), t);
  ASSERT_FALSE(t.Aborting) << t.Failure.Describe();
  EXPECT_EQ(t.Params.PxmComments, (std::vector<std::string>{"first", "second comment"}));
  EXPECT_EQ(t.Bitmap.Width(), 3);
  EXPECT_EQ(t.Bitmap.Height(), 1);
  EXPECT_EQ(t.Params.BitsPerSample, 8);
  EXPECT_EQ(t.Params.SamplesPerPixel, 1);
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), Gray(119));  // trunc(7 / 15 * 255)
  EXPECT_EQ(Rgb(t.Bitmap, 2, 0), Gray(255));

  // A header of thousands of comments keeps the first thousand.
  std::string many = "P5\n";
  for (int i = 0; i < 5000; ++i) many += "#c\n";
  Load(Bytes(many + "1 1 255\n\x07"), t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(t.Params.PxmComments.size(), 1000u);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), Gray(7));

  // The comments of the last read only.
  Load(Bytes("P3 1 1 255 1 2 3"), t);
  EXPECT_TRUE(t.Params.PxmComments.empty());
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), (std::vector<int>{1, 2, 3}));
}

TEST(PnmRead, PlainBitsWithAndWithoutSeparators) {
  TLoaded a, b;
  Load(Bytes("P1 3 2\n0 1 0\n1 1 0\n"), a);
  Load(Bytes("P1 3 2\n010\n# a comment 1111\n110"), b);
  ASSERT_FALSE(a.Aborting);
  ASSERT_FALSE(b.Aborting);
  for (TLoaded* t : {&a, &b}) {
    EXPECT_EQ(t->Bitmap.PixelFormat(), pf1g);
    EXPECT_EQ(Rgb(t->Bitmap, 0, 0), Gray(255));
    EXPECT_EQ(Rgb(t->Bitmap, 1, 0), Gray(0));
    EXPECT_EQ(Rgb(t->Bitmap, 0, 1), Gray(0));
    EXPECT_EQ(Rgb(t->Bitmap, 2, 1), Gray(255));
  }
}

TEST(PnmRead, BinaryBitsAreInverted) {
  std::vector<uint8_t> file = Bytes("P4\n10 2\n");
  file.insert(file.end(), {0b10000000, 0b01000000, 0x00, 0xFF});
  TLoaded t;
  Load(file, t);
  ASSERT_FALSE(t.Aborting);
  EXPECT_EQ(Rgb(t.Bitmap, 0, 0), Gray(0));
  EXPECT_EQ(Rgb(t.Bitmap, 1, 0), Gray(255));
  EXPECT_EQ(Rgb(t.Bitmap, 9, 0), Gray(0));
  EXPECT_EQ(Rgb(t.Bitmap, 0, 1), Gray(255));
}

TEST(PnmRead, BinarySamplesAreScaledByTheMaximum) {
  const struct {
    const char* Name;
    std::string Header;
    std::vector<uint8_t> Samples;
    bool Native;
    TLmPixelFormat Format;
    std::vector<int> First, Second;  // as 8-bit colour
  } cases[] = {
      {"P5 15", "P5 2 1 15\n", {15, 7}, false, pf24RGB, Gray(255), Gray(119)},
      {"P5 255", "P5 2 1 255\n", {200, 7}, false, pf24RGB, Gray(200), Gray(7)},
      {"P5 1000", "P5 2 1 1000\n", {0x03, 0xE8, 0x01, 0xF4}, false, pf24RGB, Gray(255), Gray(127)},
      {"P5 1000 native", "P5 2 1 1000\n", {0x03, 0xE8, 0x01, 0xF4}, true, pf16g, Gray(255), Gray(127)},
      {"P6 100", "P6 2 1 100\n", {100, 50, 0, 1, 2, 3}, false, pf24RGB, {255, 127, 0}, {2, 5, 7}},
      {"P6 65535", "P6 1 1 65535\n", {0xFF, 0xFF, 0x80, 0x00, 0x01, 0x01}, false, pf24RGB, {255, 127, 1}, {}},
      {"P6 65535 native", "P6 1 1 65535\n", {0xFF, 0xFF, 0x80, 0x00, 0x01, 0x01}, true, pfRGB48, {255, 128, 1}, {}},
      // Samples above the maximum count as the maximum.
      {"P5 over", "P5 2 1 100\n", {200, 100}, false, pf24RGB, Gray(255), Gray(255)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> file = Bytes(c.Header);
    file.insert(file.end(), c.Samples.begin(), c.Samples.end());
    TLoaded t;
    Load(file, t, c.Native);
    ASSERT_FALSE(t.Aborting) << t.Failure.Describe();
    EXPECT_EQ(t.Bitmap.PixelFormat(), c.Format);
    EXPECT_EQ(Rgb(t.Bitmap, 0, 0), c.First);
    if (!c.Second.empty()) {
      EXPECT_EQ(Rgb(t.Bitmap, 1, 0), c.Second);
    }
  }
  // The native 16-bit forms keep the full range: 500 of 1000 is 32767.
  std::vector<uint8_t> file = Bytes("P5 1 1 1000\n");
  file.insert(file.end(), {0x01, 0xF4});
  TLoaded t;
  Load(file, t, true);
  EXPECT_EQ(ReadLE16(t.Bitmap.ScanLine(0)), 32767);
  EXPECT_EQ(t.Params.BitsPerSample, 16);
}

TEST(PnmRead, BrokenHeadersFailBeforeAllocating) {
  const struct {
    const char* Name;
    std::string File;
    TIOFailureKind Kind;
  } cases[] = {
      {"unknown magic", "P7 2 2 255\n1234", TIOFailureKind::InvalidData},
      {"no height", "P5 2", TIOFailureKind::InvalidData},
      {"maximum 0 then nothing", "P5 2 2 0", TIOFailureKind::InvalidData},
      {"maximum above 65535", "P5 2 2 65536\n1234", TIOFailureKind::InvalidData},
      {"text width", "P6 wide 2 255\n", TIOFailureKind::InvalidData},
      {"side over the limit", "P5 9999999 1 255\n", TIOFailureKind::OverLimit},
      {"huge image, no data", "P6 60000 60000 255\n", TIOFailureKind::InvalidData},
      {"huge text image", "P2 60000 60000 255\n1 2 3", TIOFailureKind::InvalidData},
  };
  for (const auto& c : cases) {
    TLoaded t;
    Load(Bytes(c.File), t);
    EXPECT_TRUE(t.Aborting) << c.Name;
    EXPECT_EQ(t.Failure.Kind, c.Kind) << c.Name << ": " << t.Failure.Describe();
    EXPECT_TRUE(t.Bitmap.IsEmpty()) << c.Name;
  }
}

TEST(PnmRead, TruncatedFilesKeepTheRowsRead) {
  for (const std::string& file : {std::string("P5 2 3 255\n\x10\x20\x30"), std::string("P2 2 3 255\n16 32 48")}) {
    TLoaded t;
    Load(Bytes(file), t);
    EXPECT_TRUE(t.Aborting) << file;
    EXPECT_EQ(t.Failure.Kind, TIOFailureKind::InvalidData);
    ASSERT_EQ(t.Bitmap.Height(), 3);
    EXPECT_EQ(Rgb(t.Bitmap, 1, 0), Gray(32));
    EXPECT_EQ(Rgb(t.Bitmap, 0, 1), Gray(48));
    EXPECT_EQ(Rgb(t.Bitmap, 0, 2), Gray(0));
  }
}

// ---- Writer ------------------------------------------------------------------

void FillPicture(TLmBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 25);
      row[3 * x + 1] = static_cast<uint8_t>(y * 60 + 3);
      row[3 * x + 2] = static_cast<uint8_t>(255 - x * 20);
    }
  }
}

std::vector<uint8_t> Save(TImageIO& io) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftPXM);
  EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
  return out.Data();
}

TEST(PnmWrite, HeaderTextWithComments) {
  TImageIO io;
  FillPicture(io.Bitmap(), 640, 480);
  const std::vector<uint8_t> plain = Save(io);
  EXPECT_EQ(std::string(plain.begin(), plain.begin() + 15), "P6 640 480 255\n");
  EXPECT_EQ(plain.size(), 15u + 640 * 480 * 3);

  io.Params.PxmComments = {"made by us", "two\nlines"};
  const std::vector<uint8_t> commented = Save(io);
  const std::string header = "P6 \n# made by us\n\n# two lines\n640 480 255\n";
  EXPECT_EQ(std::string(commented.begin(), commented.begin() + static_cast<ptrdiff_t>(header.size())), header);
  TLoaded t;
  Load(commented, t);
  EXPECT_EQ(t.Params.PxmComments, (std::vector<std::string>{"made by us", "two lines"}));
}

// Each variant the writer chooses, read back by us and by netpbm.
TEST(PnmWrite, EveryVariantRoundTrips) {
  const struct {
    const char* Name;
    TLmPixelFormat Format;
    int BitsPerSample, SamplesPerPixel;
    std::string Magic;
    int MaxValue;
  } cases[] = {
      {"bits", pf1g, 1, 1, "P4", 1},
      {"gray", pf24RGB, 8, 1, "P5", 255},
      {"16-bit gray", pf16g, 16, 1, "P5", 65535},
      {"colour", pf24RGB, 8, 3, "P6", 255},
      {"colour as 16 bits", pf24RGB, 16, 3, "P6", 65535},
      {"48-bit colour", pfRGB48, 16, 3, "P6", 65535},
      {"palette", pf8p, 8, 3, "P6", 255},
  };
  const fs::path dir = fs::temp_directory_path() / "lumora_pnm_roundtrip";
  fs::create_directories(dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageIO io;
    FillPicture(io.Bitmap(), 11, 3);
    io.Bitmap().SetPixelFormat(c.Format);
    io.Params.BitsPerSample = c.BitsPerSample;
    io.Params.SamplesPerPixel = c.SamplesPerPixel;
    const std::vector<uint8_t> file = Save(io);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 2), c.Magic);

    TLoaded t;
    Load(file, t, true);
    ASSERT_FALSE(t.Aborting) << t.Failure.Describe();
    const bool gray = c.Magic == "P5";
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 11; ++x) {
        std::vector<int> expected = Rgb(io.Bitmap(), x, y);
        if (gray && c.Format != pf16g) expected = Gray((expected[0] * 21 + expected[1] * 71 + expected[2] * 8) / 100);
        ASSERT_EQ(Rgb(t.Bitmap, x, y), expected) << x << "," << y;
      }
    if (c.Format == pfRGB48 || c.Format == pf16g) {
      // The 16-bit words survive unchanged.
      ASSERT_EQ(t.Bitmap.PixelFormat(), c.Format);
      const size_t bytes = static_cast<size_t>(11) * (c.Format == pf16g ? 2 : 6);
      EXPECT_EQ(std::memcmp(t.Bitmap.ScanLine(2), io.Bitmap().ScanLine(2), bytes), 0);
    }

#ifndef _WIN32
    if (!fs::exists("/usr/bin/pamdepth")) continue;
    const fs::path path = dir / (std::string("v") + std::to_string(&c - cases) + ".pnm");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    auto out = test::CommandOutput("/usr/bin/pamdepth 255 '" + path.string() + "' 2>/dev/null | /usr/bin/ppmtoppm");
    auto ref = out ? test::ParsePnm(*out) : std::nullopt;
    ASSERT_TRUE(ref);
    TLmBitmap ours;
    ours.Assign(t.Bitmap);
    ours.SetPixelFormat(pf24RGB);
    // 16-bit samples become 8 bits by truncation here, by rounding in pamdepth.
    const int allowed = c.MaxValue == 65535 ? 1 : 0;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 11; ++x)
        for (int k = 0; k < 3; ++k)
          ASSERT_LE(std::abs(ours.ScanLine(y)[3 * x + 2 - k] - ref->Pixels[(y * 11 + x) * 3 + k]), allowed)
              << x << "," << y;
#endif
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace lumora
