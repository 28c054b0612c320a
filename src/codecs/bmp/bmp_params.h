// BMP fields of the I/O parameters (data only: included by every user of
// TIOParamsVals, so it stays free of functions and heavy headers).
#pragma once

#include <cstdint>

namespace lumora {

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

}  // namespace lumora
