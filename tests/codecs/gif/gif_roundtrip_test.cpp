// Every pixel format we hold, written as GIF and read back by independent
// decoders (Pillow, ImageMagick): exact for images of at most 256 colours.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "external_decoder.h"
#include "gif_test_util.h"
#include "imageio/bitmap.h"
#include "imageio/colorconv.h"
#include "imageio/imageio.h"

namespace lumora {
namespace {

struct Decoder {
  const char* name;
  const char* program;  // must exist
  std::string command;  // %s: the file; prints raw RGBA
};

const Decoder kDecoders[] = {
    {"Pillow", "/usr/bin/python3",
     "/usr/bin/python3 -c \"import sys; from PIL import Image; "
     "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" '%s'"},
    {"ImageMagick", "/usr/bin/convert-im6.q16", "/usr/bin/convert-im6.q16 '%s' -depth 8 rgba:-"},
};

std::vector<uint8_t> RunDecoder(const Decoder& d, const std::filesystem::path& file) {
  std::vector<char> command(d.command.size() + file.string().size() + 1);
  std::snprintf(command.data(), command.size(), d.command.c_str(), file.string().c_str());
  return test::CommandOutput(command.data(), false).value_or(std::vector<uint8_t>{});
}

// Fills a bitmap of `format` with a pattern of at most 256 colours.
void FillPattern(TLmBitmap& b) {
  const int w = b.Width();
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int v = (x * 3 + y * 5) % 16;  // 16 levels per channel at most
      switch (b.PixelFormat()) {
        case pf1g:
          if ((x + y) % 3 == 0) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
          else row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
          break;
        case pf8p:  // below 255, which a writer with transparency reserves
          row[x] = static_cast<uint8_t>(v * 16);
          break;
        case pf8g:
          row[x] = static_cast<uint8_t>(v * 17);
          break;
        case pf16g:
          row[2 * x] = 0;
          row[2 * x + 1] = static_cast<uint8_t>(v * 17);
          break;
        case pf32f: {
          const float f = static_cast<float>(v * 17) / 255.0f;
          std::memcpy(row + 4 * x, &f, 4);
          break;
        }
        case pfRGB48:
          for (int c = 0; c < 3; ++c) {
            row[6 * x + 2 * c] = 0;
            row[6 * x + 2 * c + 1] = static_cast<uint8_t>(((v + 5 * c) % 16) * 17);
          }
          break;
        default:  // 3 or 4 bytes per pixel
          for (int c = 0; c < b.BitCount() / 8; ++c) row[b.BitCount() / 8 * x + c] = static_cast<uint8_t>(((v + 5 * c) % 16) * 17);
          break;
      }
    }
  }
  if (b.PixelFormat() == pf8p) {
    std::vector<TLmRGBTriple> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = TLmRGBTriple::FromRGB(i, 255 - i, (i * 7) & 255);
    b.SetPalette(palette.data(), 256);
  }
}

// The colours the writer is expected to store: the image as pf24RGB.
std::vector<TLmRGBTriple> ExpectedColours(const TLmBitmap& b) {
  TLmBitmap rgb;
  rgb.Allocate(b.Width(), b.Height(), pf24RGB);
  rgb.CopyAndConvertFormat(b);
  std::vector<TLmRGBTriple> out;
  for (int y = 0; y < b.Height(); ++y) {
    const auto* row = reinterpret_cast<const TLmRGBTriple*>(rgb.ScanLine(y));
    out.insert(out.end(), row, row + b.Width());
  }
  return out;
}

class GifRoundTrip : public testing::TestWithParam<TLmPixelFormat> {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the independent decoders run on the Linux host";
#endif
    file_ = std::filesystem::temp_directory_path() /
            ("lumora-gif-roundtrip-" + std::to_string(static_cast<int>(GetParam())) + ".gif");
  }
  void TearDown() override { std::filesystem::remove(file_); }

  std::filesystem::path file_;
};

TEST_P(GifRoundTrip, IndependentDecodersSeeTheSamePixels) {
  const TLmPixelFormat format = GetParam();
  for (bool alpha : {false, true}) {
    for (bool interlaced : {false, true}) {
      TImageIO io;
      TLmBitmap& b = io.Bitmap();
      ASSERT_TRUE(b.Allocate(37, 23, format));
      FillPattern(b);
      const std::vector<TLmRGBTriple> expected = ExpectedColours(b);
      if (alpha) {
        for (int y = 0; y < b.Height(); ++y) b.SetAlpha((y * 7) % b.Width(), y, 0);
      }
      io.Params.BitsPerSample = format == pf1g && !alpha ? 1 : 8;
      io.Params.GifInterlaced = interlaced;
      io.SaveImage(file_);
      ASSERT_FALSE(io.Aborting) << PixelFormatName(format);

      for (const Decoder& d : kDecoders) {
        if (!std::filesystem::exists(d.program)) continue;
        const std::vector<uint8_t> rgba = RunDecoder(d, file_);
        ASSERT_EQ(rgba.size(), expected.size() * 4) << d.name << " " << PixelFormatName(format);
        int wrong = 0;
        for (int y = 0; y < b.Height(); ++y) {
          for (int x = 0; x < b.Width(); ++x) {
            const size_t i = static_cast<size_t>(y) * b.Width() + x;
            const uint8_t* p = &rgba[4 * i];
            const bool transparent = alpha && x == (y * 7) % b.Width();
            if (transparent) {
              wrong += p[3] != 0;
            } else {
              wrong += p[3] != 255 || p[0] != expected[i].r || p[1] != expected[i].g || p[2] != expected[i].b;
            }
          }
        }
        EXPECT_EQ(wrong, 0) << d.name << " " << PixelFormatName(format) << (alpha ? " alpha" : "")
                            << (interlaced ? " interlaced" : "");
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, GifRoundTrip,
                         testing::Values(pf1g, pf8p, pf8g, pf16g, pf24RGB, pf32f, pfCMYK, pfRGB48, pfCIELab,
                                         pf32RGB),
                         [](const testing::TestParamInfo<TLmPixelFormat>& i) { return PixelFormatName(i.param); });

TEST(GifRoundTripColour, ManyColoursAreReducedCloseToTheOriginal) {
#ifdef _WIN32
  GTEST_SKIP() << "the independent decoders run on the Linux host";
#endif
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "lumora-gif-roundtrip-many.gif";
  TImageIO io;
  TLmBitmap& b = io.Bitmap();
  ASSERT_TRUE(b.Allocate(96, 64, pf24RGB));
  for (int y = 0; y < 64; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < 96; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / 95);
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / 63);
      row[3 * x + 2] = static_cast<uint8_t>(255 - x * 2);
    }
  }
  const std::vector<TLmRGBTriple> original = ExpectedColours(b);
  io.SaveImage(file);
  ASSERT_FALSE(io.Aborting);
  const std::vector<uint8_t> rgba = RunDecoder(kDecoders[0], file);
  std::filesystem::remove(file);
  if (rgba.empty()) GTEST_SKIP() << "Pillow is not available";
  ASSERT_EQ(rgba.size(), original.size() * 4);
  double error = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    error += std::abs(rgba[4 * i] - original[i].r) + std::abs(rgba[4 * i + 1] - original[i].g) +
             std::abs(rgba[4 * i + 2] - original[i].b);
  }
  EXPECT_LT(error / original.size(), 24.0);  // 6144 colours in 256 entries: a few levels per channel
}

}  // namespace
}  // namespace lumora
