#include "imageio/registry.h"

#include <vector>

#include "imageio/osfile.h"

namespace lumora {

namespace {

// Built-in entries carry these in their slots: only whether a slot is set
// matters, the work is dispatched by id.
void PlaceholderReader(TLmStream&, TLmBitmap&, TIOParamsVals&, bool, TIOProgress&) {}
void PlaceholderWriter(TLmStream&, TLmBitmap&, TIOParamsVals&, TIOProgress&) {}
bool PlaceholderProbe(TLmStream&, TFileTypeId) { return false; }

struct TBuiltInFormat {
  TFileTypeId Id;
  const char* DisplayName;
  const char* Extensions;
  uint16_t ParamsPages;
  bool CanRead;
  bool CanWrite;
};

constexpr TBuiltInFormat kBuiltInFormats[] = {
    {ftTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", ppTIFF, true, true},
    {ftGIF, "CompuServe Bitmap", "GIF", ppGIF, true, true},
    {ftJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", ppJPEG, true, true},
    {ftPCX, "PaintBrush", "PCX", ppPCX, true, true},
    {ftBMP, "Windows Bitmap", "BMP;DIB;RLE", ppBMP, true, true},
    {ftRawBitmap, "Raw Bitmap", "", 0, true, true},
    {ftICO, "Windows Icon", "ICO", 0, true, true},
    {ftCUR, "Windows Cursor", "CUR", 0, true, false},
    {ftPNG, "Portable Network Graphics", "PNG", ppPNG, true, true},
    {ftDICOM, "DICOM Bitmap", "DCM;DIC;DICOM;V2", 0, true, false},
    {ftWMF, "Windows Metafile", "WMF", 0, true, false},
    {ftEMF, "Enhanced Windows Metafile", "EMF", 0, true, false},
    {ftTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", ppTGA, true, true},
    {ftPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
    {ftWBMP, "Wireless Bitmap", "WBMP", 0, true, true},
    {ftJP2, "JPEG2000", "JP2", ppJ2000, true, true},
    {ftJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", ppJ2000, true, true},
    {ftPS, "PostScript Level 2", "PS;EPS", 0, false, true},
    {ftPDF, "Adobe PDF", "PDF", 0, false, true},
    {ftDCX, "Multipage PCX", "DCX", 0, true, true},
    {ftRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true, false},
    {ftPSD, "Photoshop PSD", "PSD", 0, true, true},
    {ftLMV, "Vectorial objects", "LMV", 0, true, true},
    {ftLYR, "Layers", "LYR", 0, true, true},
    {ftALL, "Layers and objects", "ALL", 0, true, true},
};

constexpr TBuiltInFormat kHdPhotoFormat = {ftHDP, "Microsoft HD Photo", "WDP;HDP", 0, true, true};

std::unique_ptr<TLmFileFormatInfo> MakeBuiltIn(const TBuiltInFormat& f) {
  auto entry = std::make_unique<TLmFileFormatInfo>();
  entry->FileTypeId = f.Id;
  entry->DisplayName = f.DisplayName;
  entry->ExtensionList = f.Extensions;
  entry->BuiltIn = true;
  entry->ParamsPages = f.ParamsPages;
  entry->Reader = f.CanRead ? PlaceholderReader : nullptr;
  entry->Writer = f.CanWrite ? PlaceholderWriter : nullptr;
  entry->Probe = PlaceholderProbe;
  return entry;
}

using TRegistry = std::vector<std::unique_ptr<TLmFileFormatInfo>>;

// Built on first use (thread-safe static initialisation), freed at exit.
TRegistry& Registry() {
  static TRegistry registry = [] {
    TRegistry r;
    for (const auto& f : kBuiltInFormats) r.push_back(MakeBuiltIn(f));
    if (HdPhotoCodecAvailable()) r.push_back(MakeBuiltIn(kHdPhotoFormat));
    return r;
  }();
  return registry;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// The n-th piece of a ";" list, or nullopt-like empty when it runs out.
std::string_view ListItem(std::string_view list, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    size_t semi = list.find(';', start);
    if (semi == std::string_view::npos) return {};
    start = semi + 1;
  }
  size_t end = list.find(';', start);
  return list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace

void RegisterFileFormat(std::unique_ptr<TLmFileFormatInfo> entry) {
  if (entry) Registry().push_back(std::move(entry));
}

void UnregisterFileFormat(TFileTypeId fileType) {
  auto& r = Registry();
  for (auto it = r.begin(); it != r.end(); ++it) {
    if ((*it)->FileTypeId == fileType) {
      r.erase(it);
      return;
    }
  }
}

const TLmFileFormatInfo* FindFormatByType(TFileTypeId fileType) {
  for (const auto& e : Registry())
    if (e->FileTypeId == fileType) return e.get();
  return nullptr;
}

const TLmFileFormatInfo* FindFormatByExtension(std::string_view extension) {
  std::string wanted = AsciiLower(extension);
  if (!wanted.empty() && wanted.front() == '.') wanted.erase(0, 1);
  if (wanted.empty()) return nullptr;
  for (const auto& e : Registry()) {
    for (int i = 0;; ++i) {
      std::string_view ext = ListItem(e->ExtensionList, i);
      if (ext.empty()) break;
      if (AsciiLower(ext) == wanted) return e.get();
    }
  }
  return nullptr;
}

std::string FormatExtension(TFileTypeId fileType, int index) {
  const TLmFileFormatInfo* e = FindFormatByType(fileType);
  if (!e || index < 0) return {};
  return std::string(ListItem(e->ExtensionList, index));
}

int FormatExtensionCount(TFileTypeId fileType) {
  int n = 0;
  while (!FormatExtension(fileType, n).empty()) ++n;
  return n;
}

std::string ExtractExtension(std::string_view utf8Name, bool withDot) {
  size_t dot = utf8Name.find_last_of(".\\/:");
  if (dot == std::string_view::npos || utf8Name[dot] != '.') return {};
  return AsciiLower(utf8Name.substr(withDot ? dot : dot + 1));
}

std::string ExtractExtension(const std::filesystem::path& name, bool withDot) {
  return ExtractExtension(std::string_view(PathToUtf8(name)), withDot);
}

bool IsReadableExtension(const std::filesystem::path& name) {
  const TLmFileFormatInfo* e = FindFormatByExtension(ExtractExtension(name, true));
  return e && e->Reader;
}

int FormatCount() { return static_cast<int>(Registry().size()); }

const TLmFileFormatInfo* FormatAt(int index) {
  auto& r = Registry();
  return index >= 0 && index < static_cast<int>(r.size()) ? r[index].get() : nullptr;
}

void RefreshGifFormatSlots(bool decoderInstalled, bool encoderInstalled) {
  for (auto& e : Registry()) {
    if (e->FileTypeId == ftGIF && e->BuiltIn) {
      e->Reader = decoderInstalled ? PlaceholderReader : nullptr;
      e->Writer = encoderInstalled ? PlaceholderWriter : nullptr;
      return;
    }
  }
}

#ifndef _WIN32
// The HD Photo codec is a Windows imaging component; elsewhere it is absent.
bool HdPhotoCodecAvailable() { return false; }
#endif

}  // namespace lumora
