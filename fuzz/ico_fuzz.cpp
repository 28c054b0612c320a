// libFuzzer target of the ICO and CUR readers (and through them of the BMP
// and PNG readers on icon entries), through the I/O object as the viewer
// reaches them: the parameters-only read and the load of the entry the
// options pick, headerless or not, then an icon write of small images.
// Tight limits keep every run within the fuzzer's memory budget; the harness
// only has to survive.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "imageio/checked.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

using namespace lumora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UseTightLimits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLmByteViewStream stream(std::span<const uint8_t>(data, size));
  // The last byte picks the options: icon or cursor, the entry, headerless,
  // native pixel formats, the writer's depth.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  const TFileTypeId type = (options & 1) ? ftCUR : ftICO;
  TImageIO io;
  io.Params.SetImageIndex((options >> 1) & 3);
  io.Params.BmpHeaderless = (options & 0x18) == 0x18;
  io.Params.NativePixelFormat = options & 0x20;
  fuzz::ReadThenLoad(io, stream, type);
  if (io.Aborting || io.Bitmap().IsEmpty() || io.Bitmap().Width() * int64_t{io.Bitmap().Height()} > 4096) return 0;

  static constexpr int32_t kBits[4] = {1, 4, 8, 32};
  io.Params.IcoSizes = {TIcoSize{16, 16}, TIcoSize{24, 8}};
  io.Params.IcoBitCounts = {kBits[(options >> 6) & 3], 24};
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftICO);
  return 0;
}
