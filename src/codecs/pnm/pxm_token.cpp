#include "codecs/pnm/pxm_token.h"

#include <cstdint>

#include "imageio/stream.h"

namespace lumora {

namespace {
bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsBlankOrControl(uint8_t c) { return c <= ' ' || c == 0x7F; }
}  // namespace

std::string PxmReadToken(TLmStream& stream) {
  uint8_t c;
  do {
    if (stream.Read(&c, 1) != 1) return {};
  } while (!IsAlnum(c) && c != '#');

  std::string token(1, static_cast<char>(c));
  if (c == '#') {
    std::string text;
    while (stream.Read(&c, 1) == 1 && c != '\n' && c != '\r') text.push_back(static_cast<char>(c));
    size_t first = 0, last = text.size();
    while (first < last && IsBlankOrControl(static_cast<uint8_t>(text[first]))) ++first;
    while (last > first && IsBlankOrControl(static_cast<uint8_t>(text[last - 1]))) --last;
    return token + text.substr(first, last - first);
  }
  while (stream.Read(&c, 1) == 1 && IsAlnum(c)) token.push_back(static_cast<char>(c));
  return token;
}

}  // namespace lumora
