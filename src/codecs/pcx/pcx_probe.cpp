// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

namespace lumora {

bool IsDcx(TProbe& p) {
  uint32_t magic;
  if (!p.LE32(0, magic) || magic != 0x3ADE68B1) return false;
  for (int i = 0; i < 1024; ++i) {
    uint32_t offset;
    if (!p.LE32(4 + int64_t{4} * i, offset) || offset == 0) break;
    if (offset >= static_cast<uint64_t>(p.Size())) return false;
  }
  return true;
}

}  // namespace lumora
