// TGA codec: Truevision Targa images, colour-mapped, true-colour and gray,
// uncompressed or run-length encoded, with the version 2 extension area.
#pragma once

#include <string>

#include "codecs/tga/tga_params.h"
#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// The codec shape (imageio/codec.h).
void ReadTga(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteTga(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribeTga(const TIOParamsVals& params);

// The full reader: with `ignoreTransparency` no mask is built; otherwise
// images with alpha (32-bit pixels or colour map entries, 16-bit pixels
// with an attribute bit) fill `mask`, which stays empty when every pixel
// is opaque.
void TgaRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             bool paramsOnly, TIOProgress& progress);

}  // namespace lumora
