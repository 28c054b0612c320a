// Thumbnails: a picture scaled into a box, through each format's fastest
// path (a JPEG decoded at 1/2, 1/4 or 1/8 of its size, an embedded EXIF
// preview) and then resampled. The thumbnail grid and the host's preview
// requests call it from worker threads; it shares nothing between calls.
#pragma once

#include <atomic>
#include <filesystem>

#include "imageio/bitmap.h"
#include "imageio/progress.h"

namespace lumora {

struct TIOParamsVals;

struct TThumbnailRequest {
  int Width = 0;                // the box the thumbnail must fit in
  int Height = 0;
  bool AllowEmbedded = true;    // an embedded preview may serve when large enough
  bool AutoOrientation = false; // turn upright by the file's orientation tag
  // Set from another thread to stop the load (it then fails as cancelled);
  // not owned, may be null.
  const std::atomic<bool>* Cancel = nullptr;
};

struct TThumbnail {
  TLmBitmap Bitmap;             // pf24RGB, within the box, aspect kept; empty on failure
  int OriginalWidth = 0;        // the picture's own size, as stored in the file
  int OriginalHeight = 0;
  TIOFailure Failure;           // why Bitmap is empty
};

// Where a format's fast path goes: it sets its own parameter fields for a
// thumbnail load (row of the format table, TFormatDescriptor::PrepareThumbnail).
using TPrepareThumbnailFunction = void (*)(TIOParamsVals& params, const TThumbnailRequest& request);

// Loads the thumbnail of a file. Never throws; false (with the reason in
// thumbnail.Failure) when the file cannot be read.
bool LoadThumbnail(const std::filesystem::path& name, const TThumbnailRequest& request, TThumbnail& thumbnail);

}  // namespace lumora
