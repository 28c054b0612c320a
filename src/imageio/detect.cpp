// The probes run in a fixed order and the first match decides: the order
// matters where layouts overlap (a stream header before the plain formats,
// TIFF before camera RAW, the weak JPEG scan near the end).
#include "imageio/detect.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codecs/pnm/pxm_token.h"
#include "codecs/raw/raw_datastream.h"
#include "codecs/tiff/tiff_directory.h"
#include "imageio/byteorder.h"
#include "imageio/osfile.h"
#include "imageio/registry.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// The PNM probe reads its tokens from at most this many bytes: a header of
// 501 tokens with comments fits many times over, and a file of letters
// cannot make the probe read it whole.
constexpr int64_t kPnmProbeWindow = 1 << 20;
// JPEG data may follow a little junk (probe 26 looks this far).
constexpr int kJpegSearchPositions = 150;

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

// "TIFF", "JFIF", "PCX2" followed by a zero byte: a stream header.
bool IsStreamHeader(TProbe& p, const char* tag) {
  char b[5];
  return p.Size() > 12 && p.ReadAt(0, b, 5) && std::memcmp(b, tag, 4) == 0 && b[4] == 0;
}

bool ReadFirstDirectory(TProbe& p, TTiffDirectory& dir, bool& bigEndian) {
  auto header = ReadTiffHeader(p.Data(), 0);
  if (!header) return false;
  bigEndian = header->BigEndian;
  return dir.Read(p.Data(), 0, header->FirstIfdOffset, header->BigEndian);
}

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

bool IsIconDirectory(TProbe& p, uint16_t resourceType) {
  if (p.Size() < 23) return false;
  uint16_t reserved, type, count;
  if (!p.LE16(0, reserved) || !p.LE16(2, type) || !p.LE16(4, count)) return false;
  if (reserved != 0 || type != resourceType || count == 0) return false;
  for (int i = 0; i < count; ++i) {
    uint8_t entry[16];
    int64_t at = 6 + int64_t{16} * i;
    if (!p.ReadAt(at, entry, sizeof entry)) return false;
    if (entry[3] != 0 || ReadLE32(entry + 8) == 0 || ReadLE32(entry + 12) < at + 16) return false;
  }
  return true;
}

bool IsTarga(TProbe& p) {
  uint8_t h[18];
  if (!p.ReadAt(0, h, sizeof h)) return false;
  const uint8_t type = h[2], mapType = h[1], depth = h[16];
  const bool typeOk = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
  const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
  return typeOk && mapType <= 1 && depthOk && ReadLE16(h + 12) != 0 && ReadLE16(h + 14) != 0;
}

// Decimal value of a PNM header token; -1 when it is not a number.
int64_t PnmNumber(const std::string& token) {
  if (token.empty() || token.size() > 18) return -1;
  int64_t v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool IsPnm(TProbe& p) {
  p.Data().SetPosition(0);
  TLmSubStream window(p.Data(), 0, kPnmProbeWindow);
  int64_t width = 0, height = 0;
  bool haveMagic = false, bilevel = false;
  int maxValueTokens = 0;
  for (int tokens = 0; tokens < 501; ++tokens) {
    std::string token = PxmReadToken(window);
    if (token.empty()) break;
    if (token[0] == '#') continue;
    if (!haveMagic) {
      if (token.size() != 2 || token[0] != 'P' || token[1] < '1' || token[1] > '6') return false;
      haveMagic = true;
      bilevel = token[1] == '1' || token[1] == '4';
      continue;
    }
    int64_t value = PnmNumber(token);
    if (width == 0) {
      if (value != 0) width = value;
    } else if (height == 0) {
      if (value != 0) height = value;
      if (height != 0 && bilevel) break;
    } else if (++maxValueTokens == 1) {
      break;
    }
  }
  return width > 0 && height > 0;
}

bool IsJpeg2000File(TProbe& p) {
  uint32_t a, b, c;
  return p.BE32(0, a) && p.BE32(4, b) && p.BE32(8, c) && a == 12 && b == 0x6A502020 && c == 0x0D0A870A;
}

bool IsJpeg2000CodeStream(TProbe& p) {
  uint16_t soc, siz;
  return p.BE16(0, soc) && p.BE16(2, siz) && soc == 0xFF4F && siz == 0xFF51;
}

bool IsDcx(TProbe& p) {
  uint32_t magic;
  if (!p.LE32(0, magic) || magic != 0x3ADE68B1) return false;
  for (int i = 0; i < 1024; ++i) {
    uint32_t offset;
    if (!p.LE32(4 + int64_t{4} * i, offset) || offset == 0) break;
    if (offset >= static_cast<uint64_t>(p.Size())) return false;
  }
  return true;
}

bool IsWmf(TProbe& p) {
  uint32_t key;
  int64_t header = p.LE32(0, key) && key == 0x9AC6CDD7 ? 22 : 0;
  uint8_t h[18];
  if (!p.ReadAt(header, h, sizeof h)) return false;
  return ReadLE16(h) == 1 && ReadLE16(h + 2) == 9 && ReadLE16(h + 16) == 0;
}

bool IsEmf(TProbe& p) {
  uint8_t h[44];
  if (!p.ReadAt(0, h, sizeof h)) return false;
  return ReadLE32(h) == 1 && ReadLE32(h + 40) == 0x464D4520;
}

bool IsPsd(TProbe& p) {
  uint8_t h[26];
  if (!p.ReadAt(0, h, sizeof h) || std::memcmp(h, "8BPS", 4) != 0) return false;
  const uint16_t version = ReadBE16(h + 4), channels = ReadBE16(h + 12), depth = ReadBE16(h + 22),
                 mode = ReadBE16(h + 24);
  return version == 1 && channels >= 1 && channels <= 24 && depth >= 1 && depth <= 16 && mode <= 9;
}

bool IsVectorObjects(TProbe& p, int64_t at) {
  uint8_t h[4];
  return p.ReadAt(at, h, 4) && std::memcmp(h, "LMV", 3) == 0 && h[3] >= 0x31 && h[3] <= 0x52;
}

bool IsLayers(TProbe& p) {
  uint8_t h[17];
  return p.ReadAt(0, h, sizeof h) && std::memcmp(h, "LUMORA-LAYERS", 13) == 0 &&
         static_cast<int32_t>(ReadLE32(h + 13)) > 0;
}

bool IsLayersAndObjects(TProbe& p) {
  uint32_t offset;
  return p.LE32(0, offset) && offset <= static_cast<uint64_t>(p.Size()) && IsLayers(p) &&
         IsVectorObjects(p, offset);
}

bool HasJpegMarkerNearStart(TProbe& p) {
  uint8_t b[kJpegSearchPositions + 2] = {};
  p.Data().SetPosition(0);
  size_t got = p.Data().Read(b, sizeof b);
  for (size_t i = 0; i + 2 < got && i < kJpegSearchPositions; ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF) return true;
  return false;
}

TFileTypeId ExternalProbe(TProbe& p) {
  for (int i = 0; i < FormatCount(); ++i) {
    const TLmFileFormatInfo* e = FormatAt(i);
    if (!e || !e->Probe || e->BuiltIn) continue;
    p.Data().SetPosition(0);
    if (e->Probe(p.Data(), e->FileTypeId)) return e->FileTypeId;
  }
  return ftUnknown;
}

TFileTypeId RunProbes(TProbe& p) {
  const int64_t size = p.Size();
  uint8_t h[4] = {};
  p.ReadAt(0, h, 4);
  if (IsStreamHeader(p, "JFIF")) return ftJPEG;
  if (size > 13 && std::memcmp(h, "GIF", 3) == 0) return ftGIF;
  if (IsStreamHeader(p, "PCX2")) return ftPCX;
  if (size > 4 && std::memcmp(h, "PCX", 4) == 0) return ftPCX;  // "PCX" and its zero byte
  if (size > 14 && ReadLE16(h) == 0x4D42) return ftBMP;
  if (size > 128 && h[0] == 0x0A && h[1] <= 5) return ftPCX;
  if (IsStreamHeader(p, "TIFF")) return ftTIFF;
  if (IsHdPhoto(p)) return ftHDP;
  if (IsTiff(p) && !IsCameraRawTiff(p)) return ftTIFF;
  if (size > 8 && p.BytesAre(0, "\x89PNG", 4)) return ftPNG;
  if (p.BytesAre(128, "DICM", 4)) return ftDICOM;
  if (IsIconDirectory(p, 1)) return ftICO;
  if (IsIconDirectory(p, 2)) return ftCUR;
  if (IsTarga(p)) return ftTGA;
  if (IsPnm(p)) return ftPXM;
  if (IsJpeg2000File(p)) return ftJP2;
  if (IsJpeg2000CodeStream(p)) return ftJ2K;
  if (p.BytesAre(0, "RIFF", 4) && p.BytesAre(8, "AVI ", 4)) return ftAVI;
  if (IsDcx(p)) return ftDCX;
  if (IsWmf(p)) return ftWMF;
  if (IsEmf(p)) return ftEMF;
  if (IsPsd(p)) return ftPSD;
  if (IsVectorObjects(p, 0)) return ftLMV;
  if (IsLayers(p)) return ftLYR;
  if (IsLayersAndObjects(p)) return ftALL;
  if (HasJpegMarkerNearStart(p)) return ftJPEG;
  if (TFileTypeId external = ExternalProbe(p); external != ftUnknown) return external;
  p.Data().SetPosition(0);
  if (RawIdentifyStream(p.Data())) return ftRAW;
  return ftUnknown;
}

}  // namespace

TFileTypeId DetectStreamType(TLmStream& stream) {
  int64_t start = 0;
  try {
    start = stream.Position();
  } catch (...) {
    return ftUnknown;
  }
  TFileTypeId result = ftUnknown;
  try {
    // Probes read small pieces many times: a relative buffer in front of
    // the source makes position 0 the detection start.
    TLmBufferedReadStream data(stream, 4096, /*relative=*/true);
    TProbe probe(data, stream.Size());
    result = RunProbes(probe);
  } catch (...) {
    result = ftUnknown;
  }
  try {
    stream.SetPosition(start);
  } catch (...) {
  }
  return result;
}

TFileTypeId DetectFileType(const std::filesystem::path& name, bool verifyExtension) {
  if (name.empty() || !IsExistingFile(name)) return ftUnknown;
  TFileTypeId content = ftUnknown;
  try {
    TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
    content = DetectStreamType(file);
  } catch (...) {
    content = ftUnknown;
  }
  const TLmFileFormatInfo* entry = FindFormatByExtension(ExtractExtension(name, true));
  if (entry && entry->FileTypeId == ftRAW && content == ftTIFF) return ftRAW;
  if (entry && !entry->BuiltIn) return entry->FileTypeId;
  if (verifyExtension && content != ftUnknown) {
    if (!entry) return ftUnknown;
    if (entry->FileTypeId == content) return content;
    // Icons and cursors share one layout: the extension tells them apart.
    const bool iconContent = content == ftICO || content == ftCUR;
    const bool iconEntry = entry->FileTypeId == ftICO || entry->FileTypeId == ftCUR;
    return iconContent && iconEntry ? entry->FileTypeId : ftUnknown;
  }
  return content;
}

}  // namespace lumora
