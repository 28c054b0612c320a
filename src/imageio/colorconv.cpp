#include "imageio/colorconv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "imageio/byteorder.h"
#include "imageio/cmyk.h"

namespace lumora {

const uint8_t kDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

namespace {

// sRGB byte to linear light, one table for all conversions.
const std::array<double, 256>& LinearTable() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int v = 0; v < 256; ++v) {
      double c = v / 255.0;
      t[v] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table;
}

double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

double LabFInverse(double f) {
  double cube = f * f * f;
  return cube > 0.008856 ? cube : (f - 16.0 / 116.0) / 7.787;
}

uint8_t CompandToByte(double linear) {
  double v = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
  double scaled = std::nearbyint(v * 255.0);
  return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

uint8_t ClampToByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

int8_t ClampToSignedByte(double v) {
  return static_cast<int8_t>(std::clamp(static_cast<int>(v), -128, 127));  // trunc toward zero first
}

uint8_t FloatToByte(float v) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0f));
}

}  // namespace

void RGBToCIELab(TLmRGBTriple color, uint8_t lab[3]) {
  const auto& lin = LinearTable();
  double r = lin[color.r], g = lin[color.g], b = lin[color.b];
  double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
  double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  double l = y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * y;
  double a = 500.0 * (fx - fy);
  double bb = 200.0 * (fy - fz);
  lab[0] = static_cast<uint8_t>(std::clamp(static_cast<int>(l * 255.0 / 100.0), 0, 255));
  lab[1] = static_cast<uint8_t>(ClampToSignedByte(a));
  lab[2] = static_cast<uint8_t>(ClampToSignedByte(bb));
}

TLmRGBTriple CIELabToRGB(const uint8_t lab[3]) {
  double l = lab[0] * 100.0 / 255.0;
  double a = static_cast<int8_t>(lab[1]);
  double b = static_cast<int8_t>(lab[2]);
  double fy = (l + 16.0) / 116.0;
  double fx = fy + a / 500.0;
  double fz = fy - b / 200.0;
  double x = LabFInverse(fx) * 0.95047;
  double y = LabFInverse(fy);
  double z = LabFInverse(fz) * 1.08883;
  double r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
  double g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
  double bl = 0.0557 * x - 0.204 * y + 1.057 * z;
  return TLmRGBTriple::FromRGB(CompandToByte(r), CompandToByte(g), CompandToByte(bl));
}

TLmRGBTriple YCbCrToRGB(uint8_t y, uint8_t cb, uint8_t cr) {
  // Truncation toward zero, then clamping, as the conversion is defined.
  double cbd = cb - 128.0, crd = cr - 128.0;
  int r = static_cast<int>(y + 1.402 * crd);
  int g = static_cast<int>(y - 0.34414 * cbd - 0.71414 * crd);
  int b = static_cast<int>(y + 1.772 * cbd);
  return TLmRGBTriple::FromRGB(ClampToByte(r), ClampToByte(g), ClampToByte(b));
}

bool ConvertRow(const uint8_t* src, TLmColorLayout srcLayout, uint8_t* dst, size_t count,
                TLmColorLayout dstLayout) {
  if (dstLayout == clBGR) {
    switch (srcLayout) {
      case clBGR:
        if (src != dst) std::memmove(dst, src, count * 3);
        return true;
      case clRGB:
        for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
          uint8_t r = src[0], b = src[2];
          dst[1] = src[1];
          dst[0] = b;
          dst[2] = r;
        }
        return true;
      case clCMYK: CMYKRowToBGR(src, dst, count); return true;
      case clCIELab:
        for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
          TLmRGBTriple c = CIELabToRGB(src);
          std::memcpy(dst, &c, 3);
        }
        return true;
      case clRGB48LE:  // the high byte of each word
        for (size_t i = 0; i < count; ++i, src += 6, dst += 3) {
          dst[2] = src[1];
          dst[1] = src[3];
          dst[0] = src[5];
        }
        return true;
      case clRGB48BE:
        for (size_t i = 0; i < count; ++i, src += 6, dst += 3) {
          dst[2] = src[0];
          dst[1] = src[2];
          dst[0] = src[4];
        }
        return true;
      case clYCbCr:
        for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
          TLmRGBTriple c = YCbCrToRGB(src[0], src[1], src[2]);
          std::memcpy(dst, &c, 3);
        }
        return true;
      default: return false;
    }
  }
  if (srcLayout != clBGR) return false;
  switch (dstLayout) {
    case clCMYK: BGRRowToCMYK(src, dst, count); return true;
    case clCIELab:
      for (size_t i = 0; i < count; ++i, src += 3, dst += 3) {
        TLmRGBTriple c;
        std::memcpy(&c, src, 3);
        RGBToCIELab(c, dst);
      }
      return true;
    case clGray:
      for (size_t i = 0; i < count; ++i, src += 3) dst[i] = RGBToGray(src[2], src[1], src[0]);
      return true;
    default: return false;
  }
}

void PixelRowToBGR(TLmPixelFormat format, const uint8_t* src, uint8_t* bgr, int width,
                   const TLmRGBTriple* palette, int paletteLength) {
  const size_t n = static_cast<size_t>(std::max(width, 0));
  switch (format) {
    case pf1g:
      for (size_t x = 0; x < n; ++x) {
        uint8_t v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        bgr[x * 3] = bgr[x * 3 + 1] = bgr[x * 3 + 2] = v;
      }
      break;
    case pf8p:
      for (size_t x = 0; x < n; ++x) {
        TLmRGBTriple c = src[x] < paletteLength ? palette[src[x]] : TLmRGBTriple{};
        std::memcpy(bgr + x * 3, &c, 3);
      }
      break;
    case pf8g:
      for (size_t x = 0; x < n; ++x) bgr[x * 3] = bgr[x * 3 + 1] = bgr[x * 3 + 2] = src[x];
      break;
    case pf16g:
      for (size_t x = 0; x < n; ++x) bgr[x * 3] = bgr[x * 3 + 1] = bgr[x * 3 + 2] = src[x * 2 + 1];
      break;
    case pf24RGB: std::memcpy(bgr, src, n * 3); break;
    case pf32f:
      for (size_t x = 0; x < n; ++x) {
        float f;
        std::memcpy(&f, src + x * 4, 4);
        bgr[x * 3] = bgr[x * 3 + 1] = bgr[x * 3 + 2] = FloatToByte(f);
      }
      break;
    case pfCMYK: CMYKRowToBGR(src, bgr, n); break;
    case pfRGB48: ConvertRow(src, clRGB48LE, bgr, n, clBGR); break;
    case pfCIELab: ConvertRow(src, clCIELab, bgr, n, clBGR); break;
    case pf32RGB:
      for (size_t x = 0; x < n; ++x) std::memcpy(bgr + x * 3, src + x * 4, 3);
      break;
    case pfNone: break;
  }
}

void BGRToPixelRow(TLmPixelFormat format, const uint8_t* bgr, uint8_t* dst, int width) {
  const size_t n = static_cast<size_t>(std::max(width, 0));
  switch (format) {
    case pf8g: ConvertRow(bgr, clBGR, dst, n, clGray); break;
    case pf16g:
      for (size_t x = 0; x < n; ++x, bgr += 3) {
        uint32_t v = (bgr[2] * 54484u + bgr[1] * 183241u + bgr[0] * 19275u) / 1000u;
        WriteLE16(dst + x * 2, static_cast<uint16_t>(v));
      }
      break;
    case pf24RGB: std::memcpy(dst, bgr, n * 3); break;
    case pf32f:
      for (size_t x = 0; x < n; ++x, bgr += 3) {
        float f = static_cast<float>((bgr[2] * 0.2126 + bgr[1] * 0.7152 + bgr[0] * 0.0722) / 255.0);
        std::memcpy(dst + x * 4, &f, 4);
      }
      break;
    case pfCMYK: BGRRowToCMYK(bgr, dst, n); break;
    case pfRGB48:
      for (size_t x = 0; x < n; ++x, bgr += 3) {
        WriteLE16(dst + x * 6, static_cast<uint16_t>(bgr[2] * 257));
        WriteLE16(dst + x * 6 + 2, static_cast<uint16_t>(bgr[1] * 257));
        WriteLE16(dst + x * 6 + 4, static_cast<uint16_t>(bgr[0] * 257));
      }
      break;
    case pfCIELab: ConvertRow(bgr, clBGR, dst, n, clCIELab); break;
    case pf32RGB:
      for (size_t x = 0; x < n; ++x) {
        std::memcpy(dst + x * 4, bgr + x * 3, 3);
        dst[x * 4 + 3] = 255;
      }
      break;
    case pf1g:
    case pf8p:
    case pfNone: break;
  }
}

void PixelRowToGray(TLmPixelFormat format, const uint8_t* src, uint8_t* gray, int width,
                    const TLmRGBTriple* palette, int paletteLength) {
  const size_t n = static_cast<size_t>(std::max(width, 0));
  switch (format) {
    case pf8g: std::memcpy(gray, src, n); return;
    case pf16g:
      for (size_t x = 0; x < n; ++x) gray[x] = src[x * 2 + 1];
      return;
    case pf32f:
      for (size_t x = 0; x < n; ++x) {
        float f;
        std::memcpy(&f, src + x * 4, 4);
        gray[x] = FloatToByte(f);
      }
      return;
    case pf1g:
      for (size_t x = 0; x < n; ++x) gray[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      return;
    case pf24RGB: ConvertRow(src, clBGR, gray, n, clGray); return;
    case pf32RGB:
      for (size_t x = 0; x < n; ++x) gray[x] = RGBToGray(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
      return;
    case pf8p:
      for (size_t x = 0; x < n; ++x)
        gray[x] = src[x] < paletteLength ? RGBToGray(palette[src[x]]) : 0;
      return;
    default: {
      // CMYK, Lab, RGB48: through colour, a piece at a time.
      uint8_t bgr[256 * 3];
      const size_t bytesPerPixel = static_cast<size_t>(PixelFormatBits(format) / 8);
      for (size_t done = 0; done < n;) {
        size_t k = std::min<size_t>(256, n - done);
        PixelRowToBGR(format, src + done * bytesPerPixel, bgr, static_cast<int>(k));
        ConvertRow(bgr, clBGR, gray + done, k, clGray);
        done += k;
      }
      return;
    }
  }
}

void DitherGrayRow(const uint8_t* gray, uint8_t* dst, int width, int y) {
  const int row = y & 7;
  const size_t bytes = (static_cast<size_t>(std::max(width, 0)) + 7) / 8;
  std::memset(dst, 0, bytes);
  for (int x = 0; x < width; ++x)
    if (kDitherMatrix[x & 7][row] < gray[x] / 4) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

void ThresholdGrayRow(const uint8_t* gray, uint8_t* dst, int width, int threshold) {
  const size_t bytes = (static_cast<size_t>(std::max(width, 0)) + 7) / 8;
  std::memset(dst, 0, bytes);
  for (int x = 0; x < width; ++x)
    if (gray[x] > threshold) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

int OtsuThreshold(const uint64_t histogram[256]) {
  double total = 0, sum = 0;
  int levels = 0;
  for (int i = 0; i < 256; ++i) {
    total += static_cast<double>(histogram[i]);
    sum += static_cast<double>(i) * static_cast<double>(histogram[i]);
    if (histogram[i]) ++levels;
  }
  if (levels < 2) return 127;
  double weightDark = 0, sumDark = 0, best = -1;
  int threshold = 127;
  for (int t = 0; t < 255; ++t) {
    weightDark += static_cast<double>(histogram[t]);
    if (weightDark == 0) continue;
    double weightLight = total - weightDark;
    if (weightLight == 0) break;
    sumDark += static_cast<double>(t) * static_cast<double>(histogram[t]);
    double meanDark = sumDark / weightDark;
    double meanLight = (sum - sumDark) / weightLight;
    double between = weightDark * weightLight * (meanDark - meanLight) * (meanDark - meanLight);
    if (between > best) {
      best = between;
      threshold = t;
    }
  }
  return threshold;
}

}  // namespace lumora
