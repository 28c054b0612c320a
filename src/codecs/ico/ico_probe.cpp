// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include "imageio/byteorder.h"

namespace lumora {

bool IsIconDirectory(TProbe& p, uint16_t resourceType) {
  if (p.Size() < 23) return false;
  uint16_t reserved, type, count;
  if (!p.LE16(0, reserved) || !p.LE16(2, type) || !p.LE16(4, count)) return false;
  if (reserved != 0 || type != resourceType || count == 0) return false;
  for (int i = 0; i < count; ++i) {
    uint8_t entry[16];
    int64_t at = 6 + int64_t{16} * i;
    if (!p.ReadAt(at, entry, sizeof entry)) return false;
    if (entry[3] != 0 || ReadLE32(entry + 8) == 0 || ReadLE32(entry + 12) < at + 16) return false;
  }
  return true;
}

}  // namespace lumora
