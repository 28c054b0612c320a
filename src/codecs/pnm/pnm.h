// PNM codec (the six portable-anymap variants P1 to P6; the binary ones are
// written) and WBMP codec (type 0 wireless bitmaps).
#pragma once

#include "codecs/pnm/pnm_params.h"
#include "imageio/codec.h"

namespace lumora {

// The codec shape (imageio/codec.h).
void ReadPxm(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WritePxm(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
void ReadWbmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteWbmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

}  // namespace lumora
