// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

namespace lumora {

bool IsJpeg2000File(TProbe& p) {
  uint32_t a, b, c;
  return p.BE32(0, a) && p.BE32(4, b) && p.BE32(8, c) && a == 12 && b == 0x6A502020 && c == 0x0D0A870A;
}

bool IsJpeg2000CodeStream(TProbe& p) {
  uint16_t soc, siz;
  return p.BE16(0, soc) && p.BE16(2, siz) && soc == 0xFF4F && siz == 0xFF51;
}

}  // namespace lumora
