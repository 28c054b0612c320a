// The codec-shape entry points of BMP and its description suffix.
#include "codecs/bmp/bmp.h"

#include <cmath>

#include "codecs/bmp/bmp_format.h"
#include "imageio/bitmap.h"
#include "imageio/ioparams.h"
#include "imageio/stream.h"

namespace lumora {

double bmp::RoundHalfEven(double value) { return std::nearbyint(value); }  // default rounding mode: to even

void ReadBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  TLmMask mask;
  TBmpReadOptions options;
  options.BlockSize = stream.BytesLeft();
  options.IgnoreAlpha = !params.BmpUseAlpha;
  options.Mask = &mask;
  options.ParamsOnly = paramsOnly;
  BmpRead(stream, bitmap, params, options, progress);
  if (!paramsOnly && !mask.IsEmpty() && !bitmap.IsEmpty()) bitmap.SetAlphaFromMask(&mask);
}

void WriteBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  BmpWrite(stream, bitmap, params, params.BmpUseAlpha, progress);
}

std::string DescribeBmp(const TIOParamsVals& params) {
  switch (params.BmpVersion) {
    case bmp::kVersionOther: return " ver.1";
    case bmp::kVersionWindows: return " ver.3";
    case bmp::kVersionOs2V1: return " OS/2 v.1";
    case bmp::kVersionOs2V2: return " OS/2 v.2";
    default: return {};
  }
}

}  // namespace lumora
