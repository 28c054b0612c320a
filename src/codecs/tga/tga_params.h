// TGA fields of the I/O parameters (data only).
#pragma once

#include <cstdint>
#include <string>

#include "imageio/color.h"

namespace lumora {

// A date and time as the extension area stores it. All zero means "not
// set": the writer then stamps the file with the current local time.
struct TTgaDateTime {
  int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  bool IsSet() const { return Month != 0; }
  friend bool operator==(const TTgaDateTime&, const TTgaDateTime&) = default;
};

// TGA fields of TIOParamsVals.
struct TTgaParams {
  // Origin fields of the header, read and written back as they are.
  int32_t TgaXOrigin = 0;
  int32_t TgaYOrigin = 0;
  // The image is (read) or is to be (written) run-length encoded.
  bool TgaCompressed = true;
  // Image identification field.
  std::string TgaImageId;
  // Extension area: author, date stamp, job name, key colour, pixel aspect
  // ratio and gamma.
  std::string TgaAuthor;
  TTgaDateTime TgaDate;
  std::string TgaJobName;
  TLmRGBTriple TgaKeyColor{};
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  // An 8-bit image without colour map is gray; the writer writes 8-bit
  // images as gray levels when set.
  bool TgaGrayLevel = false;
};

}  // namespace lumora
