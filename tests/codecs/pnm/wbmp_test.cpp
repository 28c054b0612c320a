// WBMP reader and writer: multi-byte sizes, the writer's size limit and
// scaling, read back by us and by netpbm, and hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "external_decoder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

struct TLoaded {
  TLmBitmap Bitmap;
  TIOParamsVals Params;
  bool Aborting = false;
  TIOFailure Failure;
};

void Load(const std::vector<uint8_t>& file, TLoaded& out) {
  TImageIO io(out.Bitmap);
  TLmByteViewStream stream(file);
  io.LoadImageFromStreamAs(stream, ftWBMP);
  out.Params = io.Params;
  out.Aborting = io.Aborting;
  out.Failure = io.LastFailure();
}

bool White(TLmBitmap& bitmap, int x, int y) { return (bitmap.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }

TEST(WbmpRead, MultiByteWidth) {
  std::vector<uint8_t> file = {0, 0, 0x82, 0x2C, 2};
  std::vector<uint8_t> rows(2 * 38, 0);
  rows[0] = 0x80;        // first pixel of row 0 white
  rows[38 + 37] = 0x10;  // pixel 299 of row 1 white
  file.insert(file.end(), rows.begin(), rows.end());
  TLoaded t;
  Load(file, t);
  ASSERT_FALSE(t.Aborting) << t.Failure.Describe();
  EXPECT_EQ(t.Bitmap.Width(), 300);
  EXPECT_EQ(t.Bitmap.Height(), 2);
  EXPECT_EQ(t.Params.BitsPerSample, 1);
  EXPECT_EQ(t.Params.DpiX, 300);
  EXPECT_TRUE(White(t.Bitmap, 0, 0));
  EXPECT_FALSE(White(t.Bitmap, 1, 0));
  EXPECT_TRUE(White(t.Bitmap, 299, 1));
}

TEST(WbmpRead, BrokenFilesFail) {
  const struct {
    const char* Name;
    std::vector<uint8_t> File;
    TIOFailureKind Kind;
  } cases[] = {
      {"type 1", {1, 0, 8, 1, 0xFF}, TIOFailureKind::Unsupported},
      {"fixed header", {0, 2, 8, 1, 0xFF}, TIOFailureKind::Unsupported},
      {"zero width", {0, 0, 0, 1, 0xFF}, TIOFailureKind::InvalidData},
      {"five-byte size", {0, 0, 0x81, 0x81, 0x81, 0x81, 0x01, 1}, TIOFailureKind::InvalidData},
      {"header cut short", {0, 0, 8}, TIOFailureKind::InvalidData},
      {"side over the limit", {0, 0, 0xFF, 0xFF, 0x7F, 1}, TIOFailureKind::OverLimit},
      {"huge image, no data", {0, 0, 0x83, 0x8D, 0x20, 0x83, 0x8D, 0x20, 0}, TIOFailureKind::InvalidData},
  };
  for (const auto& c : cases) {
    TLoaded t;
    Load(c.File, t);
    EXPECT_TRUE(t.Aborting) << c.Name;
    EXPECT_EQ(t.Failure.Kind, c.Kind) << c.Name << ": " << t.Failure.Describe();
    EXPECT_TRUE(t.Bitmap.IsEmpty()) << c.Name;
  }
}

TEST(WbmpRead, TruncatedFileKeepsTheRowsRead) {
  TLoaded t;
  Load({0, 0, 8, 3, 0xFF, 0x0F}, t);
  EXPECT_TRUE(t.Aborting);
  ASSERT_EQ(t.Bitmap.Height(), 3);
  EXPECT_TRUE(White(t.Bitmap, 0, 0));
  EXPECT_TRUE(White(t.Bitmap, 7, 1));
  EXPECT_FALSE(White(t.Bitmap, 0, 1));
  EXPECT_FALSE(White(t.Bitmap, 7, 2));
}

std::vector<uint8_t> Save(TImageIO& io) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftWBMP);
  EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
  return out.Data();
}

TEST(WbmpWrite, SmallImageAsIsReadBackByNetpbm) {
  TImageIO io;
  ASSERT_TRUE(io.Bitmap().Allocate(9, 2, pf1g));
  io.Bitmap().ScanLine(0)[0] = 0xA5, io.Bitmap().ScanLine(0)[1] = 0x80;
  io.Bitmap().ScanLine(1)[0] = 0x0F, io.Bitmap().ScanLine(1)[1] = 0x00;
  const std::vector<uint8_t> file = Save(io);
  EXPECT_EQ(file, (std::vector<uint8_t>{0, 0, 9, 2, 0xA5, 0x80, 0x0F, 0x00}));
  TLoaded t;
  Load(file, t);
  ASSERT_FALSE(t.Aborting);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(White(t.Bitmap, x, y), White(io.Bitmap(), x, y)) << x << "," << y;

#ifndef _WIN32
  if (!fs::exists("/usr/bin/wbmptopbm")) return;
  const fs::path path = fs::temp_directory_path() / "lumora_wbmp_roundtrip.wbmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  auto out = test::CommandOutput("/usr/bin/wbmptopbm '" + path.string() + "' | /usr/bin/pamdepth 255 2>/dev/null | /usr/bin/ppmtoppm");
  fs::remove(path);
  auto ref = out ? test::ParsePnm(*out) : std::nullopt;
  ASSERT_TRUE(ref);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(ref->Pixels[(y * 9 + x) * 3] == 255, White(io.Bitmap(), x, y)) << x << "," << y;
#endif
}

TEST(WbmpWrite, LargeImagesAreScaledToFit255) {
  TImageIO io;
  ASSERT_TRUE(io.Bitmap().Allocate(300, 100, pf1g));
  io.Bitmap().Fill(0xFFFFFF);
  const std::vector<uint8_t> file = Save(io);
  ASSERT_GE(file.size(), 5u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 5), (std::vector<uint8_t>{0, 0, 0x81, 0x7F, 0x55}));
  EXPECT_EQ(file.size(), 5u + 32 * 85);
  EXPECT_EQ(file[5], 0xFF);  // white stays white
  EXPECT_EQ(io.Bitmap().Width(), 300);
  EXPECT_EQ(io.Bitmap().Height(), 100);

  // Colour images are converted; tall ones keep their height at 255.
  TImageIO tall;
  ASSERT_TRUE(tall.Bitmap().Allocate(20, 510, pf24RGB));
  tall.Bitmap().Fill(0);
  const std::vector<uint8_t> scaled = Save(tall);
  EXPECT_EQ(std::vector<uint8_t>(scaled.begin(), scaled.begin() + 5), (std::vector<uint8_t>{0, 0, 10, 0x81, 0x7F}));
  EXPECT_EQ(tall.Bitmap().PixelFormat(), pf24RGB);
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// The fuzzers' seeds and the inputs they kept load, or fail with a reason.
TEST(PnmAndWbmpRead, FuzzInputsLoadOrFailWithAReason) {
  const fs::path root = fs::path(LUMORA_TEST_DATA_DIR).parent_path().parent_path();
  int count = 0;
  for (const auto& [name, type] : {std::pair{"pnm", ftPXM}, std::pair{"wbmp", ftWBMP}}) {
    for (const fs::path& dir : {root / "fuzz" / "seeds" / name, root / "out" / "fuzz" / (std::string(name) + "_fuzz")}) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(dir, ec)) {
        TImageIO io;
        io.LoadImageAs(entry.path(), type);
        if (io.Aborting) {
          EXPECT_NE(io.LastFailure().Kind, TIOFailureKind::None) << entry.path();
          EXPECT_NE(io.LastFailure().Kind, TIOFailureKind::Cancelled) << entry.path();
        }
        ++count;
      }
    }
  }
  EXPECT_GE(count, 8);
}

}  // namespace
}  // namespace lumora
