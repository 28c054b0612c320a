// Pieces of the GIF reader that the frame reader and the composited load
// share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/gif_container.h"
#include "imageio/bitmap.h"

namespace lumora {

class TIOProgress;
struct TIOParamsVals;

enum class TGifFrameOutcome {
  kDecoded,  // the frame (or, parameters only, its values) was read
  kEmpty,    // the frame has no pixels (zero width or height)
  kStop,     // failure (aborting set) or no memory for the frame: end the walk
};

// Reads the header and global table and stores their fields. False (and
// aborting set) when the stream is not a GIF or nothing follows the header.
bool GifReadHeader(TLmStream& stream, TGifFileScan& scan, TIOProgress& progress, TIOParamsVals& params);

// Sets the frame's parameters and, unless `paramsOnly`, decodes it into
// `bitmap` and `mask` (reset first; left empty when no pixel is transparent).
TGifFrameOutcome GifDecodeFrame(TLmStream& stream, const TGifScreen& screen, const TGifFrameEntry& frame,
                                TLmBitmap& bitmap, bool ignoreTransparency, std::unique_ptr<TLmMask>& mask,
                                bool paramsOnly, TIOProgress& progress, TIOParamsVals& params);

void GifStoreFrameCount(TIOParamsVals& params, int count);
void GifAppendComments(TIOParamsVals& params, std::vector<std::string>&& comments);

}  // namespace lumora
