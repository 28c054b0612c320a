// libFuzzer target of the GIF reader: the composited load of a frame picked
// by the first input byte, the parameters-only read, and the frame counter,
// all through the I/O object as the viewer reaches them.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/gif/gif.h"
#include "imageio/bitmap.h"
#include "imageio/checked.h"
#include "imageio/errors.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace {

// Tight ceilings keep every run within libFuzzer's memory budget; the
// reader's own plausibility checks are what is under test, not the machine.
void SetFuzzLimits() {
  static const bool once = [] {
    lumora::TImageLimits limits;
    limits.MaxDimension = 1 << 14;
    limits.MaxPixels = uint64_t{1} << 22;
    limits.MaxReadBlock = uint64_t{1} << 26;
    lumora::SetImageLimits(limits);
    return true;
  }();
  (void)once;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetFuzzLimits();
  if (size < 1) return 0;
  const int frame = data[0] & 7;
  const std::span<const uint8_t> gif(data + 1, size - 1);

  lumora::TImageIO io;
  io.Params.GifImageIndex = frame;
  io.Params.NativePixelFormat = (data[0] & 8) != 0;
  lumora::TLmByteViewStream stream(gif);
  try {
    io.LoadImageFromStreamAs(stream, lumora::ftGIF);
  } catch (const lumora::ELmIOError&) {
    return 0;  // out of memory for a canvas within the limits: a resource error, not a fault
  }
  if (!io.Aborting) {
    // Touch every row so that the sanitizers see what the reader left.
    lumora::TLmBitmap& b = io.Bitmap();
    volatile uint8_t sink = 0;
    for (int y = 0; y < b.Height(); ++y) sink = sink + b.ScanLine(y)[b.RowLen() - 1];
  }

  lumora::TLmByteViewStream again(gif);
  io.ReadParamsFromStreamAs(again, lumora::ftGIF);

  lumora::TLmByteViewStream counted(gif);
  lumora::TLmMemoryStream copy;
  try {
    lumora::GifCopyFrames(counted, frame, &copy);
  } catch (const lumora::ELmIOError&) {
  }
  return 0;
}
