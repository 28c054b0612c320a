// PCX and DCX fields of the I/O parameters (data only).
#pragma once

#include <cstdint>

namespace lumora {

// PCX and DCX fields of TIOParamsVals.
struct TPcxParams {
  // Header version byte, stored as read and written back.
  uint8_t PcxVersion = 5;
  // 0 uncompressed, 1 run-length encoded; the writer encodes when not 0.
  uint8_t PcxCompression = 1;
  // Page of a DCX file to read (0-based); where the writer inserts its page.
  int32_t DcxImageIndex = 0;

  void SetImageIndex(int index) { DcxImageIndex = index; }
};

}  // namespace lumora
