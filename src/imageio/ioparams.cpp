#include "imageio/ioparams.h"

#include <cmath>

namespace lumora {

void TCommonParams::SetDpi(double x, double y) {
  DpiXExact = x;
  DpiYExact = y;
  DpiX = static_cast<int32_t>(std::lround(x));
  DpiY = static_cast<int32_t>(std::lround(y));
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
