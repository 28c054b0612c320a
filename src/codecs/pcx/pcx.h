// PCX codec (PC Paintbrush) and DCX, its multi-page container of whole PCX
// images behind a directory of page offsets.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/pcx/pcx_params.h"
#include "imageio/codec.h"

namespace lumora {

// The codec shape (imageio/codec.h).
void ReadPcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WritePcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
void ReadDcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
// Inserts one page at DcxImageIndex (an index past the last page appends).
// The stream is empty or a DCX file; it is rewritten whole.
void WriteDcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
// Number of pages in the DCX directory (0 when it is no DCX); the stream
// position is kept.
int CountDcx(TLmStream& stream);

// A PCX image that starts at the stream's position and occupies `byteCount`
// bytes (the whole file, or one DCX page).
void PcxRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress,
             int64_t byteCount);
void PcxWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

}  // namespace lumora
