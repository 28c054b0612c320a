// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include "imageio/stream.h"

namespace lumora {

namespace {

// JPEG data may follow a little junk; the probe looks this far.
constexpr int kJpegSearchPositions = 150;

}  // namespace

bool HasJpegMarkerNearStart(TProbe& p) {
  uint8_t b[kJpegSearchPositions + 2] = {};
  p.Data().SetPosition(0);
  size_t got = p.Data().Read(b, sizeof b);
  for (size_t i = 0; i + 2 < got && i < kJpegSearchPositions; ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF) return true;
  return false;
}

}  // namespace lumora
