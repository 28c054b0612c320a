#include "codecs/jpeg/jpeg_exif.h"

namespace lumora {

bool ReadJpegExif(std::span<const uint8_t>, TIOParamsVals&, bool) { return false; }

bool TakeExifThumbnail(TIOParamsVals&, TLmBitmap&) { return false; }

void ApplyExifOrientation(TIOParamsVals&, TLmBitmap&) {}

}  // namespace lumora
