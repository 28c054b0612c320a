// TLmBitmap and TLmMask: geometry, the three storage locations, conversions
// between pixel formats, the alpha channel and whole-image operations.
#include "imageio/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imageio/checked.h"
#include "imageio/cmyk.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace lumora {
namespace {

namespace fs = std::filesystem;

// Restores the process-wide bitmap policy when a test changed it.
class TPolicyGuard {
 public:
  TPolicyGuard() : saved_(BitmapPolicy()) {}
  ~TPolicyGuard() { SetBitmapPolicy(saved_); }

 private:
  TLmBitmapPolicy saved_;
};

// A private temporary folder for the temporary files of one test.
class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("lumora-bitmap-test-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  int FileCount() const {
    int n = 0;
    for (auto& entry : fs::directory_iterator(path_)) n += entry.is_regular_file();
    return n;
  }

 private:
  fs::path path_;
};

// Bytes that differ from row to row and column to column.
uint8_t Pattern(int x, int y) { return static_cast<uint8_t>(x * 7 + y * 13 + 1); }

void WritePattern(TLmBitmap& bmp) {
  for (int y = 0; y < bmp.Height(); ++y) {
    uint8_t* row = bmp.ScanLine(y);
    for (size_t x = 0; x < bmp.RowLen(); ++x) row[x] = Pattern(static_cast<int>(x), y);
  }
}

// Checks the pattern in an order that jumps around, so that the file
// location has to reload rows it wrote earlier.
void ExpectPattern(TLmBitmap& bmp) {
  const size_t bytes = (static_cast<size_t>(bmp.Width()) * bmp.BitCount() + 7) / 8;  // padding carries nothing
  std::vector<int> order;
  for (int y = bmp.Height() - 1; y >= 0; y -= 2) order.push_back(y);
  for (int y = 0; y < bmp.Height(); y += 2) order.push_back(y);
  for (int y : order) {
    const uint8_t* row = bmp.ScanLine(y);
    for (size_t x = 0; x < bytes; ++x)
      ASSERT_EQ(row[x], Pattern(static_cast<int>(x), y)) << "row " << y << " byte " << x;
  }
}

TLmBitmap& SetPixel24(TLmBitmap& bmp, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  uint8_t* p = bmp.ScanLine(y) + x * 3;
  p[0] = b;
  p[1] = g;
  p[2] = r;
  return bmp;
}

TLmRGBTriple Pixel24(TLmBitmap& bmp, int x, int y) {
  TLmRGBTriple c;
  std::memcpy(&c, bmp.ScanLine(y) + x * 3, 3);
  return c;
}

// ---- Geometry -----------------------------------------------------------------

TEST(BitmapGeometry, RowLengthBitsAndChannelsPerFormat) {
  struct Case {
    int width;
    TLmPixelFormat format;
    size_t rowLen;
    int bits, channels;
  } cases[] = {
      {3, pf24RGB, 12, 24, 3}, {9, pf1g, 4, 1, 1},     {1, pfRGB48, 8, 48, 3}, {5, pf8p, 8, 8, 1},
      {5, pf8g, 8, 8, 1},      {3, pf16g, 8, 16, 1},   {2, pf32f, 8, 32, 1},   {2, pfCMYK, 8, 32, 4},
      {2, pfCIELab, 8, 24, 3}, {2, pf32RGB, 8, 32, 4}, {33, pf1g, 8, 1, 1},
  };
  for (const Case& c : cases) {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(c.width, 2, c.format)) << PixelFormatName(c.format);
    EXPECT_EQ(bmp.RowLen(), c.rowLen) << PixelFormatName(c.format);
    EXPECT_EQ(bmp.BitCount(), c.bits);
    EXPECT_EQ(bmp.ChannelCount(), c.channels);
    EXPECT_EQ(bmp.Width(), c.width);
    EXPECT_EQ(bmp.Height(), 2);
    EXPECT_EQ(bmp.PixelFormat(), c.format);
  }
}

TEST(BitmapGeometry, InvalidSizesFailAndLeaveTheBitmapEmpty) {
  const int tooBig = static_cast<int>(kMaxImageDimension + 1);
  struct Case {
    int w, h;
    TLmPixelFormat f;
  } cases[] = {{0, 5, pf24RGB},      {5, 0, pf24RGB}, {-3, 5, pf8g}, {5, 5, pfNone},
               {tooBig, 1, pf8g},   {1, tooBig, pf1g}, {5, 5, static_cast<TLmPixelFormat>(42)}};
  for (const Case& c : cases) {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(4, 4, pf24RGB));
    EXPECT_FALSE(bmp.Allocate(c.w, c.h, c.f)) << c.w << " x " << c.h;
    EXPECT_EQ(bmp.Width(), 0);
    EXPECT_EQ(bmp.Height(), 0);
    EXPECT_TRUE(bmp.IsEmpty());
    EXPECT_EQ(bmp.ScanLine(0), nullptr);
  }
}

TEST(BitmapGeometry, MemoryRowsAreBottomUpInOneAlignedBlock) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(5, 4, pf24RGB));
  EXPECT_EQ(bmp.Location(), locMemory);
  // The bottom row starts the block.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bmp.ScanLine(3)) % 64, 0u);
  EXPECT_EQ(bmp.ScanLine(0), bmp.ScanLine(1) + bmp.RowLen());
}

TEST(BitmapGeometry, UnchangedAllocateKeepsThePixels) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(6, 3, pf8g));
  uint8_t* before = bmp.ScanLine(0);
  before[0] = 77;
  ASSERT_TRUE(bmp.Allocate(6, 3, pf8g));
  EXPECT_EQ(bmp.ScanLine(0), before);
  EXPECT_EQ(bmp.ScanLine(0)[0], 77);
}

TEST(BitmapGeometry, RowAlignmentReLaysRowsAndKeepsPixels) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(3, 5, pf24RGB));
  WritePattern(bmp);
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 5; ++y) rows.emplace_back(bmp.ScanLine(y), bmp.ScanLine(y) + 9);

  bmp.SetRowAlignment(512);
  EXPECT_EQ(bmp.RowLen(), 64u);
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bmp.ScanLine(y)) % 64, 0u);
    EXPECT_EQ(std::vector<uint8_t>(bmp.ScanLine(y), bmp.ScanLine(y) + 9), rows[y]);
  }
  bmp.SetRowAlignment(8);
  EXPECT_EQ(bmp.RowLen(), 9u);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(std::vector<uint8_t>(bmp.ScanLine(y), bmp.ScanLine(y) + 9), rows[y]);
}

// ---- Locations ------------------------------------------------------------------

enum class TStorage { Block, Segments, File };

std::string StorageName(TStorage storage) {
  switch (storage) {
    case TStorage::Block: return "Block";
    case TStorage::Segments: return "Segments";
    default: return "File";
  }
}

class BitmapLocation : public ::testing::TestWithParam<TStorage> {
 protected:
  // Sets the policy and the bitmap up so that a 37 x 50 pf24RGB image
  // (RowLen 112, 5600 bytes) lands in the storage under test.
  void Prepare(TLmBitmap& bmp) {
    TLmBitmapPolicy policy = BitmapPolicy();
    policy.TempDirectory = temp_.Path();
    if (GetParam() == TStorage::Segments) {
      policy.MaxBlockSize = 3000;  // one block cannot be had, 4 segments of 13 rows can
      policy.MinSegmentSize = 0;
    }
    SetBitmapPolicy(policy);
    if (GetParam() == TStorage::File) bmp.SetFileThreshold(0);
  }

  TPolicyGuard guard_;
  TTempDir temp_;
};

TEST_P(BitmapLocation, RowsReadBackAsWritten) {
  TLmBitmap bmp;
  Prepare(bmp);
  ASSERT_TRUE(bmp.Allocate(37, 50, pf24RGB));
  EXPECT_EQ(bmp.Location(), GetParam() == TStorage::File ? locFile : locMemory);
  if (GetParam() == TStorage::Segments) {
    EXPECT_EQ(bmp.ScanLine(1), bmp.ScanLine(0) + bmp.RowLen());  // top-down
  }
  WritePattern(bmp);
  ExpectPattern(bmp);
}

TEST_P(BitmapLocation, WholeImageOperationsMatchMemory) {
  TLmBitmap reference;
  ASSERT_TRUE(reference.Allocate(37, 50, pf24RGB));
  WritePattern(reference);
  reference.AlphaChannel().Fill(200);
  reference.SetAlpha(3, 4, 10);

  TLmBitmap bmp;
  Prepare(bmp);
  bmp.Assign(reference);
  ExpectPattern(bmp);
  EXPECT_EQ(bmp.Alpha(3, 4), 10);
  EXPECT_EQ(bmp.Alpha(5, 4), 200);

  // Conversions and a fill go through whole rows in every location.
  bmp.SetPixelFormat(pfRGB48);
  bmp.SetPixelFormat(pf24RGB);
  ExpectPattern(bmp);
  bmp.Fill(0x123456);
  EXPECT_EQ(Pixel24(bmp, 36, 49), TLmRGBTriple::FromRGB(0x12, 0x34, 0x56));
  EXPECT_EQ(Pixel24(bmp, 0, 0), TLmRGBTriple::FromRGB(0x12, 0x34, 0x56));

  ASSERT_TRUE(bmp.Resize(40, 60));
  EXPECT_EQ(Pixel24(bmp, 36, 49), TLmRGBTriple::FromRGB(0x12, 0x34, 0x56));
  EXPECT_EQ(Pixel24(bmp, 39, 59), TLmRGBTriple{});
  EXPECT_EQ(bmp.Alpha(39, 59), 255);
  EXPECT_EQ(bmp.Alpha(3, 4), 10);
}

INSTANTIATE_TEST_SUITE_P(All, BitmapLocation,
                         ::testing::Values(TStorage::Block, TStorage::Segments, TStorage::File),
                         [](const auto& info) { return StorageName(info.param); });

TEST(BitmapFileLocation, ImageAboveTheThresholdGoesToAFileThatVanishesWithIt) {
  TPolicyGuard guard;
  TTempDir temp;
  TLmBitmapPolicy policy = BitmapPolicy();
  policy.TempDirectory = temp.Path();
  SetBitmapPolicy(policy);
  {
    TLmBitmap bmp;
    bmp.SetFileThreshold(100);
    ASSERT_TRUE(bmp.Allocate(20, 20, pf8g));  // 400 bytes
    EXPECT_EQ(bmp.Location(), locFile);
#ifdef _WIN32
    // Windows keeps the name until the handle closes.
    ASSERT_EQ(temp.FileCount(), 1);
    std::string name = fs::directory_iterator(temp.Path())->path().filename().string();
    ASSERT_EQ(name.size(), 16u) << name;
    EXPECT_EQ(name.substr(0, 4), "IMG-");
    EXPECT_EQ(name.substr(12), ".tmp");
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 4), 12u) << name;
#endif
    // Row 0 written, row 1 fetched, row 0 again: the bytes come back.
    std::memset(bmp.ScanLine(0), 0xAB, bmp.RowLen());
    bmp.ScanLine(1);
    EXPECT_EQ(bmp.ScanLine(0)[7], 0xAB);

    TLmBitmap small;
    small.SetFileThreshold(1000);
    ASSERT_TRUE(small.Allocate(20, 20, pf8g));
    EXPECT_EQ(small.Location(), locMemory);
  }
  EXPECT_EQ(temp.FileCount(), 0);
}

TEST(BitmapFileLocation, AccessDecidesWhatIsReadAndWritten) {
  TPolicyGuard guard;
  TTempDir temp;
  TLmBitmapPolicy policy = BitmapPolicy();
  policy.TempDirectory = temp.Path();
  SetBitmapPolicy(policy);
  TLmBitmap bmp;
  bmp.SetFileThreshold(0);
  ASSERT_TRUE(bmp.Allocate(8, 3, pf8g));
  bmp.Fill(5);
  bmp.SetAccess(accRead);  // rows may be changed in the buffer but are not written back
  bmp.ScanLine(0)[0] = 99;
  bmp.ScanLine(1);
  EXPECT_EQ(bmp.ScanLine(0)[0], 5);
  bmp.SetAccess(accWrite);  // rows are not read: the buffer keeps the last row's bytes
  std::memset(bmp.ScanLine(2), 42, bmp.RowLen());
  EXPECT_EQ(bmp.ScanLine(1)[0], 42);
  bmp.SetAccess(accReadWrite);
  EXPECT_EQ(bmp.ScanLine(1)[0], 42);
  EXPECT_EQ(bmp.ScanLine(2)[0], 42);
  EXPECT_EQ(bmp.ScanLine(0)[0], 5);
  {
    TLmAccessScope readOnly(bmp, accRead);
    EXPECT_EQ(bmp.Access(), accRead);
    bmp.ScanLine(0)[0] = 6;
    bmp.ScanLine(1);
  }
  EXPECT_EQ(bmp.Access(), accReadWrite);
  EXPECT_EQ(bmp.ScanLine(0)[0], 5);
}

TEST(BitmapFileLocation, FallbacksWhenMemoryFails) {
  TPolicyGuard guard;
  TTempDir temp;
  TLmBitmapPolicy policy = BitmapPolicy();
  policy.TempDirectory = temp.Path();
  policy.MaxBlockSize = 64;  // no block or segment can be had
  SetBitmapPolicy(policy);
  {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(30, 30, pf24RGB));
    EXPECT_EQ(bmp.Location(), locFile);
  }
  policy.UseFileFallback = false;
  SetBitmapPolicy(policy);
  TLmBitmap bmp;
  EXPECT_FALSE(bmp.Allocate(30, 30, pf24RGB));
  EXPECT_TRUE(bmp.IsEmpty());
  // Operations other than Allocate report the failure as an exception.
  std::vector<uint8_t> block(32 * 30);
  TLmBitmap wrapped;
  wrapped.WrapMemory(30, 30, pf8g, block.data(), true);
  EXPECT_THROW(wrapped.AlphaChannel(), ELmOutOfMemory);
  EXPECT_THROW(wrapped.SetPixelFormat(pf24RGB), ELmOutOfMemory);
  EXPECT_FALSE(wrapped.HasAlphaChannel());
  EXPECT_EQ(wrapped.PixelFormat(), pf8g);
}

TEST(BitmapFileLocation, UnwritableTemporaryFolderFailsCleanly) {
  TPolicyGuard guard;
  TLmBitmapPolicy policy = BitmapPolicy();
  policy.TempDirectory = fs::temp_directory_path() / "lumora-no-such-folder" / "deeper";
  SetBitmapPolicy(policy);
  TLmBitmap bmp;
  bmp.SetFileThreshold(0);
  ASSERT_TRUE(bmp.Allocate(10, 10, pf8g));  // the file cannot be made: memory takes it
  EXPECT_EQ(bmp.Location(), locMemory);
}

TEST(BitmapLocations, SetLocationMovesPixelsPaletteAndAlpha) {
  TPolicyGuard guard;
  TTempDir temp;
  TLmBitmapPolicy policy = BitmapPolicy();
  policy.TempDirectory = temp.Path();
  SetBitmapPolicy(policy);
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(11, 7, pf8p));
  WritePattern(bmp);
  bmp.SetPaletteColor(9, TLmColor{0x0A0B0C});
  bmp.SetAlpha(2, 3, 33);
  bmp.SetFileThreshold(0);
  bmp.SetLocation(locFile);
  EXPECT_EQ(bmp.Location(), locFile);
  EXPECT_EQ(bmp.AlphaChannel().Location(), locFile);
  ExpectPattern(bmp);
  EXPECT_EQ(bmp.GetPaletteColor(9).ToColor(), 0x0A0B0Cu);
  EXPECT_EQ(bmp.Alpha(2, 3), 33);
  bmp.SetFileThreshold(1 << 20);
  bmp.SetLocation(locMemory);
  EXPECT_EQ(bmp.Location(), locMemory);
  ExpectPattern(bmp);
  EXPECT_EQ(bmp.Alpha(2, 3), 33);
}

// A 20000 x 20000 24-bit picture (1.2 GB) must fit in every build, the
// 32-bit one included: memory, segments or a temporary file take it.
TEST(BitmapLocations, HugeImageCanBeAllocatedAndAddressed) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(20000, 20000, pf24RGB));
  ASSERT_EQ(bmp.RowLen(), 60000u);
  std::memset(bmp.ScanLine(19999), 0x5A, bmp.RowLen());
  std::memset(bmp.ScanLine(0), 0xA5, bmp.RowLen());
  EXPECT_EQ(bmp.ScanLine(19999)[59999], 0x5A);
  EXPECT_EQ(bmp.ScanLine(0)[12345], 0xA5);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(bmp.Location(), locFile);
  }
}

TEST(BitmapLocations, WrapMemoryAdoptsAnOutsideBlockEitherWayUp) {
  std::vector<uint8_t> block(4 * 3, 0);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
  TLmBitmap bmp;
  bmp.WrapMemory(3, 3, pf8g, block.data(), true);
  EXPECT_EQ(bmp.ScanLine(0), block.data());
  EXPECT_EQ(bmp.ScanLine(2)[1], 9);
  bmp.WrapMemory(3, 3, pf8g, block.data(), false);
  EXPECT_EQ(bmp.ScanLine(2), block.data());
  EXPECT_EQ(bmp.ScanLine(0)[1], 9);
  bmp.FreeImage();
  EXPECT_EQ(block[9], 9);  // not owned, not touched
}

// ---- Whole-image operations --------------------------------------------------------

TEST(BitmapCopies, AssignCopiesEverythingButTheLocation) {
  TLmBitmap source;
  ASSERT_TRUE(source.Allocate(13, 9, pf8p));
  WritePattern(source);
  source.SetPaletteColor(200, TLmColor{0xFF8000});
  source.TargetColorCount = 16;
  source.OneBitConversion = 0;
  source.SetAlpha(12, 8, 1);

  TLmBitmap target;
  target.Assign(source);
  EXPECT_EQ(target.Width(), 13);
  EXPECT_EQ(target.PixelFormat(), pf8p);
  ExpectPattern(target);
  EXPECT_EQ(target.GetPaletteColor(200).ToColor(), 0xFF8000u);
  EXPECT_EQ(target.TargetColorCount, 16);
  EXPECT_EQ(target.OneBitConversion, 0);
  EXPECT_EQ(target.Alpha(12, 8), 1);
  EXPECT_NE(target.ScanLine(0), source.ScanLine(0));

  TLmBitmap plain;
  ASSERT_TRUE(plain.Allocate(2, 2, pf24RGB));
  target.Assign(plain);
  EXPECT_FALSE(target.HasAlphaChannel());
  EXPECT_EQ(target.PixelFormat(), pf24RGB);
}

TEST(BitmapCopies, SwapToMovesTheStorageWithoutCopying) {
  TLmBitmap source, target;
  ASSERT_TRUE(source.Allocate(5, 5, pf8g));
  WritePattern(source);
  source.SetAlpha(1, 1, 7);
  uint8_t* row = source.ScanLine(2);
  ASSERT_TRUE(target.Allocate(50, 50, pf24RGB));
  source.SwapTo(target);
  EXPECT_TRUE(source.IsEmpty());
  EXPECT_FALSE(source.HasAlphaChannel());
  EXPECT_EQ(target.ScanLine(2), row);
  EXPECT_EQ(target.PixelFormat(), pf8g);
  EXPECT_EQ(target.Alpha(1, 1), 7);
  ExpectPattern(target);
}

TEST(BitmapCopies, ResizeKeepsTheTopLeftPart) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(10, 3, pf1g));
  for (int y = 0; y < 3; ++y) std::memset(bmp.ScanLine(y), 0xFF, bmp.RowLen());
  ASSERT_TRUE(bmp.Resize(13, 4));
  EXPECT_EQ(bmp.ScanLine(0)[0], 0xFF);
  EXPECT_EQ(bmp.ScanLine(2)[1], 0xC0);  // pixels 8, 9 kept, 10..12 new (black)
  EXPECT_EQ(bmp.ScanLine(3)[0], 0x00);
  bmp.SetHeight(1);
  EXPECT_EQ(bmp.Height(), 1);
  EXPECT_FALSE(bmp.Resize(0, 1));
  EXPECT_EQ(bmp.Width(), 13);
}

// ---- Palette ----------------------------------------------------------------------

TEST(BitmapPalette, EntriesOutsideThePaletteAreIgnored) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(4, 4, pf8p));
  ASSERT_EQ(bmp.PaletteLength(), 256);
  bmp.SetPaletteColor(255, TLmColor{0x010203});
  bmp.SetPaletteColor(256, TLmColor{0xFFFFFF});
  bmp.SetPaletteColor(-1, TLmColor{0xFFFFFF});
  EXPECT_EQ(bmp.PaletteLength(), 256);
  EXPECT_EQ(bmp.GetPaletteColor(255).ToColor(), 0x010203u);
  EXPECT_EQ(bmp.GetPaletteColor(256), TLmRGBTriple{});

  const TLmRGBTriple four[4] = {TLmRGBTriple::FromRGB(1, 2, 3), {}, {}, TLmRGBTriple::FromRGB(9, 9, 9)};
  bmp.SetPalette(four, 4);
  EXPECT_EQ(bmp.PaletteLength(), 256);  // a pf8p image keeps an entry for every index
  EXPECT_EQ(bmp.GetPaletteColor(3), TLmRGBTriple::FromRGB(9, 9, 9));

  TLmBitmap other;
  bmp.TargetColorCount = 4;
  bmp.CopyPaletteTo(other);
  EXPECT_EQ(other.PaletteLength(), 256);
  EXPECT_EQ(other.GetPaletteColor(0), TLmRGBTriple::FromRGB(1, 2, 3));
  EXPECT_EQ(other.TargetColorCount, 4);
}

TEST(BitmapPalette, ColorValuesPackRedHigh) {
  EXPECT_EQ(TLmRGBTriple::FromColor(0x112233), TLmRGBTriple::FromRGB(0x11, 0x22, 0x33));
  EXPECT_EQ(TLmRGBTriple::FromRGB(0x11, 0x22, 0x33).ToColor(), 0x112233u);
  EXPECT_EQ(SwapRedBlue(0x0000FF), 0xFF0000u);  // COLORREF red
}

// ---- Conversions -------------------------------------------------------------------

// Converts a one-pixel pf24RGB image and returns the destination bytes.
std::vector<uint8_t> ConvertPixel(TLmRGBTriple c, TLmPixelFormat to) {
  TLmBitmap bmp;
  EXPECT_TRUE(bmp.Allocate(1, 1, pf24RGB));
  std::memcpy(bmp.ScanLine(0), &c, 3);
  bmp.SetPixelFormat(to);
  EXPECT_EQ(bmp.PixelFormat(), to);
  return std::vector<uint8_t>(bmp.ScanLine(0), bmp.ScanLine(0) + bmp.BitCount() / 8);
}

TEST(BitmapConversion, FromRGB24ToEachFormat) {
  SetCmykProfileEnabled(false);
  const TLmRGBTriple orange = TLmRGBTriple::FromRGB(200, 100, 50);
  // Gray: (200*21 + 100*71 + 50*8) div 100 = 117.
  EXPECT_EQ(ConvertPixel(orange, pf8g), std::vector<uint8_t>({117}));
  // 16-bit gray: (200*54484 + 100*183241 + 50*19275) div 1000 = 30184 = 0x75E8.
  EXPECT_EQ(ConvertPixel(orange, pf16g), std::vector<uint8_t>({0xE8, 0x75}));
  EXPECT_EQ(ConvertPixel(orange, pfRGB48), std::vector<uint8_t>({0xC8, 0xC8, 0x64, 0x64, 0x32, 0x32}));
  EXPECT_EQ(ConvertPixel(orange, pf32RGB), std::vector<uint8_t>({50, 100, 200, 255}));
  EXPECT_EQ(ConvertPixel(TLmRGBTriple::FromRGB(255, 0, 0), pfCMYK), std::vector<uint8_t>({255, 0, 0, 255}));
  EXPECT_EQ(ConvertPixel(TLmRGBTriple{}, pfCMYK), std::vector<uint8_t>({0, 0, 0, 1}));
  EXPECT_EQ(ConvertPixel(TLmRGBTriple::FromRGB(255, 255, 255), pfCIELab), std::vector<uint8_t>({255, 0, 0}));
  SetCmykProfileEnabled(true);

  auto f = ConvertPixel(orange, pf32f);
  float value;
  std::memcpy(&value, f.data(), 4);
  EXPECT_NEAR(value, (200 * 0.2126 + 100 * 0.7152 + 50 * 0.0722) / 255, 1e-6);
}

TEST(BitmapConversion, OneBitSourceGivesExactBlackAndWhite) {
  struct Case {
    TLmPixelFormat to;
    std::vector<uint8_t> black, white;
  } cases[] = {
      {pf8g, {0}, {255}},
      {pf16g, {0, 0}, {255, 255}},
      {pf24RGB, {0, 0, 0}, {255, 255, 255}},
      {pf8p, {0}, {1}},
  };
  for (const Case& c : cases) {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(2, 1, pf1g));
    bmp.ScanLine(0)[0] = 0x40;  // pixel 0 black, pixel 1 white
    bmp.SetPixelFormat(c.to);
    const size_t n = c.black.size();
    const uint8_t* row = bmp.ScanLine(0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + n), c.black) << PixelFormatName(c.to);
    EXPECT_EQ(std::vector<uint8_t>(row + n, row + 2 * n), c.white) << PixelFormatName(c.to);
    if (c.to == pf8p) {
      EXPECT_EQ(bmp.GetPaletteColor(0), TLmRGBTriple::FromRGB(0, 0, 0));
      EXPECT_EQ(bmp.GetPaletteColor(1), TLmRGBTriple::FromRGB(255, 255, 255));
    }
  }
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(1, 1, pf1g));
  bmp.ScanLine(0)[0] = 0x80;
  bmp.SetPixelFormat(pf32f);
  float value;
  std::memcpy(&value, bmp.ScanLine(0), 4);
  EXPECT_EQ(value, 1.0f);
}

TEST(BitmapConversion, OrderedDitherOfWhiteLeavesTheMatrixMaximumBlack) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(16, 16, pf24RGB));
  bmp.Fill(0xFFFFFF);
  bmp.OneBitConversion = 0;
  bmp.SetPixelFormat(pf1g);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool white = bmp.ScanLine(y)[x >> 3] & (0x80 >> (x & 7));
      EXPECT_EQ(white, !(x % 8 == 7 && y % 8 == 0)) << x << "," << y;
    }
}

TEST(BitmapConversion, AutomaticThresholdSplitsTwoLevels) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(8, 2, pf8g));
  for (int x = 0; x < 8; ++x) {
    bmp.ScanLine(0)[x] = static_cast<uint8_t>(60 + x);   // dark
    bmp.ScanLine(1)[x] = static_cast<uint8_t>(180 + x);  // light
  }
  ASSERT_EQ(bmp.OneBitConversion, 1);
  bmp.SetPixelFormat(pf1g);
  EXPECT_EQ(bmp.ScanLine(0)[0], 0x00);
  EXPECT_EQ(bmp.ScanLine(1)[0], 0xFF);
}

TEST(BitmapConversion, RoundTripsThatMustBeLossless) {
  // pf24RGB -> X -> pf24RGB gives the picture back for these formats.
  for (TLmPixelFormat via : {pfRGB48, pf32RGB, pf8p}) {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(16, 4, pf24RGB));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 16; ++x) SetPixel24(bmp, x, y, static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 60), 7);
    bmp.SetPixelFormat(via);
    bmp.SetPixelFormat(pf24RGB);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 16; ++x)
        EXPECT_EQ(Pixel24(bmp, x, y), TLmRGBTriple::FromRGB(static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 60), 7))
            << PixelFormatName(via);
  }
  // Gray formats among themselves keep 8-bit levels.
  for (TLmPixelFormat via : {pf16g, pf32f}) {
    TLmBitmap bmp;
    ASSERT_TRUE(bmp.Allocate(256, 1, pf8g));
    for (int x = 0; x < 256; ++x) bmp.ScanLine(0)[x] = static_cast<uint8_t>(x);
    bmp.SetPixelFormat(via);
    bmp.SetPixelFormat(pf8g);
    for (int x = 0; x < 256; ++x) ASSERT_EQ(bmp.ScanLine(0)[x], x) << PixelFormatName(via);
  }
}

TEST(BitmapConversion, EveryPairOfFormatsConvertsWithoutHarm) {
  for (int from = pf1g; from < kPixelFormatCount; ++from)
    for (int to = pf1g; to < kPixelFormatCount; ++to) {
      TLmBitmap bmp;
      ASSERT_TRUE(bmp.Allocate(9, 3, static_cast<TLmPixelFormat>(from)));
      bmp.Fill(0xFFFFFF);
      if (from == pf8p) bmp.SetPaletteColor(255, TLmColor{0xFFFFFF});
      bmp.SetPixelFormat(static_cast<TLmPixelFormat>(to));
      ASSERT_EQ(bmp.PixelFormat(), to);
      bmp.SetPixelFormat(pf8g);
      EXPECT_GE(bmp.ScanLine(2)[8], 250) << PixelFormatName(static_cast<TLmPixelFormat>(from)) << " -> "
                                          << PixelFormatName(static_cast<TLmPixelFormat>(to));
    }
}

// ---- Alpha channel ------------------------------------------------------------------

TEST(BitmapAlpha, CreatedOnRequestOpaqueAndSameSize) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(7, 5, pf24RGB));
  EXPECT_EQ(bmp.Alpha(6, 4), 255);
  EXPECT_FALSE(bmp.HasAlphaChannel());  // reading did not create it
  TLmBitmap& alpha = bmp.AlphaChannel();
  EXPECT_TRUE(bmp.HasAlphaChannel());
  EXPECT_TRUE(alpha.IsAlphaChannel());
  EXPECT_EQ(alpha.PixelFormat(), pf8g);
  EXPECT_EQ(alpha.Width(), 7);
  EXPECT_EQ(alpha.Height(), 5);
  EXPECT_EQ(alpha.ScanLine(4)[6], 255);
  EXPECT_TRUE(bmp.AlphaIsOpaque());
  bmp.SetAlpha(0, 0, 254);
  EXPECT_FALSE(bmp.AlphaIsOpaque());
  EXPECT_EQ(&alpha.AlphaChannel(), &alpha);  // no alpha channel of its own
  ASSERT_TRUE(bmp.Allocate(3, 3, pf24RGB));
  EXPECT_FALSE(bmp.HasAlphaChannel());
}

TEST(BitmapAlpha, MergeBlendsOverTheBackground) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(3, 1, pf24RGB));
  bmp.Fill(0xC86432);  // 200, 100, 50
  bmp.SetAlpha(0, 0, 255);
  bmp.SetAlpha(1, 0, 0);
  bmp.SetAlpha(2, 0, 128);
  bmp.RemoveAlphaChannel(true, 0x0000FF);
  EXPECT_FALSE(bmp.HasAlphaChannel());
  EXPECT_EQ(Pixel24(bmp, 0, 0), TLmRGBTriple::FromRGB(200, 100, 50));
  EXPECT_EQ(Pixel24(bmp, 1, 0), TLmRGBTriple::FromRGB(0, 0, 255));
  EXPECT_EQ(Pixel24(bmp, 2, 0), TLmRGBTriple::FromRGB(100, 50, 152));
}

TEST(BitmapAlpha, MaskCopiesIntoTheAlphaChannel) {
  TLmBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(4, 3, pf24RGB));
  TLmMask mask;
  ASSERT_TRUE(mask.Allocate(4, 3, 8));
  EXPECT_EQ(mask.RowLen(), 4u);
  EXPECT_EQ(mask.Pixel(0, 0), 0);  // zero-filled
  mask.Fill(255);
  mask.SetPixel(1, 2, 0);
  EXPECT_EQ(mask.ScanLine(2)[1], 0);
  EXPECT_EQ(mask.ScanLine(0), mask.ScanLine(2) + 2 * mask.RowLen());  // stored bottom-up
  EXPECT_FALSE(mask.ScanOpacity());
  EXPECT_EQ(mask.Pixel(-1, 0), 0);
  bmp.SetAlphaFromMask(&mask);
  EXPECT_EQ(bmp.Alpha(1, 2), 0);
  EXPECT_EQ(bmp.Alpha(3, 0), 255);

  TLmMask bits;
  ASSERT_TRUE(bits.Allocate(4, 3, 1));
  bits.SetPixel(3, 1, 255);
  EXPECT_EQ(bits.Pixel(3, 1), 255);
  bmp.SetAlphaFromMask(&bits);
  EXPECT_EQ(bmp.Alpha(3, 1), 255);
  EXPECT_EQ(bmp.Alpha(2, 1), 0);

  bmp.SetAlphaFromMask(nullptr);
  EXPECT_TRUE(bmp.AlphaIsOpaque());

  TLmMask back;
  bmp.SetAlpha(2, 2, 9);
  ASSERT_TRUE(back.AssignAlpha(bmp));
  EXPECT_EQ(back.Pixel(2, 2), 9);
  EXPECT_FALSE(back.Full);
  EXPECT_FALSE(mask.Allocate(0, 3, 8));
  EXPECT_FALSE(mask.Allocate(3, 3, 4));
}

// ---- System bitmaps -------------------------------------------------------------------

#ifdef _WIN32
TEST(BitmapSysBitmap, DibSectionHoldsTheRows) {
  TLmBitmap bmp;
  bmp.SetLocation(locSysBitmap);
  ASSERT_TRUE(bmp.Allocate(5, 4, pf24RGB));
  EXPECT_EQ(bmp.Location(), locSysBitmap);
  WritePattern(bmp);
  HBITMAP handle = static_cast<HBITMAP>(bmp.VclBitmap());
  ASSERT_NE(handle, nullptr);
  DIBSECTION section;
  ASSERT_EQ(GetObjectW(handle, sizeof section, &section), static_cast<int>(sizeof section));
  EXPECT_EQ(section.dsBm.bmWidth, 5);
  EXPECT_EQ(section.dsBmih.biBitCount, 24);
  EXPECT_EQ(static_cast<uint8_t*>(section.dsBm.bmBits), bmp.ScanLine(3));  // bottom-up like the block

  bmp.SetLocation(locMemory);
  ExpectPattern(bmp);
  EXPECT_NE(bmp.VclBitmap(), nullptr);  // moves it back to a DIB section
  EXPECT_EQ(bmp.Location(), locSysBitmap);
  ExpectPattern(bmp);
}

TEST(BitmapSysBitmap, GrayAndPaletteFormats) {
  TLmBitmap bmp;
  bmp.SetLocation(locSysBitmap);
  ASSERT_TRUE(bmp.Allocate(3, 3, pf16g));
  EXPECT_EQ(bmp.PixelFormat(), pf8g);  // a DIB has no 16-bit gray
  EXPECT_EQ(bmp.GetPaletteColor(77), TLmRGBTriple::FromRGB(77, 77, 77));

  // An image moved there converts its 16-bit levels.
  TLmBitmap deep;
  ASSERT_TRUE(deep.Allocate(2, 1, pf16g));
  deep.ScanLine(0)[0] = 0x34;
  deep.ScanLine(0)[1] = 0x12;
  deep.ScanLine(0)[2] = 0xFF;
  deep.ScanLine(0)[3] = 0xEE;
  ASSERT_NE(deep.VclBitmap(), nullptr);
  EXPECT_EQ(deep.PixelFormat(), pf8g);
  EXPECT_EQ(deep.ScanLine(0)[0], 0x12);
  EXPECT_EQ(deep.ScanLine(0)[1], 0xEE);

  TLmBitmap adopted;
  adopted.EncapsulateTBitmap(bmp.VclBitmap());
  EXPECT_EQ(adopted.PixelFormat(), pf8g);
  EXPECT_EQ(adopted.ScanLine(1), bmp.ScanLine(1));
  adopted.FreeImage();
  EXPECT_NE(bmp.ScanLine(1), nullptr);
  bmp.ScanLine(1)[0] = 5;  // still owned and alive
}

TEST(BitmapSysBitmap, FormatsThatCannotLiveThereRaise) {
  struct Case {
    TLmPixelFormat format;
    const char* message;
  } cases[] = {
      {pf32f, "pf32f pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false."},
      {pfCMYK, "pfCMYK pixel format not allowed when Location=locSysBitmap. Please set TImageView.LegacyBitmap=false."},
      {pfRGB48, "pfRGB48 pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false."},
      {pfCIELab, "pfCIELab pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false."},
  };
  for (const Case& c : cases) {
    TLmBitmap bmp;
    bmp.SetLocation(locSysBitmap);
    try {
      bmp.Allocate(2, 2, c.format);
      ADD_FAILURE() << "no error for " << PixelFormatName(c.format);
    } catch (const ELmBitmapError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}
#endif

}  // namespace
}  // namespace lumora
