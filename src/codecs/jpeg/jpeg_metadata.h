// The metadata of JpegMarkers on the parameters' side: reading IPTC, EXIF
// and XMP after a load, and refreshing the segments before a save.
#pragma once

namespace lumora {

class TLmBitmap;
struct TIOParamsVals;

// Fills the IPTC list, the EXIF values and the XMP packet from the first
// segment of JpegMarkers that yields each. With `imageDecoded`, the EXIF
// orientation may turn `bitmap` upright (JpegAutoOrientation).
void ReadJpegMetadata(TIOParamsVals& params, TLmBitmap& bitmap, bool imageDecoded);

}  // namespace lumora
