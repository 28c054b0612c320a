// libFuzzer target of the JPEG reader: the load through the I/O object as
// the viewer reaches it, JpegReadStream with the option combinations its
// other callers use (scales, native formats, raw YCbCr, inverted CMYK, a
// row limit), the parameters-only read, the stream scans, and a save of
// what was decoded with the markers the file brought.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/jpeg/jpeg.h"
#include "imageio/bitmap.h"
#include "imageio/checked.h"
#include "imageio/errors.h"
#include "imageio/imageio.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace {

// Tight ceilings keep every run within libFuzzer's memory budget; the
// reader's own plausibility checks are what is under test, not the machine.
void SetFuzzLimits() {
  static const bool once = [] {
    lumora::TImageLimits limits;
    limits.MaxDimension = 1 << 14;
    limits.MaxPixels = uint64_t{1} << 24;
    limits.MaxReadBlock = uint64_t{1} << 26;
    lumora::SetImageLimits(limits);
    return true;
  }();
  (void)once;
}

void TouchRows(lumora::TLmBitmap& b) {
  volatile uint8_t sink = 0;
  for (int y = 0; y < b.Height(); ++y) sink = sink + b.ScanLine(y)[b.RowLen() - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetFuzzLimits();
  if (size < 2) return 0;
  const uint8_t a = data[0], b = data[1];
  const std::span<const uint8_t> jpeg(data + 2, size - 2);

  try {
    lumora::TImageIO io;
    io.Params.NativePixelFormat = (a & 1) != 0;
    io.Params.JpegScale = static_cast<uint8_t>((a >> 1) % 6);  // 5: not a scale, the default stays
    io.Params.JpegDctMethod = static_cast<uint8_t>((a >> 4) % 4);
    io.Params.Width = io.Params.Height = 1 + b;
    lumora::TLmByteViewStream stream(jpeg);
    io.LoadImageFromStreamAs(stream, lumora::ftJPEG);
    TouchRows(io.Bitmap());

    // A save of small results, with the segments the file brought.
    if (!io.Aborting && io.Bitmap().Width() * int64_t{io.Bitmap().Height()} <= 65536) {
      io.Params.JpegColorSpace = static_cast<uint8_t>(b % 6);
      io.Params.JpegProgressive = (b & 0x40) != 0;
      lumora::TLmMemoryStream out;
      io.SaveImageToStreamAs(out, lumora::ftJPEG);
    }

    lumora::TLmBitmap bitmap;
    lumora::TIOParamsVals params;
    lumora::TJpegReadOptions options;
    options.NativePixelFormat = (b & 1) != 0;
    options.RawYCbCr = (b & 2) != 0;
    options.InvertCmyk = (b & 4) != 0;
    options.MaxRows = (b & 8) != 0 ? b : -1;
    options.ReadIcc = (b & 16) != 0;
    options.ParamsOnly = (b & 0x80) != 0;
    params.JpegScale = static_cast<uint8_t>(a % 5);
    lumora::TIOProgress progress;
    lumora::TLmByteViewStream direct(jpeg);
    lumora::JpegReadStream(direct, bitmap, params, options, progress);
    TouchRows(bitmap);

    lumora::TLmByteViewStream scanned(jpeg);
    lumora::FindJpegStart(scanned);
    lumora::JpegStreamLength(scanned);
  } catch (const lumora::ELmIOError&) {
    // Out of memory or temporary-file space within the limits: a resource
    // error, not a fault.
  }
  return 0;
}
