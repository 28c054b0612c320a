// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include "imageio/byteorder.h"

namespace lumora {

bool IsWmf(TProbe& p) {
  uint32_t key;
  int64_t header = p.LE32(0, key) && key == 0x9AC6CDD7 ? 22 : 0;
  uint8_t h[18];
  if (!p.ReadAt(header, h, sizeof h)) return false;
  return ReadLE16(h) == 1 && ReadLE16(h + 2) == 9 && ReadLE16(h + 16) == 0;
}

bool IsEmf(TProbe& p) {
  uint8_t h[44];
  if (!p.ReadAt(0, h, sizeof h)) return false;
  return ReadLE32(h) == 1 && ReadLE32(h + 40) == 0x464D4520;
}

}  // namespace lumora
