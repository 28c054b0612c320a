// The rule by which the PNM and WBMP readers tell a truncated file (whose
// rows read so far are shown) from a tiny header claiming a huge image
// (refused before anything is allocated).
#pragma once

#include <algorithm>
#include <cstdint>

#include "imageio/checked.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora::pnm {

// A pixel store up to this size is allocated even for a file cut short.
inline constexpr uint64_t kSmallImageBytes = uint64_t{1} << 24;
// Larger images need at least this fraction (1/n) of their data.
inline constexpr uint64_t kMinPresentFraction = 8;

// `needed`: the fewest bytes that can hold the whole raster; `bitsPerPixel`:
// of the pixel store. False (aborting set) when the data cannot describe
// the image.
inline bool DataCanDescribeImage(TLmStream& stream, uint64_t needed, int64_t width, int64_t height,
                                 uint32_t bitsPerPixel, TIOProgress& progress) {
  const uint64_t left = static_cast<uint64_t>(std::max<int64_t>(stream.BytesLeft(), 0));
  if (left >= needed || left >= needed / kMinPresentFraction) return true;
  const auto row = PaddedRowLength(static_cast<uint64_t>(width), bitsPerPixel);
  const auto store = row ? ImageByteSize(*row, static_cast<uint64_t>(height)) : std::nullopt;
  if (store && *store <= kSmallImageBytes) return true;
  progress.Fail(TIOFailureKind::InvalidData, "image data far shorter than the image");
  return false;
}

}  // namespace lumora::pnm
