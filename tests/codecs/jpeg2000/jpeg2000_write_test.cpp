// The writer: what it writes decodes, with opj_decompress (natively) and
// with our reader, to the same samples when lossless, and stays within the
// size the rate sets when not. The component layout follows the colour
// space, the precision and the alpha channel.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/jpeg2000/jpeg2000.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"
#include "j2k_test_util.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// A picture with every level in every channel and no two rows alike.
void FillPattern(TLmBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 7 + y);
      row[3 * x + 1] = static_cast<uint8_t>(x * y + 3);
      row[3 * x + 2] = static_cast<uint8_t>(255 - x - 2 * y);
    }
  }
}

std::vector<uint8_t> Save(TImageIO& io, TFileTypeId type) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, type);
  EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
  return out.Data();
}

fs::path WriteTemp(const std::vector<uint8_t>& data, const std::string& name) {
  const fs::path path = fs::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
  return path;
}

int Stored(int value8, int precision) { return static_cast<int>(int64_t{value8} * ((1 << precision) - 1) / 255); }

struct TLayoutCase {
  const char* Name;
  TFileTypeId Type;
  uint8_t ColorSpace;
  int Bits;
  bool Alpha;
  bool OneBit;
};

class Jpeg2000WriteLayout : public ::testing::TestWithParam<TLayoutCase> {};

// Lossless: every stored sample is the bitmap's value at the precision, as
// an independent decoder reads it; and our reader gives the picture back.
TEST_P(Jpeg2000WriteLayout, LosslessSamplesAsWritten) {
  const TLayoutCase& c = GetParam();
  const int width = 37, height = 23;
  TImageIO io;
  FillPattern(io.Bitmap(), width, height);
  if (c.Alpha)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) io.Bitmap().SetAlpha(x, y, static_cast<uint8_t>(x * 6 + y));
  if (c.OneBit) io.Bitmap().SetPixelFormat(pf1g);
  io.Params.J2000ColorSpace = c.ColorSpace;
  io.Params.BitsPerSample = c.Bits;
  const std::vector<uint8_t> data = Save(io, c.Type);
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(io.Params.J2000ColorSpace, c.ColorSpace) << "a save must not change the caller's colour space";

  TLmBitmap& source = io.Bitmap();
  const bool gray = c.OneBit || c.ColorSpace == kJ2000Gray;
  const int precision = c.OneBit ? 1 : c.Bits;
  auto expectedPlane = [&](size_t plane, int x, int y) {
    const uint8_t* row = source.ScanLine(y);
    if (c.OneBit) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    if (plane == (gray ? 1u : 3u)) return static_cast<int>(source.Alpha(x, y));
    const int rgb[3] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    if (gray) return Stored((rgb[0] * 21 + rgb[1] * 71 + rgb[2] * 8) / 100, precision);
    return Stored(rgb[plane], precision);
  };

  const fs::path file = WriteTemp(data, std::string("lumora_j2k_write_") + c.Name + (c.Type == ftJP2 ? ".jp2" : ".j2k"));
  const auto planes = test::DecodeWithOpenJpeg(file);
#ifndef _WIN32
  ASSERT_TRUE(planes) << "opj_decompress cannot read our file";
#endif
  if (planes) {
    ASSERT_EQ(planes->size(), (gray ? 1u : 3u) + (c.Alpha ? 1u : 0u));
    for (size_t p = 0; p < planes->size(); ++p) {
      const test::TPlane& plane = (*planes)[p];
      ASSERT_EQ(plane.Width, width);
      ASSERT_EQ(plane.Height, height);
      EXPECT_EQ(plane.Precision, p == (gray ? 1u : 3u) ? 8 : precision);
      int mismatches = 0;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) mismatches += plane.Samples[static_cast<size_t>(y) * width + x] != expectedPlane(p, x, y);
      EXPECT_EQ(mismatches, 0) << "plane " << p;
    }
  }
  fs::remove(file);

  // Our reader: the same samples at 8 bits.
  TImageIO back;
  TLmMemoryStream in{std::vector<uint8_t>(data)};
  back.LoadImageFromStream(in);
  ASSERT_FALSE(back.Aborting) << back.LastFailure().Describe();
  EXPECT_EQ(back.Params.FileType, c.Type);
  EXPECT_EQ(back.Params.SamplesPerPixel, gray ? 1 : 3);
  EXPECT_EQ(back.Params.BitsPerSample, precision);
  EXPECT_EQ(back.Bitmap().PixelFormat(), c.OneBit ? pf1g : pf24RGB);
  EXPECT_EQ(back.Bitmap().HasAlphaChannel(), c.Alpha);
  int mismatches = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int rgb[3];
      test::PixelRgb(back.Bitmap(), x, y, rgb);
      for (int p = 0; p < 3; ++p) {
        const int stored = expectedPlane(gray ? 0 : p, x, y);
        const int shown = c.OneBit ? stored * 255 : precision >= 8 ? stored >> (precision - 8)
                                                                   : (stored * 255 + ((1 << precision) - 1) / 2) / ((1 << precision) - 1);
        mismatches += rgb[p] != shown;
      }
      if (c.Alpha) mismatches += back.Bitmap().Alpha(x, y) != source.Alpha(x, y);
    }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, Jpeg2000WriteLayout,
                         ::testing::Values(TLayoutCase{"rgb_jp2", ftJP2, kJ2000RGB, 8, false, false},
                                           TLayoutCase{"rgb_j2k", ftJ2K, kJ2000RGB, 8, false, false},
                                           TLayoutCase{"ycbcr_as_rgb", ftJP2, kJ2000YCbCr, 8, false, false},
                                           TLayoutCase{"gray", ftJP2, kJ2000Gray, 8, false, false},
                                           TLayoutCase{"rgb12", ftJ2K, kJ2000RGB, 12, false, false},
                                           TLayoutCase{"gray4", ftJ2K, kJ2000Gray, 4, false, false},
                                           TLayoutCase{"rgba", ftJP2, kJ2000RGB, 8, true, false},
                                           TLayoutCase{"bilevel", ftJP2, kJ2000RGB, 8, false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A photograph-like picture: smooth gradients with some texture.
void FillNatural(TLmBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const double v = 128 + 60 * std::sin(x / 9.0) * std::cos(y / 13.0) + ((x * 31 + y * 17) % 11);
      row[3 * x] = static_cast<uint8_t>(v);
      row[3 * x + 1] = static_cast<uint8_t>(255 - v);
      row[3 * x + 2] = static_cast<uint8_t>((x + y) / 2);
    }
  }
}

TEST(Jpeg2000Write, RateBoundsTheSizeAndStaysClose) {
  const int width = 256, height = 192;
  for (double rate : {0.5, 0.1, 0.02}) {
    SCOPED_TRACE(rate);
    TImageIO io;
    FillNatural(io.Bitmap(), width, height);
    io.Params.J2000Rate = rate;
    const std::vector<uint8_t> data = Save(io, ftJ2K);
    const double raw = 3.0 * width * height;
    EXPECT_LE(static_cast<double>(data.size()), raw * rate * 1.02 + 64);
    EXPECT_GT(static_cast<double>(data.size()), raw * rate * 0.5);

    TImageIO back;
    TLmMemoryStream in{std::vector<uint8_t>(data)};
    back.LoadImageFromStream(in);
    ASSERT_FALSE(back.Aborting) << back.LastFailure().Describe();
    double error = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width * 3; ++x) {
        const double d = double(io.Bitmap().ScanLine(y)[x]) - back.Bitmap().ScanLine(y)[x];
        error += d * d;
      }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (error / raw));
    EXPECT_GT(psnr, rate >= 0.1 ? 30.0 : 20.0);

    const fs::path file = WriteTemp(data, "lumora_j2k_rate.j2k");
    const auto planes = test::DecodeWithOpenJpeg(file);
#ifndef _WIN32
    ASSERT_TRUE(planes) << "opj_decompress cannot read our file";
#endif
    if (planes) {
      EXPECT_EQ(planes->size(), 3u);
      EXPECT_EQ(test::PeakDifference(back.Bitmap(), *planes), 0) << "opj_decompress reads our file as we do";
    }
    fs::remove(file);
  }
}

TEST(Jpeg2000Write, RejectsImpossibleRate) {
  for (double rate : {0.0, -1.0, std::nan("")}) {
    TImageIO io;
    FillPattern(io.Bitmap(), 8, 8);
    io.Params.J2000Rate = rate;
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftJ2K);
    EXPECT_TRUE(io.Aborting) << rate;
    EXPECT_FALSE(io.LastFailure().Text.empty());
  }
}

// The progression order is the fifth byte of the COD segment's body.
int ProgressionOrder(const std::vector<uint8_t>& codeStream) {
  for (size_t i = 0; i + 6 < codeStream.size(); ++i)
    if (codeStream[i] == 0xFF && codeStream[i + 1] == 0x52) return codeStream[i + 5];
  return -1;
}

TEST(Jpeg2000Write, ProgressionOrder) {
  const struct {
    uint8_t Setting;
    int Written;
  } cases[] = {{kJ2000LRCP, 0}, {kJ2000RLCP, 1}, {7, 0}};  // the code stream's own values; 7: the default
  for (const auto& c : cases) {
    TImageIO io;
    FillPattern(io.Bitmap(), 16, 16);
    io.Params.J2000ProgressionOrder = c.Setting;
    EXPECT_EQ(ProgressionOrder(Save(io, ftJ2K)), c.Written) << int(c.Setting);
  }
}

TEST(Jpeg2000Write, SavesByExtensionAndDescribes) {
  const fs::path dir = fs::temp_directory_path();
  for (const char* ext : {"jp2", "j2k", "jpc", "j2c"}) {
    TImageIO io;
    FillPattern(io.Bitmap(), 9, 5);
    const fs::path file = dir / (std::string("lumora_j2k_ext.") + ext);
    io.SaveImage(file);
    ASSERT_FALSE(io.Aborting) << ext;
    TImageIO back;
    back.LoadImage(file);
    EXPECT_FALSE(back.Aborting) << ext;
    EXPECT_EQ(back.Params.FileType, std::string(ext) == "jp2" ? ftJP2 : ftJ2K);
    fs::remove(file);
  }
  TIOParamsVals params;
  const std::pair<uint8_t, const char*> descriptions[] = {{0, " Gray level"}, {1, " RGB"}, {2, " YCbCr"}, {3, ""}};
  for (const auto& [space, text] : descriptions) {
    params.J2000ColorSpace = space;
    EXPECT_EQ(DescribeJ2000(params), text);
  }
}

}  // namespace
}  // namespace lumora
