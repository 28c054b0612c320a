// ICO and CUR codec: Windows icons and cursors, whose directory entries are
// headerless bitmaps with an AND mask or embedded PNG images.
#pragma once

#include <cstdint>
#include <span>

#include "codecs/ico/ico_params.h"
#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// The codec shape (imageio/codec.h).
void ReadIco(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void ReadCur(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
// One image per leading IcoSizes entry with a width, at its IcoBitCounts depth.
void WriteIco(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
// Image count of the directory (1 for a BMP named .ico, 0 for neither);
// the stream position is kept.
int CountIco(TLmStream& stream);

// The readers with their transparency as a separate mask: `mask` (may be
// null) receives the AND mask or the alpha of 32-bit images; empty when
// every pixel is opaque (icons) or the transparency is ignored.
void IcoRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             TIOProgress& progress, bool paramsOnly);
void CurRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             TIOProgress& progress, bool paramsOnly);
// Sizes and depths pair up; sizes are 1 to 256 pixels per side.
void IcoWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, std::span<const int32_t> bitCounts,
              std::span<const TIcoSize> sizes, TIOProgress& progress);

}  // namespace lumora
