// The one shape of every codec. A format family provides free functions
//
//   void Read<Fmt>(TLmStream&, TLmBitmap&, TIOParamsVals&, bool paramsOnly, TIOProgress&);
//   void Write<Fmt>(TLmStream&, TLmBitmap&, TIOParamsVals&, TIOProgress&);
//   int  Count<Fmt>(TLmStream&);                       // only multi-image formats
//
// and fills them into its row of the format table (imageio/formats.cpp).
// Readers start at the stream's position and never throw for bad data: they
// give a reason (progress.Fail(kind, "...")) and return. See
// docs/codec-guide.md.
#pragma once

#include "imageio/filetypes.h"

namespace lumora {

class TLmStream;
class TLmBitmap;
struct TIOParamsVals;
class TIOProgress;
struct TThumbnailRequest;

using TReadFunction = void (*)(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                               TIOProgress& progress);
using TWriteFunction = void (*)(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
// Recognises a format by content (external formats); gets its own id.
using TProbeFunction = bool (*)(TLmStream& stream, TFileTypeId fileType);
// Number of images in the stream, for formats that hold several.
using TCountFunction = int (*)(TLmStream& stream);

}  // namespace lumora
