// Pixels as an independent decoder sees them (colour and alpha, top-down),
// and the comparison of our bitmap with them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "external_decoder.h"
#include "imageio/bitmap.h"

namespace lumora::test {

inline constexpr const char* kImageMagick = "/usr/bin/convert-im6.q16";

struct TRgbaImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;    // red, green, blue per pixel
  std::vector<uint8_t> Alpha;  // 255 = opaque
};

// Colour and alpha of `file` as ImageMagick decodes it; false when it
// cannot. `format` forces the input format ("tga:"), empty for its own guess.
inline bool DecodeWithImageMagick(const std::filesystem::path& file, TRgbaImage& image, const std::string& format = "") {
  const std::string source = "'" + format + file.string() + "'";
  auto rgb = CommandOutput(std::string(kImageMagick) + " " + source + " -auto-orient -strip -depth 8 ppm:- 2>/dev/null");
  // Without an alpha channel ImageMagick's extraction gives no opacity
  // but something else, so it is asked first.
  auto hasAlpha = CommandOutput(std::string(kImageMagick) + " " + source + " -format %A info: 2>/dev/null");
  const bool withAlpha = hasAlpha && !hasAlpha->empty() && (*hasAlpha)[0] != 'F' && (*hasAlpha)[0] != 'U';
  auto alpha = !withAlpha ? std::nullopt : CommandOutput(std::string(kImageMagick) + " " + source + " -auto-orient -strip -alpha extract -depth 8 pgm:- 2>/dev/null");
  auto rgbImage = rgb ? ParsePnm(*rgb) : std::nullopt;
  auto alphaImage = alpha ? ParsePnm(*alpha) : std::nullopt;
  if (!rgbImage || rgbImage->Channels != 3) return false;
  image.Width = rgbImage->Width;
  image.Height = rgbImage->Height;
  image.Rgb = std::move(rgbImage->Pixels);
  if (alphaImage && alphaImage->Channels == 1 && alphaImage->Width == image.Width && alphaImage->Height == image.Height)
    image.Alpha = std::move(alphaImage->Pixels);
  else
    image.Alpha.assign(static_cast<size_t>(image.Width) * image.Height, 255);
  return true;
}

// Largest difference of any channel between our pixels and the reference;
// colours of pixels that are fully transparent in the reference do not
// count; without `withAlpha` only colours count. -1 when the sizes differ.
inline int LargestDifference(TLmBitmap& ours, const TRgbaImage& ref, bool withAlpha = true) {
  if (ours.Width() != ref.Width || ours.Height() != ref.Height) return -1;
  TLmBitmap rgb;
  rgb.Assign(ours);
  rgb.SetPixelFormat(pf24RGB);
  int worst = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* row = rgb.ScanLine(y);
    for (int x = 0; x < ref.Width; ++x) {
      const size_t i = static_cast<size_t>(y) * ref.Width + x;
      const uint8_t refAlpha = withAlpha ? ref.Alpha[i] : 255;
      if (withAlpha) worst = std::max(worst, std::abs(int{ours.Alpha(x, y)} - int{refAlpha}));
      if (refAlpha == 0) continue;
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int{row[3 * x + 2 - c]} - int{ref.Rgb[3 * i + c]}));
    }
  }
  return worst;
}

}  // namespace lumora::test
