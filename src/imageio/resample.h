// Resampling a whole bitmap to a new size (used by the load-time resolution
// adjustment). The plain method picks the nearest pixel in the bitmap's own
// format; the filtered one converts to pf24RGB and averages.
#pragma once

namespace lumora {

class TLmBitmap;

// Resamples the pixels and the alpha channel. False (bitmap unchanged) when
// the new image cannot be allocated or a size is not positive.
bool ResampleBitmap(TLmBitmap& bitmap, int width, int height, bool filtered);

}  // namespace lumora
