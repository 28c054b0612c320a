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

// The full reader, for the icon reader and the load operations: `blockSize`
// bounds the data (0: unknown), `mask` receives the transparency of 32-bit
// images (may be null to drop it), `headerless` skips the file header.
void BmpRead(TLmStream& stream, TLmBitmap& bitmap, int64_t blockSize, bool ignoreAlpha, TLmMask* mask,
             bool headerless, bool paramsOnly, TIOProgress& progress, TIOParamsVals& params);
void BmpWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool useAlpha, TIOProgress& progress);

}  // namespace lumora
