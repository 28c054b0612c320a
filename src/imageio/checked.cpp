#include "imageio/checked.h"

namespace lumora {

namespace {
TImageLimits gLimits;
}

void SetImageLimits(const TImageLimits& limits) { gLimits = limits; }

const TImageLimits& ImageLimits() { return gLimits; }

TSizeCheck CheckImageDimensions(int64_t width, int64_t height, uint32_t bitsPerPixel) {
  if (width <= 0 || height <= 0 || bitsPerPixel == 0) return TSizeCheck::Invalid;
  const TImageLimits& limits = ImageLimits();
  if (width > limits.MaxDimension || height > limits.MaxDimension) return TSizeCheck::OverLimit;
  auto pixels = CheckedMul(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
  if (!pixels || *pixels > limits.MaxPixels) return TSizeCheck::OverLimit;
  auto row = PaddedRowLength(static_cast<uint64_t>(width), bitsPerPixel);
  if (!row || !ImageByteSize(*row, static_cast<uint64_t>(height))) return TSizeCheck::OverLimit;
  return TSizeCheck::Ok;
}

TSizeCheck CheckReadBlock(uint64_t count, uint64_t elementSize, int64_t bytesLeft) {
  auto bytes = CheckedMul(count, elementSize);
  if (!bytes) return TSizeCheck::Invalid;
  if (bytesLeft >= 0 && *bytes > static_cast<uint64_t>(bytesLeft)) return TSizeCheck::Invalid;
  if (*bytes > ImageLimits().MaxReadBlock || !ToSizeT(*bytes)) return TSizeCheck::OverLimit;
  return TSizeCheck::Ok;
}

}  // namespace lumora
