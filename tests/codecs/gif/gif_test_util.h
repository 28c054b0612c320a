// Helpers of the GIF tests: loading bytes through the I/O object and
// reading pixels of any format as colours.
#pragma once

#include <memory>
#include <vector>

#include "imageio/bitmap.h"
#include "imageio/colorconv.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora::test {

inline std::unique_ptr<TImageIO> LoadGif(const std::vector<uint8_t>& bytes, int index = 0, bool native = false) {
  auto io = std::make_unique<TImageIO>();
  io->Params.GifImageIndex = index;
  io->Params.NativePixelFormat = native;
  TLmByteViewStream stream(bytes);
  io->LoadImageFromStream(stream);
  return io;
}

inline TLmRGBTriple PixelAt(const TLmBitmap& b, int x, int y) {
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(b.Width()));
  PixelRowToBGR(b.PixelFormat(), b.ScanLine(y), bgr.data(), b.Width(), b.Palette(), b.PaletteLength());
  return TLmRGBTriple::FromRGB(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
}

inline TLmRGBTriple Triple(uint8_t r, uint8_t g, uint8_t b) { return TLmRGBTriple::FromRGB(r, g, b); }

}  // namespace lumora::test
