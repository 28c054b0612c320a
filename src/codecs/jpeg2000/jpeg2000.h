// JPEG 2000 codec: JP2 files and bare code streams, read and written through
// OpenJPEG (jpeg2000_library.h holds the glue; this header stays free of it).
#pragma once

#include <string>

#include "codecs/jpeg2000/jpeg2000_params.h"
#include "imageio/codec.h"

namespace lumora {

// The reader of both forms: the stream must start with the JP2 signature box
// or with the code stream's SOC and SIZ markers. Failure gives a reason and
// leaves the bitmap as it was.
void J2kReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress);

// The writer: a JP2 file (`jp2File`) or a bare code stream. Takes pf24RGB
// and pf1g; other pixel formats are converted to pf24RGB on a copy.
void J2kWriteStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool jp2File,
                    TIOProgress& progress);

// The codec shape (imageio/codec.h) for the two rows of the format table.
void WriteJp2(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
void WriteJ2k(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribeJ2000(const TIOParamsVals& params);
// Thumbnail loads decode only the resolution levels the box needs.
void PrepareJ2000Thumbnail(TIOParamsVals& params, const TThumbnailRequest& request);

// The version of the JPEG 2000 library in use ("2.5.0").
const char* J2000LibraryVersion();

}  // namespace lumora
