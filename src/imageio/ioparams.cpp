#include "imageio/ioparams.h"

#include <cmath>

namespace lumora {

void TCommonParams::SetDpi(double x, double y) {
  DpiXExact = x;
  DpiYExact = y;
  DpiX = static_cast<int32_t>(std::lround(x));
  DpiY = static_cast<int32_t>(std::lround(y));
}

void TCommonParams::SetSamplesFromPixelDepth(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
    case 2:
    case 4:
    case 8: BitsPerSample = bitsPerPixel, SamplesPerPixel = 1; break;
    case 16: BitsPerSample = 5, SamplesPerPixel = 3; break;
    case 24: BitsPerSample = 8, SamplesPerPixel = 3; break;
    case 32: BitsPerSample = 8, SamplesPerPixel = 4; break;
    default: break;
  }
}

void TIOParamsVals::SetDefaults(int32_t width, int32_t height) {
  static_cast<TCommonParams&>(*this) = TCommonParams{};
  ResetFormatParams();
  Width = width;
  Height = height;
  ClearImageInfo();
}

void TIOParamsVals::ClearImageInfo() {
  ColorMap.clear();
  InputIccProfile.clear();
  IptcInfo.Clear();
  XmpPacket.clear();
  ClearFormatImageInfo();
}

}  // namespace lumora
