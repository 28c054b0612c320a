#include "imageio/cmyk.h"

#include <lcms2.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace lumora {

namespace {

std::atomic<bool> gProfileEnabled{true};

// The two transforms between the built-in profile and sRGB. Made once, on
// the first conversion that may use them, and kept for the process; a
// transform without its one-pixel cache may be used by several threads.
class TCmykTransforms {
 public:
  TCmykTransforms() {
    std::vector<uint8_t> profile(kCmykProfileSize);
    uLongf length = static_cast<uLongf>(profile.size());
    if (uncompress(profile.data(), &length, kCmykProfileCompressed,
                   static_cast<uLong>(kCmykProfileCompressedSize)) != Z_OK ||
        length != profile.size())
      return;
    cmsHPROFILE cmyk = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    if (cmyk && srgb) {
      const cmsUInt32Number flags = cmsFLAGS_NOCACHE;
      toCmyk_ = cmsCreateTransform(srgb, TYPE_RGB_16, cmyk, TYPE_CMYK_16, INTENT_PERCEPTUAL, flags);
      toRgb_ = cmsCreateTransform(cmyk, TYPE_CMYK_16, srgb, TYPE_RGB_16, INTENT_PERCEPTUAL, flags);
    }
    if (cmyk) cmsCloseProfile(cmyk);
    if (srgb) cmsCloseProfile(srgb);
    if (!toCmyk_ || !toRgb_) Release();
  }
  ~TCmykTransforms() { Release(); }
  TCmykTransforms(const TCmykTransforms&) = delete;
  TCmykTransforms& operator=(const TCmykTransforms&) = delete;

  bool Ok() const { return toCmyk_ && toRgb_; }
  cmsHTRANSFORM ToCmyk() const { return toCmyk_; }
  cmsHTRANSFORM ToRgb() const { return toRgb_; }

 private:
  void Release() {
    if (toCmyk_) cmsDeleteTransform(toCmyk_);
    if (toRgb_) cmsDeleteTransform(toRgb_);
    toCmyk_ = toRgb_ = nullptr;
  }
  cmsHTRANSFORM toCmyk_ = nullptr;  // owned
  cmsHTRANSFORM toRgb_ = nullptr;   // owned
};

const TCmykTransforms* ActiveTransforms() {
  if (!gProfileEnabled.load(std::memory_order_relaxed)) return nullptr;
  static const TCmykTransforms transforms;
  return transforms.Ok() ? &transforms : nullptr;
}

// Pixels per call into Little CMS: big enough to amortise the call, small
// enough for the stack.
constexpr size_t kChunk = 512;

}  // namespace

void SetCmykProfileEnabled(bool enabled) { gProfileEnabled.store(enabled, std::memory_order_relaxed); }
bool CmykProfileEnabled() { return gProfileEnabled.load(std::memory_order_relaxed); }
bool CmykProfileActive() { return ActiveTransforms() != nullptr; }

void BGRRowToCMYKPlain(const uint8_t* bgr, uint8_t* cmyk, size_t count) {
  for (size_t i = 0; i < count; ++i, bgr += 3, cmyk += 4) {
    int b = bgr[0], g = bgr[1], r = bgr[2];
    int k = std::max({r, g, b});
    if (k == 0) k = 1;
    cmyk[0] = static_cast<uint8_t>(r * 255 / k);
    cmyk[1] = static_cast<uint8_t>(g * 255 / k);
    cmyk[2] = static_cast<uint8_t>(b * 255 / k);
    cmyk[3] = static_cast<uint8_t>(k);
  }
}

void CMYKRowToBGRPlain(const uint8_t* cmyk, uint8_t* bgr, size_t count) {
  for (size_t i = 0; i < count; ++i, bgr += 3, cmyk += 4) {
    int k = cmyk[3];
    uint8_t r = static_cast<uint8_t>(cmyk[0] * k / 255);
    uint8_t g = static_cast<uint8_t>(cmyk[1] * k / 255);
    uint8_t b = static_cast<uint8_t>(cmyk[2] * k / 255);
    bgr[0] = b;
    bgr[1] = g;
    bgr[2] = r;
  }
}

void BGRRowToCMYK(const uint8_t* bgr, uint8_t* cmyk, size_t count) {
  const TCmykTransforms* t = ActiveTransforms();
  if (!t) return BGRRowToCMYKPlain(bgr, cmyk, count);
  uint16_t in[kChunk * 3], out[kChunk * 4];
  while (count > 0) {
    size_t n = std::min(count, kChunk);
    for (size_t i = 0; i < n; ++i) {
      in[i * 3 + 0] = static_cast<uint16_t>(bgr[i * 3 + 2] * 257);
      in[i * 3 + 1] = static_cast<uint16_t>(bgr[i * 3 + 1] * 257);
      in[i * 3 + 2] = static_cast<uint16_t>(bgr[i * 3 + 0] * 257);
    }
    cmsDoTransform(t->ToCmyk(), in, out, static_cast<cmsUInt32Number>(n));
    for (size_t i = 0; i < n * 4; ++i) cmyk[i] = static_cast<uint8_t>(255 - (out[i] >> 8));
    bgr += n * 3;
    cmyk += n * 4;
    count -= n;
  }
}

void CMYKRowToBGR(const uint8_t* cmyk, uint8_t* bgr, size_t count) {
  const TCmykTransforms* t = ActiveTransforms();
  if (!t) return CMYKRowToBGRPlain(cmyk, bgr, count);
  uint16_t in[kChunk * 4], out[kChunk * 3];
  while (count > 0) {
    size_t n = std::min(count, kChunk);
    for (size_t i = 0; i < n * 4; ++i) in[i] = static_cast<uint16_t>(65535 - 257 * cmyk[i]);
    cmsDoTransform(t->ToRgb(), in, out, static_cast<cmsUInt32Number>(n));
    for (size_t i = 0; i < n; ++i) {
      bgr[i * 3 + 0] = static_cast<uint8_t>(out[i * 3 + 2] >> 8);
      bgr[i * 3 + 1] = static_cast<uint8_t>(out[i * 3 + 1] >> 8);
      bgr[i * 3 + 2] = static_cast<uint8_t>(out[i * 3 + 0] >> 8);
    }
    cmyk += n * 4;
    bgr += n * 3;
    count -= n;
  }
}

}  // namespace lumora
