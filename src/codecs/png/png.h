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
#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// PNG fields of TIOParamsVals.
struct TPngParams {
  // Reader: the file is interlaced. Writer: write Adam7-interlaced.
  bool PngInterlaced = false;
  // Reader: the bKGD colour. Writer: the bKGD colour and, for palette images
  // with transparency, the colour of the transparent entry 0.
  TLmRGBTriple PngBackground;
  // Writer: 0 filter None only, 1 Sub only, 2 Paeth only; any other value
  // leaves libpng's adaptive choice.
  uint8_t PngFilter = 0;
  // Writer: zlib compression level (clamped to 0..9; -1 is zlib's default).
  int32_t PngCompression = 5;
  // Keywords and texts of the text chunks (UTF-8), entry i of one belonging
  // to entry i of the other. The reader fills them from every tEXt, zTXt and
  // iTXt chunk; the writer stores min(keys, values) of them.
  std::vector<std::string> PngTextKeys;
  std::vector<std::string> PngTextValues;

  // Text of the last image does not carry over to the next one.
  void ClearImageInfo() {
    PngTextKeys.clear();
    PngTextValues.clear();
  }
};

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
