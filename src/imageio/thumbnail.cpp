#include "imageio/thumbnail.h"

#include <algorithm>
#include <exception>

#include "imageio/formats.h"
#include "imageio/imageio.h"
#include "imageio/resample.h"

namespace lumora {

namespace {

// The largest size within the box with the picture's aspect; never larger
// than the picture itself.
void FitInBox(int width, int height, int boxWidth, int boxHeight, int& outWidth, int& outHeight) {
  const double scale = std::min({1.0, static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height});
  outWidth = std::max(1, static_cast<int>(width * scale + 0.5));
  outHeight = std::max(1, static_cast<int>(height * scale + 0.5));
}

}  // namespace

bool LoadThumbnail(const std::filesystem::path& name, const TThumbnailRequest& request, TThumbnail& thumbnail) {
  thumbnail.Bitmap.FreeImage();
  thumbnail.Failure = {};
  if (request.Width <= 0 || request.Height <= 0) {
    thumbnail.Failure = {TIOFailureKind::InvalidData, "empty thumbnail box"};
    return false;
  }
  try {
    TImageIO io(thumbnail.Bitmap);
    io.SetCancelFlag(request.Cancel);
    // Scaled decoders aim at Width x Height.
    io.Params.Width = request.Width;
    io.Params.Height = request.Height;
    io.Params.SetAutoOrientation(request.AutoOrientation);
    for (const TFormatDescriptor& format : BuiltInFormats())
      if (format.PrepareThumbnail) format.PrepareThumbnail(io.Params, request);
    io.LoadImage(name);
    TLmBitmap& bitmap = thumbnail.Bitmap;
    if (io.Aborting || bitmap.Width() <= 0 || bitmap.Height() <= 0) {
      thumbnail.Failure = io.LastFailure() ? io.LastFailure() : TIOFailure{TIOFailureKind::InvalidData, "no image"};
      bitmap.FreeImage();
      return false;
    }
    thumbnail.OriginalWidth = io.Params.OriginalWidth > 0 ? io.Params.OriginalWidth : bitmap.Width();
    thumbnail.OriginalHeight = io.Params.OriginalHeight > 0 ? io.Params.OriginalHeight : bitmap.Height();
    if (bitmap.PixelFormat() != pf24RGB) bitmap.SetPixelFormat(pf24RGB);
    int width = 0, height = 0;
    FitInBox(bitmap.Width(), bitmap.Height(), request.Width, request.Height, width, height);
    if ((width != bitmap.Width() || height != bitmap.Height()) && !ResampleBitmap(bitmap, width, height, true)) {
      thumbnail.Failure = {TIOFailureKind::OverLimit, "no memory to scale the thumbnail"};
      bitmap.FreeImage();
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    thumbnail.Failure = {TIOFailureKind::IOError, e.what()};
  } catch (...) {
    thumbnail.Failure = {TIOFailureKind::IOError, "the file or stream failed"};
  }
  thumbnail.Bitmap.FreeImage();
  return false;
}

}  // namespace lumora
