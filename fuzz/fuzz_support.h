// What the fuzz targets share: the limits some of them run under and the
// way the viewer reaches a reader.
#pragma once

#include "imageio/checked.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora::fuzz {

// Ceilings tighter than the product's, for targets whose decoders allocate
// the whole claimed picture before reading it: one run then stays within
// libFuzzer's memory budget.
inline void UseTightLimits() {
  SetImageLimits({.MaxDimension = 4096, .MaxPixels = 1 << 22, .MaxReadBlock = 1 << 24});
}

// The parameters-only read, then the load from the same start, as the
// viewer does with every file.
inline void ReadThenLoad(TImageIO& io, TLmStream& stream, TFileTypeId type) {
  const int64_t start = stream.Position();
  io.ReadParamsFromStreamAs(stream, type);
  stream.SetPosition(start);
  io.LoadImageFromStreamAs(stream, type);
}

}  // namespace lumora::fuzz
