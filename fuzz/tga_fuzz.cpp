// libFuzzer target of the TGA reader, through the I/O object as the viewer
// reaches it (parameters only, then the load), then the writer on what was
// read. The product's own limits apply; the harness only has to survive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLmByteViewStream stream(std::span<const uint8_t>(data, size));
  TImageIO io;
  fuzz::ReadThenLoad(io, stream, ftTGA);

  // The last byte picks the writer's variant.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  if (!io.Aborting && !io.Bitmap().IsEmpty()) {
    static constexpr int kBits[] = {1, 4, 8, 8};
    io.Params.SamplesPerPixel = (options & 1) ? 1 : 3;
    io.Params.BitsPerSample = kBits[(options >> 1) & 3];
    io.Params.TgaCompressed = options & 8;
    io.Params.TgaGrayLevel = options & 16;
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftTGA);
  }
  return 0;
}
