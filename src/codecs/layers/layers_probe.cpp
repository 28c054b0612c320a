// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include <cstring>

#include "imageio/byteorder.h"

namespace lumora {

bool IsVectorObjects(TProbe& p, int64_t at) {
  uint8_t h[4];
  return p.ReadAt(at, h, 4) && std::memcmp(h, "LMV", 3) == 0 && h[3] >= 0x31 && h[3] <= 0x52;
}

bool IsLayers(TProbe& p) {
  uint8_t h[17];
  return p.ReadAt(0, h, sizeof h) && std::memcmp(h, "LUMORA-LAYERS", 13) == 0 &&
         static_cast<int32_t>(ReadLE32(h + 13)) > 0;
}

bool IsLayersAndObjects(TProbe& p) {
  uint32_t offset;
  return p.LE32(0, offset) && offset <= static_cast<uint64_t>(p.Size()) && IsLayers(p) &&
         IsVectorObjects(p, offset);
}

}  // namespace lumora
