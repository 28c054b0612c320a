// The description suffix of TGA images.
#include "codecs/tga/tga.h"

#include "imageio/ioparams.h"

namespace lumora {

std::string DescribeTga(const TIOParamsVals& params) {
  return params.TgaCompressed ? " Compressed" : " Uncompressed";
}

}  // namespace lumora
