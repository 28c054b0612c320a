// PNM fields of the I/O parameters (data only).
#pragma once

#include <string>
#include <vector>

namespace lumora {

// PNM fields of TIOParamsVals (WBMP has none).
struct TPxmParams {
  // Comments of the header last read (the text after "#", trimmed), and
  // the comments the writer puts in the header.
  std::vector<std::string> PxmComments;
};

}  // namespace lumora
