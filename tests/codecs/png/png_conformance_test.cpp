// Conformance: PngSuite decodes to ImageMagick's pixels (checksums in
// pngsuite_reference.txt) and its corrupt files fail; every pixel format
// written by us reads back through ImageMagick with the expected pixels.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "external_decoder.h"
#include "imageio/colorconv.h"
#include "png_test_util.h"

namespace lumora::pngtest {
namespace {

struct TReference {
  std::string Name;
  bool MustFail = false;
  int Width = 0, Height = 0;
  uint32_t Crc = 0;
};

std::vector<TReference> LoadReferences() {
  std::vector<TReference> refs;
  std::ifstream in(PNG_REFERENCE_FILE);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    TReference ref;
    std::string second;
    fields >> ref.Name >> second;
    if (second == "fail") {
      ref.MustFail = true;
    } else {
      ref.Width = std::stoi(second);
      fields >> ref.Height >> std::hex >> ref.Crc;
    }
    refs.push_back(ref);
  }
  return refs;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PngConformance, PngSuiteMatchesTheIndependentDecoder) {
  std::string dir = PngSuiteDir();
  if (dir.empty()) GTEST_SKIP() << "PngSuite not found under " << LUMORA_CORPUS_DIR;
  std::vector<TReference> refs = LoadReferences();
  ASSERT_GT(refs.size(), 170u);
  int matched = 0, rejected = 0;
  for (const TReference& ref : refs) {
    SCOPED_TRACE(ref.Name);
    std::vector<uint8_t> file = ReadFile(std::filesystem::path(dir) / ref.Name);
    ASSERT_FALSE(file.empty());
    TDecoded out;
    DecodeWithCodec(file, out);
    if (ref.MustFail) {
      EXPECT_TRUE(out.Aborting);
      rejected += out.Aborting ? 1 : 0;
      continue;
    }
    EXPECT_FALSE(out.Aborting);
    EXPECT_EQ(out.Bitmap.Width(), ref.Width);
    EXPECT_EQ(out.Bitmap.Height(), ref.Height);
    std::vector<uint8_t> rgba = BitmapRgba(out.Bitmap);
    uint32_t crc = static_cast<uint32_t>(crc32(0, rgba.data(), static_cast<uInt>(rgba.size())));
    EXPECT_EQ(crc, ref.Crc) << std::hex << crc;
    matched += crc == ref.Crc ? 1 : 0;
  }
  std::printf("PngSuite: %d files match, %d corrupt files rejected, of %zu\n", matched, rejected, refs.size());
}

// ImageMagick's 16-bit RGBA of a PNG file, or nothing when it cannot run.
std::optional<std::vector<uint16_t>> DecodeWithImageMagick(const std::vector<uint8_t>& png) {
#ifdef _WIN32
  (void)png;
  return std::nullopt;
#else
  const char* magick = "/usr/bin/convert-im6.q16";
  if (!std::filesystem::exists(magick)) return std::nullopt;
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("lumora-png-" + std::to_string(getpid()) + ".png");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
  std::string command =
      std::string(magick) + " '" + path.string() + "' -set colorspace sRGB -depth 16 -endian LSB RGBA:- 2>/dev/null";
  const std::vector<uint8_t> bytes = test::CommandOutput(command, false).value_or(std::vector<uint8_t>{});
  std::filesystem::remove(path);
  std::vector<uint16_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
  return out;
#endif
}

// A test image in each pixel format, built from a pf24RGB pattern by the
// pixel container's own conversion (the pattern holds fewer than 256
// colours, so the palette formats hold it exactly).
std::unique_ptr<TLmBitmap> PatternIn(TLmPixelFormat format, int width, int height) {
  TLmBitmap source;
  EXPECT_TRUE(source.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = source.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>((x * 40) % 256);
      row[3 * x + 1] = static_cast<uint8_t>((y * 60 + 5) % 256);
      row[3 * x + 2] = static_cast<uint8_t>(((x + y) * 25) % 256);
    }
  }
  auto bitmap = std::make_unique<TLmBitmap>();
  if (format == pf24RGB) {
    bitmap->Assign(source);
    return bitmap;
  }
  if (format == pf8p) {
    bitmap->Assign(source);
    bitmap->SetPixelFormat(pf8p);
    return bitmap;
  }
  EXPECT_TRUE(bitmap->Allocate(width, height, format));
  bitmap->CopyAndConvertFormat(source);
  if (format == pf16g) {
    // Use all 16 bits, not only levels that are multiples of 257.
    for (int y = 0; y < height; ++y) {
      uint8_t* row = bitmap->ScanLine(y);
      for (int x = 0; x < width; ++x) row[2 * x] = static_cast<uint8_t>(x * 7 + y);
    }
  }
  return bitmap;
}

struct TRoundTripCase {
  const char* Name;
  TLmPixelFormat Format;
  int SamplesPerPixel;
  int BitsPerSample;
  bool Alpha;
  bool Interlaced;
};

class PngRoundTrip : public testing::TestWithParam<TRoundTripCase> {};

TEST_P(PngRoundTrip, IndependentDecoderSeesTheSamePixels) {
  const TRoundTripCase& c = GetParam();
  const int width = 13, height = 6;
  std::unique_ptr<TLmBitmap> bitmap = PatternIn(c.Format, width, height);
  if (c.Alpha)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) bitmap->SetAlpha(x, y, (x + y) % 3 == 0 ? 0 : 255);
  TIOParamsVals params;
  params.SamplesPerPixel = c.SamplesPerPixel;
  params.BitsPerSample = c.BitsPerSample;
  params.PngInterlaced = c.Interlaced;
  std::vector<uint8_t> png = EncodeWithCodec(*bitmap, params);

  // Our own reader first (runs everywhere, also under Wine).
  TDecoded back;
  DecodeWithCodec(png, back);
  ASSERT_FALSE(back.Aborting);
  auto expected = [&](int x, int y) {
    TRgba want = PixelRgba(*bitmap, x, y);
    if (c.Alpha && want.A != 255) want = TRgba{0, 0, 0, 0};  // only where transparent: colour is irrelevant
    return want;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      TRgba got = PixelRgba(back.Bitmap, x, y), want = expected(x, y);
      if (want.A == 0) {
        ASSERT_EQ(got.A, 0) << x << "," << y;
        continue;
      }
      ASSERT_EQ(got, want) << x << "," << y;
    }

  std::optional<std::vector<uint16_t>> magick = DecodeWithImageMagick(png);
  if (!magick) GTEST_SKIP() << "ImageMagick not available";
  ASSERT_EQ(magick->size(), size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint16_t* p = &(*magick)[(size_t(y) * width + x) * 4];
      TRgba want = expected(x, y);
      if (want.A == 0) {
        ASSERT_EQ(p[3], 0) << x << "," << y;
        continue;
      }
      if (c.Format == pf16g) {
        const uint8_t* row = bitmap->ScanLine(y);
        uint16_t value = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
        ASSERT_EQ(p[0], value) << x << "," << y;
        continue;
      }
      ASSERT_EQ(p[0], want.R * 257) << x << "," << y;
      ASSERT_EQ(p[1], want.G * 257) << x << "," << y;
      ASSERT_EQ(p[2], want.B * 257) << x << "," << y;
      ASSERT_EQ(p[3], want.A * 257) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryPixelFormat, PngRoundTrip,
    testing::Values(TRoundTripCase{"pf1g", pf1g, 1, 1, false, false},
                    TRoundTripCase{"pf8p", pf8p, 1, 8, false, false},
                    TRoundTripCase{"pf8g", pf8g, 1, 8, false, false},
                    TRoundTripCase{"pf16g", pf16g, 1, 16, false, false},
                    TRoundTripCase{"pf24RGB", pf24RGB, 3, 8, false, false},
                    TRoundTripCase{"pf24RGB_alpha", pf24RGB, 3, 8, true, false},
                    TRoundTripCase{"pf24RGB_palette_alpha", pf24RGB, 1, 8, true, false},
                    TRoundTripCase{"pf24RGB_interlaced_alpha", pf24RGB, 4, 8, true, true},
                    TRoundTripCase{"pf32f", pf32f, 3, 8, false, false},
                    TRoundTripCase{"pfCMYK", pfCMYK, 3, 8, false, false},
                    TRoundTripCase{"pfRGB48", pfRGB48, 3, 8, false, false},
                    TRoundTripCase{"pfCIELab", pfCIELab, 3, 8, false, false},
                    TRoundTripCase{"pf32RGB", pf32RGB, 3, 8, true, false},
                    TRoundTripCase{"pf8p_palette_alpha", pf8p, 1, 8, true, true},
                    TRoundTripCase{"pf8g_as_rgb", pf8g, 3, 8, false, false}),
    [](const testing::TestParamInfo<TRoundTripCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace lumora::pngtest
