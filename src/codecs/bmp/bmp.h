// BMP codec: Windows and OS/2 device-independent bitmaps, with the
// headerless form that icons embed.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/bmp/bmp_params.h"
#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// The codec shape (imageio/codec.h).
void ReadBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribeBmp(const TIOParamsVals& params);

// How BmpRead is called; the defaults are those of a load.
struct TBmpReadOptions {
  int64_t BlockSize = 0;       // bytes the bitmap may use from its start; 0: unknown
  bool IgnoreAlpha = true;     // the fourth byte of 32-bit pixels is padding
  TLmMask* Mask = nullptr;     // receives the transparency of 32-bit images; null drops it
  bool Headerless = false;     // no 14-byte file header (icons embed bitmaps so)
  bool ParamsOnly = false;     // header only, no pixel decoded
};

// The full reader, for the icon reader and the load operations.
void BmpRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TBmpReadOptions& options,
             TIOProgress& progress);
void BmpWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool useAlpha, TIOProgress& progress);

}  // namespace lumora
