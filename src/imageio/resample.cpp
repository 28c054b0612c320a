#include "imageio/resample.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imageio/bitmap.h"

namespace lumora {

namespace {

// Source coordinate for each target coordinate (nearest, centre sampling).
std::vector<int> NearestMap(int from, int to) {
  std::vector<int> map(to);
  for (int i = 0; i < to; ++i)
    map[i] = std::min(from - 1, static_cast<int>((static_cast<int64_t>(i) * 2 + 1) * from / (2 * int64_t{to})));
  return map;
}

bool ResampleNearest(const TLmBitmap& source, TLmBitmap& target, int width, int height) {
  if (!target.Allocate(width, height, source.PixelFormat())) return false;
  if (source.PaletteLength() > 0) source.CopyPaletteTo(target);
  const std::vector<int> xs = NearestMap(source.Width(), width), ys = NearestMap(source.Height(), height);
  const int bits = source.BitCount();
  const size_t bytes = static_cast<size_t>(bits / 8);
  std::vector<uint8_t> in(source.RowLen()), out(target.RowLen());
  for (int y = 0; y < height; ++y) {
    std::memcpy(in.data(), source.ScanLine(ys[y]), in.size());
    std::fill(out.begin(), out.end(), 0);
    for (int x = 0; x < width; ++x) {
      const int sx = xs[x];
      if (bits == 1) {
        if (in[sx >> 3] & (0x80 >> (sx & 7))) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      } else {
        std::memcpy(out.data() + x * bytes, in.data() + sx * bytes, bytes);
      }
    }
    std::memcpy(target.ScanLine(y), out.data(), out.size());
  }
  return true;
}

// Box filter over pf24RGB (or pf8g, for the alpha channel): each target
// pixel averages the source pixels it covers (at least one).
bool ResampleBox(const TLmBitmap& source, TLmBitmap& target, int width, int height) {
  const TLmPixelFormat format = source.PixelFormat();
  const int channels = format == pf8g ? 1 : 3;
  if (!target.Allocate(width, height, format)) return false;
  const int sw = source.Width(), sh = source.Height();
  std::vector<uint32_t> sums(static_cast<size_t>(width) * channels);
  std::vector<uint32_t> counts(width);
  std::vector<uint8_t> in(source.RowLen());
  for (int y = 0; y < height; ++y) {
    const int y0 = static_cast<int>(static_cast<int64_t>(y) * sh / height);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * sh / height));
    std::fill(sums.begin(), sums.end(), 0);
    std::fill(counts.begin(), counts.end(), 0);
    for (int sy = y0; sy < y1 && sy < sh; ++sy) {
      std::memcpy(in.data(), source.ScanLine(sy), in.size());
      for (int x = 0; x < width; ++x) {
        const int x0 = static_cast<int>(static_cast<int64_t>(x) * sw / width);
        const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * sw / width));
        for (int sx = x0; sx < x1 && sx < sw; ++sx) {
          for (int c = 0; c < channels; ++c) sums[x * channels + c] += in[sx * channels + c];
          ++counts[x];
        }
      }
    }
    uint8_t* row = target.ScanLine(y);
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c)
        row[x * channels + c] = static_cast<uint8_t>(sums[x * channels + c] / std::max<uint32_t>(1, counts[x]));
  }
  return true;
}

}  // namespace

bool ResampleBitmap(TLmBitmap& bitmap, int width, int height, bool filtered) {
  if (width <= 0 || height <= 0 || bitmap.IsEmpty()) return false;
  try {
    TLmBitmap result;
    if (filtered) {
      TLmBitmap rgb;
      const TLmBitmap* source = &bitmap;
      if (bitmap.PixelFormat() != pf24RGB) {
        rgb.Assign(bitmap);
        rgb.RemoveAlphaChannel(false);
        rgb.SetPixelFormat(pf24RGB);
        source = &rgb;
      }
      if (!ResampleBox(*source, result, width, height)) return false;
    } else if (!ResampleNearest(bitmap, result, width, height)) {
      return false;
    }
    if (bitmap.HasAlphaChannel()) {
      TLmBitmap alpha;
      if (!(filtered ? ResampleBox(bitmap.AlphaChannel(), alpha, width, height)
                     : ResampleNearest(bitmap.AlphaChannel(), alpha, width, height)))
        return false;
      TLmBitmap& target = result.AlphaChannel();
      for (int y = 0; y < height; ++y) std::memcpy(target.ScanLine(y), alpha.ScanLine(y), alpha.RowLen());
    }
    result.OneBitConversion = bitmap.OneBitConversion;
    result.TargetColorCount = bitmap.TargetColorCount;
    bitmap.FreeImage(true);
    result.SwapTo(bitmap);
    return true;
  } catch (const ELmIOError&) {
    return false;
  }
}

}  // namespace lumora
