// BMP codec: Windows and OS/2 device-independent bitmaps, with the
// headerless form that icons embed.
#pragma once

#include <cstdint>
#include <string>

#include "imageio/codec.h"

namespace lumora {

class TLmMask;

// BMP fields of TIOParamsVals.
struct TBmpParams {
  // Header variant: 0 any size but 12, 40 and 64 (108, 124 ...); 1 the
  // 40-byte Windows header; 2 the 12-byte OS/2 1.x header; 3 the 64-byte
  // OS/2 2.x header. Set by the reader; the writer writes 40 bytes for 0 and 1.
  int32_t BmpVersion = 1;
  // 0 uncompressed, 1 run-length encoded (RLE8 for 8 bits, RLE4 for 4 bits).
  int32_t BmpCompression = 0;
  // Read the fourth byte of 32-bit pixels as alpha; write the alpha channel there.
  bool BmpUseAlpha = false;
  // The stream holds no 14-byte file header.
  bool BmpHeaderless = false;
};

// The codec shape (imageio/codec.h).
void ReadBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteBmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
std::string DescribeBmp(const TIOParamsVals& params);

// The full reader, for the icon reader and the load operations: `blockSize`
// bounds the data (0: unknown), `mask` receives the transparency of 32-bit
// images (may be null to drop it), `headerless` skips the file header.
void BmpRead(TLmStream& stream, TLmBitmap& bitmap, int64_t blockSize, bool ignoreAlpha, TLmMask* mask,
             bool headerless, bool paramsOnly, TIOProgress& progress, TIOParamsVals& params);
void BmpWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool useAlpha, TIOProgress& progress);

}  // namespace lumora
