// GIF fields of the I/O parameters (data only, but for the LZW routine
// hooks whose defaults come from the process-wide installation).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imageio/color.h"

namespace lumora {

class TLmStream;

// The replaceable LZW routines (fields GifLzwDecoder and GifLzwEncoder).
//
// Decoder: the stream stands at the LZW minimum code size byte; the routine
// consumes it, every data sub-block and the terminating zero-length block,
// and fills `pixels` (width * height indices, row order). It reports failure
// by leaving the stream position where it was on entry.
using TGifLzwDecoder = void (*)(TLmStream& stream, int height, int width, bool interlaced,
                                std::span<uint8_t> pixels);
// Encoder: writes the code size byte, the data sub-blocks and the terminator
// for width * height indices of `colorBits` (1 to 8) bits, row order.
using TGifLzwEncoder = void (*)(TLmStream& stream, int height, int width, int colorBits,
                                std::span<const uint8_t> pixels, bool interlaced);

TGifLzwDecoder InstalledGifLzwDecoder();
TGifLzwEncoder InstalledGifLzwEncoder();

// GIF fields of TIOParamsVals.
struct TGifParams {
  // Signature and version as read; the writer writes it back as the first 6 bytes.
  std::string GifVersion = "GIF89a";
  // Frame to load, 0-based.
  int32_t GifImageIndex = 0;
  // Image descriptors counted by the last read.
  int32_t GifImageCount = 0;
  // Frame position within the logical screen.
  int32_t GifFrameLeft = 0;
  int32_t GifFrameTop = 0;
  // Delay of the frame, hundredths of a second.
  int32_t GifDelay = 0;
  bool GifHasTransparency = false;
  // Colour of the transparent index in the frame's colour table.
  TLmRGBTriple GifTransparentColor{};
  bool GifInterlaced = false;
  int32_t GifScreenWidth = 0;
  int32_t GifScreenHeight = 0;
  // Global-table colour of the background index.
  TLmRGBTriple GifBackgroundColor{};
  // Pixel aspect ratio byte, as read; written as 0.
  uint8_t GifAspectRatio = 0;
  // One entry per non-empty comment sub-block.
  std::vector<std::string> GifComments;
  // Disposal method of the frame, 0 to 7.
  uint8_t GifDisposal = 2;
  // Empty (nullptr) means the built-in routine.
  TGifLzwDecoder GifLzwDecoder = InstalledGifLzwDecoder();
  TGifLzwEncoder GifLzwEncoder = InstalledGifLzwEncoder();

  void ClearImageInfo() { GifComments.clear(); }
  void SetImageIndex(int index) { GifImageIndex = index; }
};

}  // namespace lumora
