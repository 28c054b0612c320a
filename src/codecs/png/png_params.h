// PNG fields of the I/O parameters (data only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imageio/color.h"

namespace lumora {

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

}  // namespace lumora
