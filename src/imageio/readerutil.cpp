#include "imageio/readerutil.h"

#include <algorithm>

#include "imageio/checked.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

bool FailSizeCheck(TSizeCheck check, const char* what, TIOProgress& progress) {
  if (check == TSizeCheck::Ok) return true;
  const bool over = check == TSizeCheck::OverLimit;
  progress.Fail(over ? TIOFailureKind::OverLimit : TIOFailureKind::InvalidData,
                std::string(what) + (over ? " over our limit" : " impossible"));
  return false;
}

bool AcceptImageSize(int64_t width, int64_t height, uint32_t bitsPerPixel, TIOProgress& progress) {
  return FailSizeCheck(CheckImageDimensions(width, height, bitsPerPixel), "image size", progress);
}

bool ReadWholeBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress) {
  out.clear();
  if (!FailSizeCheck(CheckReadBlock(count, 1, stream.BytesLeft()), "data block", progress)) return false;
  out.resize(static_cast<size_t>(count));
  if (!stream.ReadExact(out.data(), out.size())) {
    out.clear();
    progress.Fail(TIOFailureKind::InvalidData, "data end early");
    return false;
  }
  return true;
}

bool ReadAvailableBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress) {
  out.clear();
  uint64_t available = std::min<uint64_t>(count, static_cast<uint64_t>(stream.BytesLeft()));
  if (!FailSizeCheck(CheckReadBlock(available, 1, -1), "data block", progress)) return false;
  out.resize(static_cast<size_t>(available));
  out.resize(stream.Read(out.data(), out.size()));
  return true;
}

}  // namespace lumora
