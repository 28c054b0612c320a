// Builds small GIF files block by block for the tests, so that each test
// shows the structure it is about.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/gif/gif_lzw.h"

namespace lumora::test {

struct Rgb {
  std::uint8_t R = 0, G = 0, B = 0;
};

class GifBuilder {
 public:
  // Header and logical screen; a non-empty `global` adds a global table
  // (padded with black to a power of two, at least 2 entries).
  GifBuilder& Header(int width, int height, const std::vector<Rgb>& global = {}, std::uint8_t background = 0,
                     const std::string& version = "GIF89a", std::uint8_t aspect = 0) {
    bytes_.insert(bytes_.end(), version.begin(), version.end());
    Le16(width);
    Le16(height);
    const int exponent = global.empty() ? 0 : TableExponent(global.size());
    bytes_.push_back(static_cast<std::uint8_t>(global.empty() ? 0 : 0x80 | 0x70 | exponent));
    bytes_.push_back(background);
    bytes_.push_back(aspect);
    if (!global.empty()) Table(global, exponent);
    return *this;
  }

  GifBuilder& Control(int disposal, int delay, bool transparent, std::uint8_t transparentIndex = 0) {
    bytes_.insert(bytes_.end(), {0x21, 0xF9, 0x04});
    bytes_.push_back(static_cast<std::uint8_t>((disposal << 2) | (transparent ? 1 : 0)));
    Le16(delay);
    bytes_.push_back(transparentIndex);
    bytes_.push_back(0);
    return *this;
  }

  // An extension whose data sub-blocks are the given strings.
  GifBuilder& Extension(std::uint8_t label, const std::vector<std::string>& blocks) {
    bytes_.push_back(0x21);
    bytes_.push_back(label);
    for (const std::string& b : blocks) {
      bytes_.push_back(static_cast<std::uint8_t>(b.size()));
      bytes_.insert(bytes_.end(), b.begin(), b.end());
    }
    bytes_.push_back(0);
    return *this;
  }
  GifBuilder& Comment(const std::vector<std::string>& blocks) { return Extension(0xFE, blocks); }

  // An image descriptor, an optional local table and the indices LZW-coded
  // with `codeBits` bits (default: enough for the largest index).
  GifBuilder& Image(int left, int top, int width, int height, const std::vector<std::uint8_t>& indices,
                    const std::vector<Rgb>& local = {}, bool interlaced = false, int codeBits = 0) {
    Descriptor(left, top, width, height, local, interlaced);
    if (codeBits == 0) {
      int largest = 1;
      for (std::uint8_t i : indices) largest = std::max<int>(largest, i);
      while ((1 << codeBits) <= largest) ++codeBits;
    }
    GifLzwEncodeCodes(indices, width, height, codeBits, interlaced,
                      [&](std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); });
    return *this;
  }

  GifBuilder& Descriptor(int left, int top, int width, int height, const std::vector<Rgb>& local = {},
                         bool interlaced = false) {
    bytes_.push_back(0x2C);
    Le16(left);
    Le16(top);
    Le16(width);
    Le16(height);
    const int exponent = local.empty() ? 0 : TableExponent(local.size());
    bytes_.push_back(static_cast<std::uint8_t>((local.empty() ? 0 : 0x80 | exponent) | (interlaced ? 0x40 : 0)));
    if (!local.empty()) Table(local, exponent);
    return *this;
  }

  GifBuilder& Raw(const std::vector<std::uint8_t>& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  GifBuilder& Trailer() {
    bytes_.push_back(0x3B);
    return *this;
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  static int TableExponent(std::size_t entries) {
    int exponent = 0;
    while ((2u << exponent) < entries) ++exponent;
    return exponent;
  }
  void Table(const std::vector<Rgb>& colours, int exponent) {
    for (int i = 0; i < (2 << exponent); ++i) {
      const Rgb c = i < static_cast<int>(colours.size()) ? colours[i] : Rgb{};
      bytes_.insert(bytes_.end(), {c.R, c.G, c.B});
    }
  }
  void Le16(int v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }

  std::vector<std::uint8_t> bytes_;
};

}  // namespace lumora::test
