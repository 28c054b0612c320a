// libFuzzer target of the JPEG 2000 reader (JP2 files and code streams),
// through the I/O object as the viewer reaches it: the parameters-only read,
// the load at full and at reduced resolution, in the default and the native
// pixel formats, then a write of what was read. Tight limits keep every run
// within the fuzzer's memory budget; the harness only has to survive.
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
  // The last byte picks the options, so one input reaches both forms of
  // the pixel formats, a reduction and both writers.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  const TFileTypeId type = size >= 4 && data[0] == 0xFF ? ftJ2K : ftJP2;
  TImageIO io;
  io.Params.NativePixelFormat = options & 1;
  io.Params.J2000Reduce = (options >> 1) & 3;
  fuzz::ReadThenLoad(io, stream, type);

  if (!io.Aborting && !io.Bitmap().IsEmpty() && (options & 8) &&
      static_cast<int64_t>(io.Bitmap().Width()) * io.Bitmap().Height() <= 1 << 16) {
    io.Params.J2000ColorSpace = (options >> 4) & 3;
    io.Params.J2000Rate = options & 64 ? 0.1 : 1.0;
    TLmMemoryStream out;
    try {
      io.SaveImageToStreamAs(out, options & 128 ? ftJP2 : ftJ2K);
    } catch (const ELmIOError&) {
    }
  }
  return 0;
}
