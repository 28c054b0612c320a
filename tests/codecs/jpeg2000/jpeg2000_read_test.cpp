// The reader beyond conformance: parameters, reduced resolution, the
// 16-bit pixel formats, and hostile input that must end with a reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codecs/jpeg2000/jpeg2000.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"
#include "j2k_test_util.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

const fs::path kInputs = fs::path(LUMORA_CORPUS_DIR) / "jpeg2000" / "input";

#define REQUIRE_SUITE()                                                                   \
  ASSERT_TRUE(fs::exists(kInputs)) << "no conformance suite at " << kInputs;

TEST(Jpeg2000Read, ParametersOnlyLeavesTheBitmap) {
  REQUIRE_SUITE();
  TImageIO io;
  io.ReadParams(kInputs / "file7.jp2");  // 16-bit RGB
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  EXPECT_EQ(io.Params.FileType, ftJP2);
  EXPECT_EQ(io.Params.Width, 480);
  EXPECT_EQ(io.Params.Height, 640);
  EXPECT_EQ(io.Params.OriginalWidth, 480);
  EXPECT_EQ(io.Params.BitsPerSample, 16);
  EXPECT_EQ(io.Params.SamplesPerPixel, 3);
  EXPECT_EQ(io.Params.DpiX, 300);
  EXPECT_EQ(io.Params.ImageCount, 1);
  EXPECT_TRUE(io.Bitmap().IsEmpty());

  // A palette image has one index component that becomes RGB: the
  // parameters say so before the decode too.
  io.ReadParams(kInputs / "file9.jp2");
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  const int samples = io.Params.SamplesPerPixel;
  io.LoadImage(kInputs / "file9.jp2");
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.SamplesPerPixel, 3);
  EXPECT_EQ(samples, 3);
}

// Each reduction halves the picture and gives what opj_decompress -r gives.
TEST(Jpeg2000Read, ReducedResolutionMatchesTheDecoder) {
  REQUIRE_SUITE();
  const fs::path file = kInputs / "p0_05.j2k";  // 1024 x 1024, subsampled chroma
  for (int reduce : {1, 2, 3}) {
    SCOPED_TRACE(reduce);
    TImageIO io;
    io.Params.J2000Reduce = reduce;
    io.LoadImage(file);
    ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
    EXPECT_EQ(io.Bitmap().Width(), 1024 >> reduce);
    EXPECT_EQ(io.Bitmap().Height(), 1024 >> reduce);
    EXPECT_EQ(io.Params.OriginalWidth, 1024);
    EXPECT_EQ(io.Params.J2000ReduceUsed, reduce);
    const auto planes = test::DecodeWithOpenJpeg(file, "-r " + std::to_string(reduce));
#ifndef _WIN32
    ASSERT_TRUE(planes);
#endif
    if (planes) {
      EXPECT_EQ(test::PeakDifference(io.Bitmap(), *planes), 0);
    }
  }
}

TEST(Jpeg2000Read, AutomaticAndClampedReduction) {
  REQUIRE_SUITE();
  const fs::path file = kInputs / "zoo2.jp2";  // a 1953 x 1301 picture
  const struct {
    int Reduce, WantW, WantH, Used;
  } cases[] = {
      {kJ2000ReduceAuto, 200, 200, 2},  // 489 x 326; at 1/8 it would be 245 x 163
      {kJ2000ReduceAuto, 0, 0, 0},      // no wanted size: the whole picture
      {kJ2000ReduceAuto, 1953, 1301, 0},
      {30, 0, 0, -1},                   // beyond the levels there are: the most there are
  };
  TImageIO full;
  full.ReadParams(file);
  ASSERT_FALSE(full.Aborting);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Reduce);
    TImageIO io;
    io.Params.J2000Reduce = c.Reduce;
    io.Params.Width = c.WantW;
    io.Params.Height = c.WantH;
    io.LoadImage(file);
    ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
    if (c.Used >= 0) {
      EXPECT_EQ(io.Params.J2000ReduceUsed, c.Used);
    } else {
      EXPECT_GT(io.Params.J2000ReduceUsed, 2);
    }
    const int used = io.Params.J2000ReduceUsed;
    EXPECT_EQ(io.Bitmap().Width(), (full.Params.Width + (1 << used) - 1) >> used);
    EXPECT_GE(io.Bitmap().Width(), c.WantW);
    EXPECT_GE(io.Bitmap().Height(), c.WantH);
  }
}

// With native pixel formats, samples wider than 8 bits keep 16 of them.
TEST(Jpeg2000Read, NativeSixteenBitFormats) {
  REQUIRE_SUITE();
  const struct {
    const char* File;
    TLmPixelFormat Format;
  } cases[] = {{"file6.jp2", pf16g}, {"file7.jp2", pfRGB48}, {"p0_01.j2k", pf8g}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    TImageIO io;
    io.Params.NativePixelFormat = true;
    io.LoadImage(kInputs / c.File);
    ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
    ASSERT_EQ(io.Bitmap().PixelFormat(), c.Format);
    const fs::path bare = fs::temp_directory_path() / (std::string("lumora_j2k_native_") + c.File + ".j2k");
    fs::path input = kInputs / c.File;
    if (input.extension() == ".jp2") {
      ASSERT_TRUE(test::ExtractCodeStream(input, bare));
      input = bare;
    }
    const auto planes = test::DecodeWithOpenJpeg(input);
    fs::remove(bare);
#ifndef _WIN32
    ASSERT_TRUE(planes);
#endif
    if (!planes) continue;
    const int channels = c.Format == pfRGB48 ? 3 : 1;
    int mismatches = 0;
    for (int y = 0; y < io.Bitmap().Height(); ++y) {
      const uint8_t* row = io.Bitmap().ScanLine(y);
      for (int x = 0; x < io.Bitmap().Width(); ++x)
        for (int ch = 0; ch < channels; ++ch) {
          const test::TPlane& plane = (*planes)[ch];
          const int sample = plane.Samples[static_cast<size_t>(y) * plane.Width + x];
          const int shown = c.Format == pf8g ? row[x] : ReadLE16(row + 2 * (x * channels + ch));
          const int bits = c.Format == pf8g ? 8 : 16;
          const int expected = plane.Precision >= bits ? sample >> (plane.Precision - bits)
                                                       : (sample * ((1 << bits) - 1) + ((1 << plane.Precision) - 1) / 2) /
                                                             ((1 << plane.Precision) - 1);
          mismatches += shown != expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// A small valid code stream of our own, for the hostile variations.
std::vector<uint8_t> SmallCodeStream(int components) {
  TImageIO io;
  EXPECT_TRUE(io.Bitmap().Allocate(16, 8, pf24RGB));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 48; ++x) io.Bitmap().ScanLine(y)[x] = static_cast<uint8_t>(x * 5 + y);
  io.Params.J2000ColorSpace = components == 1 ? kJ2000Gray : kJ2000RGB;
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftJ2K);
  EXPECT_FALSE(io.Aborting);
  return out.Data();
}

// SIZ: FF4F FF51 Lsiz(2) Rsiz(2) Xsiz Ysiz XOsiz YOsiz XTsiz YTsiz XTOsiz YTOsiz (4 each).
void SetSize(std::vector<uint8_t>& j2k, uint32_t width, uint32_t height, uint32_t tileW, uint32_t tileH) {
  WriteBE32(&j2k[8], width);
  WriteBE32(&j2k[12], height);
  WriteBE32(&j2k[24], tileW);
  WriteBE32(&j2k[28], tileH);
}

struct THostileCase {
  const char* Name;
  std::vector<uint8_t> Data;
  TIOFailureKind Kind;
};

TEST(Jpeg2000Read, HostileInputGivesAReason) {
  std::vector<THostileCase> cases;
  const std::vector<uint8_t> good = SmallCodeStream(3);
  cases.push_back({"not JPEG 2000", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0}, TIOFailureKind::InvalidData});
  cases.push_back({"empty", {}, TIOFailureKind::InvalidData});
  cases.push_back({"markers only", {0xFF, 0x4F, 0xFF, 0x51}, TIOFailureKind::InvalidData});
  cases.push_back({"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 30), TIOFailureKind::InvalidData});
  {
    // 65535 x 65535 in one tile: within the pixel limit, but OpenJPEG would
    // need 16 GiB for its three components.
    auto huge = good;
    SetSize(huge, 65535, 65535, 65535, 65535);
    cases.push_back({"gigapixel claim", huge, TIOFailureKind::OverLimit});
  }
  {
    auto wide = good;
    SetSize(wide, 1u << 30, 16, 1u << 30, 16);
    cases.push_back({"side over the limit", wide, TIOFailureKind::OverLimit});
  }
  {
    auto empty = good;
    SetSize(empty, 0, 0, 0, 0);
    cases.push_back({"zero size", empty, TIOFailureKind::InvalidData});
  }
  {
    std::vector<uint8_t> jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0, 20, 'f', 't', 'y', 'p'};
    cases.push_back({"JP2 without boxes", jp2, TIOFailureKind::InvalidData});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageIO io;
    TLmMemoryStream in{std::vector<uint8_t>(c.Data)};
    io.LoadImageFromStreamAs(in, ftJ2K);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.LastFailure().Kind, c.Kind) << io.LastFailure().Describe();
    EXPECT_FALSE(io.LastFailure().Text.empty());
    EXPECT_TRUE(io.Bitmap().IsEmpty());
  }
}

// A stream cut anywhere after its header: a reason or a picture, never a
// crash; cut in the middle of the tile data it still shows a picture.
TEST(Jpeg2000Read, TruncatedStreams) {
  const std::vector<uint8_t> good = SmallCodeStream(3);
  for (size_t length = 2; length < good.size(); length += 7) {
    TImageIO io;
    TLmMemoryStream in{std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length))};
    io.LoadImageFromStreamAs(in, ftJ2K);
    if (io.Aborting) {
      EXPECT_FALSE(io.LastFailure().Text.empty()) << length;
    }
  }
  TImageIO io;
  const size_t half = good.size() - (good.size() - 150) / 2;
  TLmMemoryStream in{std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(half))};
  io.LoadImageFromStreamAs(in, ftJ2K);
  EXPECT_EQ(io.Bitmap().Width(), 16) << io.LastFailure().Describe();
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Text, "code stream cut short");
}

}  // namespace
}  // namespace lumora
