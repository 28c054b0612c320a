// libFuzzer target of the PNM reader, through the I/O object as the viewer
// reaches it (parameters only, then the load, in the default and the
// native pixel formats), then the writer on what was read. The product's
// own limits apply; the harness only has to survive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLmByteViewStream stream(std::span<const uint8_t>(data, size));
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  TImageIO io;
  io.Params.NativePixelFormat = options & 1;
  fuzz::ReadThenLoad(io, stream, ftPXM);

  if (!io.Aborting && !io.Bitmap().IsEmpty()) {
    if (options & 2) io.Params.BitsPerSample = 16, io.Params.SamplesPerPixel = 3;
    if (options & 4) io.Params.BitsPerSample = 8, io.Params.SamplesPerPixel = 1;
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftPXM);
  }
  return 0;
}
