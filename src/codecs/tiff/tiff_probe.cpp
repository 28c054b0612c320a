// Content recognition of this format, run by imageio/detect.cpp in its
// fixed order.
#include "imageio/probe.h"

#include "codecs/tiff/tiff_directory.h"

namespace lumora {

namespace {

bool ReadFirstDirectory(TProbe& p, TTiffDirectory& dir, bool& bigEndian) {
  auto header = ReadTiffHeader(p.Data(), 0);
  if (!header) return false;
  bigEndian = header->BigEndian;
  return dir.Read(p.Data(), 0, header->FirstIfdOffset, header->BigEndian);
}

}  // namespace

bool IsHdPhoto(TProbe& p) {
  if (p.Size() <= 8 || !p.BytesAre(0, "II", 2)) return false;
  TTiffDirectory dir;
  bool bigEndian;
  if (!ReadFirstDirectory(p, dir, bigEndian)) return false;
  for (uint16_t tag : {0xBC80, 0xBC81, 0xBC01, 0xBCC0, 0xBCC1})
    if (!dir.Has(tag)) return false;
  return true;
}

bool IsTiff(TProbe& p) {
  if (p.Size() <= 8) return false;
  auto header = ReadTiffHeader(p.Data(), 0);
  if (!header || header->FirstIfdOffset >= static_cast<uint64_t>(p.Size())) return false;
  if (header->BigEndian) {
    uint8_t b8;
    if (p.ReadAt(8, &b8, 1) && b8 == 0xBA) return false;
  }
  TTiffDirectory dir;
  if (!dir.Read(p.Data(), 0, header->FirstIfdOffset, header->BigEndian)) return false;
  return dir.Has(256) && dir.Has(257);
}

// A TIFF-structured camera RAW file (DNG, CFA or linear raw data, TIFF/EP)
// that the TIFF reader should leave to the RAW codec.
bool IsCameraRawTiff(TProbe& p) {
  TTiffDirectory dir;
  bool bigEndian;
  if (!ReadFirstDirectory(p, dir, bigEndian)) return false;
  if (const TTiffEntry* dng = dir.Find(50706); dng && dng->Type == ttByte && dng->Count == 4) return true;
  if (const TTiffEntry* photometric = dir.Find(262);
      photometric && photometric->Type == ttShort && photometric->Count == 1) {
    int64_t v = dir.Integer(262, 0);
    if (v == 32803 || v == 34892) return true;
  }
  return dir.Has(330) && dir.Has(37398) && dir.Integer(256, 0) <= 199 && dir.Integer(257, 0) <= 199;
}

}  // namespace lumora
