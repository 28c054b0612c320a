// Raw bitmap: headerless pixel data read into a bitmap that the caller has
// already allocated with the data's size and pixel format (file type
// ftRawBitmap; reached through LoadImageAs / LoadImageFromStreamAs only).
// The writer stores the pixels the same way.
#pragma once

#include <cstdint>

#include "codecs/rawbitmap/rawbitmap_params.h"
#include "imageio/codec.h"

namespace lumora {

void ReadRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress);
void WriteRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

}  // namespace lumora
