// Where EXIF reading plugs into the JPEG codec.
//
// The EXIF block of an APP1 segment is a TIFF structure; reading it (the
// EXIF values, the orientation, the resolution and the thumbnail image)
// needs the TIFF directory reader, which is not part of the library yet.
// Until it is, these functions find nothing, the EXIF segment stays in
// JpegMarkers and a save writes it back unchanged. Wiring EXIF in means
// filling the two functions below and setting kJpegExifReaderAvailable.
#pragma once

#include <cstdint>
#include <span>

namespace lumora {

class TLmBitmap;
struct TIOParamsVals;

// Whether ReadJpegExif can read anything; the EXIF-thumbnail pass of the
// reader is skipped while it cannot.
inline constexpr bool kJpegExifReaderAvailable = false;

// Reads the TIFF structure of an EXIF block (the data after "Exif", 0, 0)
// into the parameters: the EXIF values including orientation and
// resolution, ExifPresent, and, with `readThumbnail`, the thumbnail image
// turned upright. False when nothing was read.
bool ReadJpegExif(std::span<const uint8_t> tiffData, TIOParamsVals& params, bool readThumbnail);

// Moves the EXIF thumbnail that ReadJpegExif stored in the parameters into
// `bitmap`; false when there is none.
bool TakeExifThumbnail(TIOParamsVals& params, TLmBitmap& bitmap);

// Turns the decoded image upright by the EXIF orientation value and sets
// the orientation values to 1.
void ApplyExifOrientation(TIOParamsVals& params, TLmBitmap& bitmap);

}  // namespace lumora
