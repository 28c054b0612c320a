#include "imageio/readerutil.h"

#include <algorithm>

#include "imageio/checked.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

bool AcceptImageSize(int64_t width, int64_t height, uint32_t bitsPerPixel, TIOProgress& progress) {
  if (CheckImageDimensions(width, height, bitsPerPixel) == TSizeCheck::Ok) return true;
  progress.Abort();
  return false;
}

bool ReadWholeBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress) {
  out.clear();
  if (CheckReadBlock(count, 1, stream.BytesLeft()) != TSizeCheck::Ok) {
    progress.Abort();
    return false;
  }
  out.resize(static_cast<size_t>(count));
  if (!stream.ReadExact(out.data(), out.size())) {
    out.clear();
    progress.Abort();
    return false;
  }
  return true;
}

bool ReadAvailableBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress) {
  out.clear();
  uint64_t available = std::min<uint64_t>(count, static_cast<uint64_t>(stream.BytesLeft()));
  if (CheckReadBlock(available, 1, -1) != TSizeCheck::Ok) {
    progress.Abort();
    return false;
  }
  out.resize(static_cast<size_t>(available));
  out.resize(stream.Read(out.data(), out.size()));
  return true;
}

}  // namespace lumora
