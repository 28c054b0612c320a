// libFuzzer target of the PCX and DCX readers, through the I/O object as the
// viewer reaches them: the parameters-only read and the load, then a write
// of what was read (PCX at the depth the options pick, or a DCX page
// inserted into the input). Tight limits keep every run within the fuzzer's
// memory budget; the harness only has to survive.
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
  // The last byte picks the options: DCX or PCX, the page, the writer's depth.
  const uint8_t options = size > 0 ? data[size - 1] : 0;
  const TFileTypeId type = (options & 1) ? ftDCX : ftPCX;
  TImageIO io;
  io.Params.SetImageIndex((options >> 1) & 3);
  fuzz::ReadThenLoad(io, stream, type);
  if (io.Aborting || io.Bitmap().IsEmpty() || io.Bitmap().Width() * int64_t{io.Bitmap().Height()} > 4096) return 0;

  static constexpr int kDepths[4][2] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};
  io.Params.BitsPerSample = kDepths[(options >> 3) & 3][0];
  io.Params.SamplesPerPixel = kDepths[(options >> 3) & 3][1];
  io.Params.PcxCompression = (options >> 5) & 1;
  if (type == ftDCX) {
    TLmMemoryStream out;
    out.Data().assign(data, data + size);
    io.Params.DcxImageIndex = (options >> 6) & 3;
    io.SaveImageToStreamAs(out, ftDCX);  // a valid DCX grows by a page
  } else {
    TLmMemoryStream out;
    io.SaveImageToStreamAs(out, ftPCX);
  }
  return 0;
}
