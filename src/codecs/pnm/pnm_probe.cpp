// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include <string>

#include "codecs/pnm/pxm_token.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// The PNM probe reads its tokens from at most this many bytes: a header of
// 501 tokens with comments fits many times over, and a file of letters
// cannot make the probe read it whole.
constexpr int64_t kPnmProbeWindow = 1 << 20;

// Decimal value of a PNM header token; -1 when it is not a number.
int64_t PnmNumber(const std::string& token) {
  if (token.empty() || token.size() > 18) return -1;
  int64_t v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

bool IsPnm(TProbe& p) {
  p.Data().SetPosition(0);
  TLmSubStream window(p.Data(), 0, kPnmProbeWindow);
  int64_t width = 0, height = 0;
  bool haveMagic = false, bilevel = false;
  int maxValueTokens = 0;
  for (int tokens = 0; tokens < 501; ++tokens) {
    std::string token = PxmReadToken(window);
    if (token.empty()) break;
    if (token[0] == '#') continue;
    if (!haveMagic) {
      if (token.size() != 2 || token[0] != 'P' || token[1] < '1' || token[1] > '6') return false;
      haveMagic = true;
      bilevel = token[1] == '1' || token[1] == '4';
      continue;
    }
    int64_t value = PnmNumber(token);
    if (width == 0) {
      if (value != 0) width = value;
    } else if (height == 0) {
      if (value != 0) height = value;
      if (height != 0 && bilevel) break;
    } else if (++maxValueTokens == 1) {
      break;
    }
  }
  return width > 0 && height > 0;
}

}  // namespace lumora
