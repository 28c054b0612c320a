// GIF variable-length-code LZW: the code layer over plain byte spans.
//
// The stream-facing routines (GifLzwExpand, GifLzwCompress) that the
// parameters record installs live in gif_lzw_stream.*; they gather the data
// sub-blocks and call the functions below, which know nothing about streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace lumora {

// Largest table the GIF format allows: codes are at most 12 bits wide.
inline constexpr int kGifLzwMaxCodes = 4096;
inline constexpr int kGifLzwMaxCodeBits = 12;
// Minimum code sizes the decoder accepts. 9 is outside the GIF definition but
// some encoders write it for 8-bit images; its literals keep their low byte.
inline constexpr int kGifLzwMinCodeSizeLow = 2;
inline constexpr int kGifLzwMinCodeSizeHigh = 9;

// Visits the rows of a frame in the order the file stores them: top to
// bottom, or the four interlace passes (0, 8, 16 ...; 4, 12 ...; 2, 6 ...;
// 1, 3, 5 ...), skipping passes that have no row inside a short image.
class GifRowSequence {
 public:
  GifRowSequence(int height, bool interlaced);
  bool Done() const { return row_ >= height_; }
  int Row() const { return row_; }
  void Next();

 private:
  void SkipEmptyPasses();

  int height_;
  bool interlaced_;
  int pass_ = 0;
  int step_;
  int row_ = 0;
};

enum class GifLzwResult {
  kOk,      // decoded (pixels the data did not reach keep their old value)
  kFailed,  // the code stream is invalid
};

// Decodes the concatenated data sub-blocks (without length bytes) of one
// frame into `pixels`, row order, width * height indices. Decoding stops at
// the end code, when the data runs out, or as soon as every pixel of the
// frame is written, so a long or hostile code stream costs no more than its
// own length plus one frame.
GifLzwResult GifLzwDecodeCodes(std::span<const std::uint8_t> data, int minCodeSize, int width,
                               int height, bool interlaced, std::span<std::uint8_t> pixels);

// Receives the encoder's output: the code-size byte, each sub-block with its
// length byte, and the terminating zero-length block.
using GifByteSink = std::function<void(std::span<const std::uint8_t>)>;

// Encodes width * height palette indices (row order; the rows are visited in
// interlace order when asked) with `colorBits` (1 to 8) bits per index. An
// index that does not fit the code size is written as the largest one that
// does, since a larger value would be read back as a control code.
void GifLzwEncodeCodes(std::span<const std::uint8_t> pixels, int width, int height, int colorBits,
                       bool interlaced, const GifByteSink& sink);

}  // namespace lumora
