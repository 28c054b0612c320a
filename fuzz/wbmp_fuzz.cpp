// libFuzzer target of the WBMP reader, through the I/O object as the viewer
// reaches it, then the writer (which scales what is larger than 255 x 255).
// The product's own limits apply; the harness only has to survive.
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
  fuzz::ReadThenLoad(io, stream, ftWBMP);
  if (!io.Aborting && !io.Bitmap().IsEmpty()) {
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftWBMP);
  }
  return 0;
}
