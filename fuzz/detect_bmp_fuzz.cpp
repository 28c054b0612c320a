// Content detection (all probes, the camera identification included) and
// the BMP reader and writer on arbitrary bytes. Tight limits keep every
// run within the fuzzer's memory budget; the harness only has to survive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "imageio/checked.h"
#include "imageio/detect.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

using namespace lumora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UseTightLimits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLmByteViewStream stream(std::span<const uint8_t>(data, size));
  DetectStreamType(stream);

  // The last byte picks the reader's options, so one input reaches the
  // alpha, paletted and headerless paths.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  TImageIO io;
  io.Params.BmpUseAlpha = options & 1;
  io.Params.NativePixelFormat = options & 2;
  io.Params.BmpHeaderless = options & 4;
  stream.SetPosition(0);
  io.ReadParamsFromStreamAs(stream, ftBMP);
  io.LoadImageFromStreamAs(stream, ftBMP);

  // What was read must also write.
  if (!io.Aborting && !io.Bitmap().IsEmpty()) {
    io.Params.BmpCompression = (options >> 3) & 1;
    io.Params.BmpVersion = (options >> 4) & 3;
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftBMP);
  }
  return 0;
}
