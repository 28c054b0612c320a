// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include <cstring>

#include "imageio/byteorder.h"

namespace lumora {

bool IsPsd(TProbe& p) {
  uint8_t h[26];
  if (!p.ReadAt(0, h, sizeof h) || std::memcmp(h, "8BPS", 4) != 0) return false;
  const uint16_t version = ReadBE16(h + 4), channels = ReadBE16(h + 12), depth = ReadBE16(h + 22),
                 mode = ReadBE16(h + 24);
  return version == 1 && channels >= 1 && channels <= 24 && depth >= 1 && depth <= 16 && mode <= 9;
}

}  // namespace lumora
