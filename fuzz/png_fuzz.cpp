// libFuzzer target of the PNG reader, through the I/O object as the viewer
// reaches it: the parameters-only read and the load, in the default and the
// native pixel formats, then a write of what was read. Tight limits keep
// every run within the fuzzer's memory budget; the harness only has to
// survive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "imageio/checked.h"
#include "imageio/errors.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

using namespace lumora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UseTightLimits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLmByteViewStream stream(std::span<const uint8_t>(data, size));
  // The last byte picks the options, so one input reaches the native and
  // the expanded paths and the writer's colour types.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  TImageIO io;
  io.Params.NativePixelFormat = options & 1;
  fuzz::ReadThenLoad(io, stream, ftPNG);

  if (!io.Aborting && !io.Bitmap().IsEmpty()) {
    io.Params.PngInterlaced = options & 2;
    io.Params.PngFilter = (options >> 2) & 3;
    if (options & 16) io.Params.SamplesPerPixel = 1;
    TLmMemoryStream out;
    try {
      io.SaveImageToStreamAs(out, ftPNG);
    } catch (const ELmIOError&) {
      // A 16-bit palette request is refused with "Error on creating PNG".
    }
  }
  return 0;
}
