// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include "imageio/byteorder.h"

namespace lumora {

bool IsTarga(TProbe& p) {
  uint8_t h[18];
  if (!p.ReadAt(0, h, sizeof h)) return false;
  const uint8_t type = h[2], mapType = h[1], depth = h[16];
  const bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  return typeOk && mapType <= 1 && depthOk && ReadLE16(h + 12) != 0 && ReadLE16(h + 14) != 0;
}

}  // namespace lumora
