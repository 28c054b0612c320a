// Content probes: each format's recogniser lives in its codec folder
// (src/codecs/<format>/<format>_probe.cpp); imageio/detect.cpp runs them in
// one fixed order, since layouts overlap and the first match decides.
#pragma once

#include <cstdint>
#include <cstring>

#include "imageio/byteorder.h"
#include "imageio/stream.h"

namespace lumora {

// Probes see the data from the detection start as position 0 and the whole
// source's size, as the detection rules are written against it.
class TProbe {
 public:
  TProbe(TLmStream& data, int64_t totalSize) : data_(data), size_(totalSize) {}

  TLmStream& Data() { return data_; }
  int64_t Size() const { return size_; }

  // Reads `count` bytes at relative position `offset`; false when short.
  bool ReadAt(int64_t offset, void* buffer, size_t count) {
    data_.SetPosition(offset);
    return data_.ReadExact(buffer, count);
  }
  bool BytesAre(int64_t offset, const char* text, size_t count) {
    char buffer[16];
    return count <= sizeof buffer && ReadAt(offset, buffer, count) && std::memcmp(buffer, text, count) == 0;
  }
  bool LE16(int64_t offset, uint16_t& v) {
    uint8_t b[2];
    if (!ReadAt(offset, b, 2)) return false;
    v = ReadLE16(b);
    return true;
  }
  bool LE32(int64_t offset, uint32_t& v) {
    uint8_t b[4];
    if (!ReadAt(offset, b, 4)) return false;
    v = ReadLE32(b);
    return true;
  }
  bool BE16(int64_t offset, uint16_t& v) {
    uint8_t b[2];
    if (!ReadAt(offset, b, 2)) return false;
    v = ReadBE16(b);
    return true;
  }
  bool BE32(int64_t offset, uint32_t& v) {
    uint8_t b[4];
    if (!ReadAt(offset, b, 4)) return false;
    v = ReadBE32(b);
    return true;
  }

 private:
  TLmStream& data_;
  int64_t size_;
};

// tiff
bool IsHdPhoto(TProbe& p);
bool IsTiff(TProbe& p);
// A TIFF-structured camera RAW file (DNG, CFA or linear raw data, TIFF/EP)
// that the TIFF reader should leave to the RAW codec.
bool IsCameraRawTiff(TProbe& p);
// ico
bool IsIconDirectory(TProbe& p, uint16_t resourceType);
// tga
bool IsTarga(TProbe& p);
// pnm
bool IsPnm(TProbe& p);
// jpeg2000
bool IsJpeg2000File(TProbe& p);
bool IsJpeg2000CodeStream(TProbe& p);
// pcx
bool IsDcx(TProbe& p);
// metafile
bool IsWmf(TProbe& p);
bool IsEmf(TProbe& p);
// psd
bool IsPsd(TProbe& p);
// layers
bool IsVectorObjects(TProbe& p, int64_t at);
bool IsLayers(TProbe& p);
bool IsLayersAndObjects(TProbe& p);
// jpeg
bool HasJpegMarkerNearStart(TProbe& p);

}  // namespace lumora
