// PNG codec: reader and writer over libpng (png_library.h holds the glue).
//
// This header stays free of libpng's own <png.h>, which it shadows by name
// only inside this folder's quoted includes; everything libpng lives in the
// .cpp files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/bitmap.h"
#include "codecs/png/png_params.h"
#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// The codec shape (imageio/codec.h).
void ReadPng(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
// Writes the bitmap's alpha channel as transparency when it has one.
void WritePng(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribePng(const TIOParamsVals& params);

// The reader, from the PNG signature at the stream's position (the icon
// reader calls it for PNG-compressed icon images). Failure sets the aborting
// flag; the rows decoded so far stay in the bitmap, the rest are black.
void PngReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress);
// The writer, with the transparency as a separate mask (none: opaque).
// Raises ELmCodecError "Error on creating PNG" when libpng refuses the
// image; a short write sets the aborting flag.
void PngWriteStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TLmMask* mask,
                    TIOProgress& progress);

}  // namespace lumora
