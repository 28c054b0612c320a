// TIOParamsVals: the parameters of the image last loaded or saved, and the
// options of the next save. One per TImageIO, owned by it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imageio/bitmap.h"
#include "imageio/format_params.h"
#include "imageio/filetypes.h"

namespace lumora {

// Resolution given to images whose file does not store a usable one.
inline constexpr int32_t kDefaultDpi = 300;

// One IPTC dataset: record and dataset numbers and its bytes.
struct TLmIPTCRecord {
  uint8_t Record = 0;
  uint8_t Dataset = 0;
  std::vector<uint8_t> Data;
};

// The IPTC information of an image (JPEG APP13, TIFF, PSD). A writer
// rebuilds its stored block from the records when UserChanged is set.
struct TLmIPTCInfoList {
  std::vector<TLmIPTCRecord> Records;
  bool UserChanged = false;
  void Clear() {
    Records.clear();
    UserChanged = false;
  }
};

// Fields every reader sets where they apply.
struct TCommonParams {
  std::filesystem::path FileName;     // last file loaded or saved; empty after a stream load
  TFileTypeId FileType = ftUnknown;   // format of the last load or save
  int32_t BitsPerSample = 8;          // bits per channel of the source image
  int32_t SamplesPerPixel = 3;        // channels of the source image
  int32_t Width = 0;                  // size loaded (on save: written)
  int32_t Height = 0;
  int32_t OriginalWidth = 0;          // size stored in the file, before load-time scaling
  int32_t OriginalHeight = 0;
  int32_t DpiX = kDefaultDpi;         // resolution, whole dots per inch
  int32_t DpiY = kDefaultDpi;
  double DpiXExact = kDefaultDpi;     // the same, unrounded
  double DpiYExact = kDefaultDpi;
  std::vector<TLmRGBTriple> ColorMap; // palette found in the file
  int32_t ImageCount = 1;             // images in the file, as the last reader found
  // Readers deliver paletted images as pf8p instead of expanding them.
  bool NativePixelFormat = false;
  // ICC profile read from the file, kept as data for writers (not applied).
  std::vector<uint8_t> InputIccProfile;
  // IPTC records and the XMP packet read from the file, kept for writers.
  TLmIPTCInfoList IptcInfo;
  std::string XmpPacket;

  int ColorMapCount() const { return static_cast<int>(ColorMap.size()); }
  // BitsPerSample and SamplesPerPixel of a file's pixel depth as BMP and TGA
  // store it: 1-8 bits one index or gray sample, 16 bits 5-bit RGB, 24 bits
  // RGB, 32 bits RGB and a fourth byte. Other depths change nothing.
  void SetSamplesFromPixelDepth(int bitsPerPixel);
  // Sets both the whole and the exact resolution.
  void SetDpi(double x, double y);
};

struct TIOParamsVals : TCommonParams, TFormatParams {
  // Every field to its default; Width and Height from the given bitmap size.
  void SetDefaults(int32_t width = 0, int32_t height = 0);
  // Forgets the metadata of the last image (run before every load).
  void ClearImageInfo();
  // Group setters over every format that has the field.
  void SetImageIndex(int index) { SetFormatImageIndex(index); }
  void SetAutoOrientation(bool on) { SetFormatAutoOrientation(on); }
};

}  // namespace lumora
