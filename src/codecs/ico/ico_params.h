// ICO and CUR fields of the I/O parameters (data only).
#pragma once

#include <array>
#include <cstdint>

#include "imageio/color.h"

namespace lumora {

struct TIcoSize {
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const TIcoSize&, const TIcoSize&) = default;
};

inline constexpr int kIcoMaxSizes = 16;

// ICO and CUR fields of TIOParamsVals.
struct TIcoParams {
  // Directory entry of an icon file to load.
  int32_t IcoImageIndex = 0;
  // Reading: the sizes of the directory; writing: one image per leading
  // entry whose width is above 0.
  std::array<TIcoSize, kIcoMaxSizes> IcoSizes = {TIcoSize{64, 64}};
  // One per IcoSizes entry; 0 when writing: derived from the image's depth.
  std::array<int32_t, kIcoMaxSizes> IcoBitCounts = {8};
  // Colour of the pixels the AND mask marks.
  TLmColor IcoBackground = 0xFFFFFF;
  // Directory entry of a cursor file to load.
  int32_t CurImageIndex = 0;
  // Hot spot of the loaded cursor image.
  int32_t CurHotSpotX = 0;
  int32_t CurHotSpotY = 0;
  TLmColor CurBackground = 0xFFFFFF;

  void SetImageIndex(int index) { IcoImageIndex = CurImageIndex = index; }
};

}  // namespace lumora
