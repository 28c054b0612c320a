// The probes run in a fixed order and the first match decides: the order
// matters where layouts overlap (a stream header before the plain formats,
// TIFF before camera RAW, the weak JPEG scan near the end). Each format's
// probe lives in its codec folder (imageio/probe.h); signatures of a few
// bytes are tested here in the list.
#include "imageio/detect.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "codecs/raw/raw_datastream.h"
#include "imageio/byteorder.h"
#include "imageio/osfile.h"
#include "imageio/probe.h"
#include "imageio/registry.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// "TIFF", "JFIF", "PCX2" followed by a zero byte: a stream header.
bool IsStreamHeader(TProbe& p, const char* tag) {
  char b[5];
  return p.Size() > 12 && p.ReadAt(0, b, 5) && std::memcmp(b, tag, 4) == 0 && b[4] == 0;
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
