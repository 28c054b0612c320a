// PCX reader: 1, 2, 4 and 8 bits in one plane, 1 bit in two to four planes
// (bit p of the palette index in plane p), 8 bits in three planes (red,
// green, blue) or four (the fourth is alpha); raw or run-length encoded.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/pcx/pcx.h"
#include "codecs/pcx/pcx_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace pcx;

struct TPcxHeader {
  uint8_t Version = 0;
  uint8_t Encoding = 0;
  int Bits = 0;
  int Planes = 0;
  int64_t Width = 0, Height = 0;
  int DpiX = 0, DpiY = 0;
  uint32_t BytesPerLine = 0;
  TLmRGBTriple Palette[kHeaderPaletteEntries];
};

// Fills the header or gives the reason it cannot describe an image.
const char* ParseHeader(const uint8_t* h, TPcxHeader& header) {
  if (h[0] != kManufacturer) return "not a PCX header";
  header.Version = h[1];
  header.Encoding = h[2];
  if (header.Encoding > 1) return "unknown PCX encoding";
  header.Bits = h[3];
  header.Planes = h[65];
  const int xmin = ReadLE16(h + 4), ymin = ReadLE16(h + 6), xmax = ReadLE16(h + 8), ymax = ReadLE16(h + 10);
  if (xmax < xmin || ymax < ymin) return "PCX window ends before it starts";
  header.Width = int64_t{xmax} - xmin + 1;
  header.Height = int64_t{ymax} - ymin + 1;
  header.DpiX = ReadLE16(h + 12);
  header.DpiY = ReadLE16(h + 14);
  header.BytesPerLine = ReadLE16(h + 66);
  for (int i = 0; i < kHeaderPaletteEntries; ++i) {
    const uint8_t* p = h + kHeaderPaletteOffset + 3 * i;
    header.Palette[i] = TLmRGBTriple::FromRGB(p[0], p[1], p[2]);
  }
  return nullptr;
}

// The 16 colours of the EGA, which images with a blank header palette mean.
constexpr TLmRGBTriple kEgaPalette[kHeaderPaletteEntries] = {
    TLmRGBTriple::FromRGB(0, 0, 0),      TLmRGBTriple::FromRGB(0, 0, 170),    TLmRGBTriple::FromRGB(0, 170, 0),
    TLmRGBTriple::FromRGB(0, 170, 170),  TLmRGBTriple::FromRGB(170, 0, 0),    TLmRGBTriple::FromRGB(170, 0, 170),
    TLmRGBTriple::FromRGB(170, 170, 0),  TLmRGBTriple::FromRGB(170, 170, 170), TLmRGBTriple::FromRGB(85, 85, 85),
    TLmRGBTriple::FromRGB(85, 85, 255),  TLmRGBTriple::FromRGB(85, 255, 85),  TLmRGBTriple::FromRGB(85, 255, 255),
    TLmRGBTriple::FromRGB(255, 85, 85),  TLmRGBTriple::FromRGB(255, 85, 255), TLmRGBTriple::FromRGB(255, 255, 85),
    TLmRGBTriple::FromRGB(255, 255, 255),
};

bool IsBlank(const TLmRGBTriple (&palette)[kHeaderPaletteEntries]) {
  return std::all_of(std::begin(palette), std::end(palette), [](TLmRGBTriple c) { return c == TLmRGBTriple{}; });
}

// Layouts the decoder builds pixels for.
bool IsDecodable(int bits, int planes) {
  if (planes == 1) return bits == 1 || bits == 2 || bits == 4 || bits == 8;
  if (bits == 1) return planes <= 4;
  return bits == 8 && (planes == 3 || planes == 4);
}

bool IsPaletted(int bits, int planes) { return planes == 1 || bits == 1; }

// Run-length decoding of whole scan lines. A run may go on into the next
// plane line and the next row, so the pending run is kept between lines.
class TPcxLineSource {
 public:
  TPcxLineSource(const uint8_t* data, size_t size, bool rle) : data_(data), size_(size), rle_(rle) {}

  // Fills `line`; false when the data end before it is full (the part
  // decoded stays).
  bool NextLine(uint8_t* line, size_t length) {
    if (!rle_) {
      const size_t n = std::min(length, size_ - pos_);
      std::memcpy(line, data_ + pos_, n);
      pos_ += n;
      return n == length;
    }
    size_t filled = 0;
    while (filled < length) {
      if (runLeft_ > 0) {
        const size_t n = std::min<size_t>(runLeft_, length - filled);
        std::memset(line + filled, runValue_, n);
        filled += n;
        runLeft_ -= n;
        continue;
      }
      if (pos_ >= size_) return false;
      const uint8_t b = data_[pos_++];
      if (b < kRunFlag) {
        line[filled++] = b;
        continue;
      }
      if (pos_ >= size_) return false;
      runValue_ = data_[pos_++];
      runLeft_ = b & kMaxRun;
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool rle_;
  size_t runLeft_ = 0;
  uint8_t runValue_ = 0;
};

class TPcxReader {
 public:
  TPcxReader(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Read(bool paramsOnly, int64_t byteCount);

 private:
  bool ReadHeader(int64_t byteCount);
  bool DataCanDescribeImage(uint64_t dataSize) const;
  void TakePalette(std::vector<uint8_t>& data);
  void SetParams();
  TLmPixelFormat ChoosePixelFormat();
  void DecodeRows(const std::vector<uint8_t>& data);
  void BuildRow(const uint8_t* line, int y);

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  TPcxHeader header_;
  std::vector<TLmRGBTriple> palette_;  // what the indexes of a paletted layout mean
  bool invertOneBit_ = false;          // a white/black palette stored as 1-bit
};

bool TPcxReader::ReadHeader(int64_t byteCount) {
  uint8_t h[kHeaderSize];
  if (byteCount < kHeaderSize || !stream_.ReadExact(h, sizeof h)) {
    progress_.Fail(TIOFailureKind::InvalidData, "PCX header cut short");
    return false;
  }
  if (const char* reason = ParseHeader(h, header_)) {
    progress_.Fail(TIOFailureKind::InvalidData, reason);
    return false;
  }
  if (header_.Bits == 0 || header_.Bits > 8 || header_.Planes == 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "PCX depth impossible");
    return false;
  }
  return true;
}

// The densest encoding packs 63 bytes into 2, so data shorter than that
// cannot hold the image: a tiny file claiming a huge picture is refused
// before anything is allocated. (Raw files are held to the same bound so
// that a truncated one still shows its rows.)
bool TPcxReader::DataCanDescribeImage(uint64_t dataSize) const {
  const auto line = CheckedMul(header_.BytesPerLine, static_cast<uint64_t>(header_.Planes));
  const auto total = line ? CheckedMul(*line, static_cast<uint64_t>(header_.Height)) : std::nullopt;
  if (!total) return false;
  const uint64_t needed = (*total + kMaxRun - 1) / kMaxRun * 2;
  return dataSize >= std::min<uint64_t>(needed, *total);
}

// A 256-colour image keeps its palette in the last 768 bytes of its data,
// after the marker byte (also taken when the marker is missing).
void TPcxReader::TakePalette(std::vector<uint8_t>& data) {
  palette_.clear();
  if (header_.Planes == 1 && header_.Bits == 8) {
    if (data.size() < static_cast<size_t>(kPaletteBytes)) {
      for (int i = 0; i < 256; ++i) palette_.push_back(TLmRGBTriple::FromRGB(i, i, i));
      return;
    }
    const size_t start = data.size() - kPaletteBytes;
    for (int i = 0; i < 256; ++i) {
      const uint8_t* p = data.data() + start + 3 * i;
      palette_.push_back(TLmRGBTriple::FromRGB(p[0], p[1], p[2]));
    }
    const bool marked = start > 0 && data[start - 1] == kPaletteMarker;
    data.resize(start - (marked ? 1 : 0));
    return;
  }
  if (IsPaletted(header_.Bits, header_.Planes)) {
    const int colours = 1 << (header_.Bits * header_.Planes);
    // A blank palette (version 3 files, and writers that leave it out)
    // means the EGA colours; two-colour images are black and white then.
    const bool ega = colours > 2 && IsBlank(header_.Palette);
    const TLmRGBTriple* source = ega ? kEgaPalette : header_.Palette;
    palette_.assign(source, source + std::min(colours, kHeaderPaletteEntries));
  }
}

void TPcxReader::SetParams() {
  params_.Width = params_.OriginalWidth = static_cast<int32_t>(header_.Width);
  params_.Height = params_.OriginalHeight = static_cast<int32_t>(header_.Height);
  params_.ImageCount = 1;
  params_.PcxVersion = header_.Version;
  params_.PcxCompression = header_.Encoding;
  if (header_.DpiX == 0 || header_.DpiY == 0)
    params_.SetDpi(kDefaultDpi, kDefaultDpi);
  else
    params_.SetDpi(header_.DpiX, header_.DpiY);
  params_.BitsPerSample = header_.Bits;
  params_.SamplesPerPixel = header_.Planes;
  if (header_.Bits == 1 && header_.Planes > 1 && header_.Planes <= 4) {
    params_.BitsPerSample = header_.Planes;
    params_.SamplesPerPixel = 1;
  }
  params_.ColorMap = palette_;
}

// 1-bit images stay 1-bit when their two colours are black and white (or
// when the palette is blank, as old writers leave it); any other pair is
// kept as colour.
TLmPixelFormat TPcxReader::ChoosePixelFormat() {
  if (header_.Bits != 1 || header_.Planes != 1) return pf24RGB;
  constexpr TLmRGBTriple black{}, white = TLmRGBTriple::FromRGB(255, 255, 255);
  const TLmRGBTriple c0 = palette_[0], c1 = palette_[1];
  if (c0 == c1 || (c0 == black && c1 == white)) {
    palette_[0] = black;
    palette_[1] = white;
    return pf1g;
  }
  if (c0 == white && c1 == black) {
    invertOneBit_ = true;
    return pf1g;
  }
  return pf24RGB;
}

void TPcxReader::Read(bool paramsOnly, int64_t byteCount) {
  if (!ReadHeader(byteCount)) return;
  const bool decodable = IsDecodable(header_.Bits, header_.Planes);
  const uint64_t minLine = (static_cast<uint64_t>(header_.Width) * header_.Bits + 7) / 8;
  if (decodable && header_.BytesPerLine < minLine) {
    progress_.Fail(TIOFailureKind::InvalidData, "PCX lines shorter than the width");
    return;
  }
  const int64_t dataSize = std::min<int64_t>(byteCount - kHeaderSize, stream_.BytesLeft());
  if (!decodable) {
    SetParams();
    progress_.Fail(TIOFailureKind::Unsupported, "PCX plane layout not supported");
    return;
  }
  if (!DataCanDescribeImage(static_cast<uint64_t>(std::max<int64_t>(dataSize, 0)))) {
    progress_.Fail(TIOFailureKind::InvalidData, "PCX data too short for the image size");
    return;
  }
  const int bitsPerPixel = header_.Planes == 4 && header_.Bits == 8 ? 32 : 24;
  if (!AcceptImageSize(header_.Width, header_.Height, static_cast<uint32_t>(bitsPerPixel), progress_)) return;

  std::vector<uint8_t> data;
  if (!ReadAvailableBlock(stream_, static_cast<uint64_t>(std::max<int64_t>(dataSize, 0)), data, progress_)) return;
  TakePalette(data);
  SetParams();
  if (paramsOnly) return;

  const TLmPixelFormat format = ChoosePixelFormat();
  if (!bitmap_.Allocate(static_cast<int>(header_.Width), static_cast<int>(header_.Height), format)) {
    progress_.Fail(TIOFailureKind::OverLimit, "no memory for the image");
    return;
  }
  if (header_.Planes == 4 && header_.Bits == 8) {
    TLmBitmap& alpha = bitmap_.AlphaChannel();
    alpha.Fill(255);
  }
  DecodeRows(data);
}

void TPcxReader::DecodeRows(const std::vector<uint8_t>& data) {
  const size_t lineLength = static_cast<size_t>(header_.BytesPerLine) * header_.Planes;
  std::vector<uint8_t> line(lineLength);
  TPcxLineSource source(data.data(), data.size(), header_.Encoding == 1);
  const int height = static_cast<int>(header_.Height);
  progress_.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    if (!progress_.ReportIfChanged(y)) return;
    std::fill(line.begin(), line.end(), 0);
    const bool complete = source.NextLine(line.data(), lineLength);
    BuildRow(line.data(), y);
    if (!complete) {
      // The rows that never came stay black, not whatever the store held.
      for (int rest = y + 1; rest < height; ++rest) std::memset(bitmap_.ScanLine(rest), 0, bitmap_.RowLen());
      progress_.Fail(TIOFailureKind::InvalidData, "PCX data end early");
      return;
    }
  }
}

void TPcxReader::BuildRow(const uint8_t* line, int y) {
  const int width = static_cast<int>(header_.Width);
  const int bits = header_.Bits, planes = header_.Planes;
  const size_t bpl = header_.BytesPerLine;
  uint8_t* row = bitmap_.ScanLine(y);
  if (bitmap_.PixelFormat() == pf1g) {
    const size_t n = (static_cast<size_t>(width) + 7) / 8;
    for (size_t i = 0; i < n; ++i) row[i] = invertOneBit_ ? static_cast<uint8_t>(~line[i]) : line[i];
    return;
  }
  if (!IsPaletted(bits, planes)) {
    const uint8_t* red = line;
    const uint8_t* green = line + bpl;
    const uint8_t* blue = line + 2 * bpl;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = blue[x];
      row[3 * x + 1] = green[x];
      row[3 * x + 2] = red[x];
    }
    if (planes == 4) {
      uint8_t* alpha = bitmap_.AlphaChannel().ScanLine(y);
      std::memcpy(alpha, line + 3 * bpl, static_cast<size_t>(width));
    }
    return;
  }
  const int paletteSize = static_cast<int>(palette_.size());
  for (int x = 0; x < width; ++x) {
    int index = 0;
    if (planes == 1) {
      const int bitPos = x * bits;
      index = (line[bitPos >> 3] >> (8 - bits - (bitPos & 7))) & ((1 << bits) - 1);
    } else {
      for (int p = 0; p < planes; ++p) index |= ((line[p * bpl + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
    }
    const TLmRGBTriple c = index < paletteSize ? palette_[index] : TLmRGBTriple{};
    row[3 * x] = c.b;
    row[3 * x + 1] = c.g;
    row[3 * x + 2] = c.r;
  }
}

}  // namespace

void PcxRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress,
             int64_t byteCount) {
  TPcxReader(stream, bitmap, params, progress).Read(paramsOnly, byteCount);
}

void ReadPcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  PcxRead(stream, bitmap, params, paramsOnly, progress, stream.BytesLeft());
}

}  // namespace lumora
