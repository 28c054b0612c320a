// BMP reader: OS/2 1.x, Windows 3 and later headers; 1, 4, 8, 16, 24 and
// 32 bits; RLE4, RLE8 and bit fields; the headerless form icons embed.
//
// Every size from the file is checked before it allocates or indexes: the
// dimensions through AcceptImageSize, the compressed data against the bytes
// the stream holds, palette indexes against the palette, RLE runs against
// the row and the image.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmp_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace bmp;

// One resolution more than this many times the other is not a resolution
// but a corrupt header (the suite's examples differ by a factor of 10^7).
constexpr int32_t kMaxDensityRatio = 1000;

// What the headers say about the pixel data.
struct TBmpInfo {
  int64_t Start = 0;          // stream position of the file header (or info header when headerless)
  int64_t BlockSize = 0;      // bytes of the whole BMP from Start, 0 when unknown
  uint32_t DataOffset = 0;    // pixel data offset from Start, 0 = right after the tables
  uint32_t HeaderSize = 0;
  int32_t Width = 0;
  int32_t Height = 0;         // positive
  bool TopDown = false;
  uint16_t Bits = 0;
  uint32_t Compression = kNone;
  uint32_t ImageSize = 0;     // from the header; 0 in many files
  uint32_t Masks[4] = {};     // red, green, blue, alpha (bit fields)
  bool HasAlphaMask = false;
};

// One channel of a bit-field mask: where it starts and how many bits the
// value keeps (the consecutive set bits from the lowest one).
struct TMaskChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;

  explicit TMaskChannel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    Shift = std::countr_zero(mask);
    Bits = std::countr_one(mask >> Shift);
  }
  // The channel as 8 bits: wider values keep their top 8 bits, narrower
  // ones are shifted up with zero low bits (5 bits -> v << 3).
  uint8_t Extract(uint32_t pixel) const {
    if (Bits == 0) return 0;
    uint32_t v = (pixel & Mask) >> Shift;
    v &= Bits >= 32 ? ~0u : ((1u << Bits) - 1);
    return static_cast<uint8_t>(Bits >= 8 ? v >> (Bits - 8) : v << (8 - Bits));
  }
};

class TBmpReader {
 public:
  TBmpReader(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Read(int64_t blockSize, bool ignoreAlpha, TLmMask* mask, bool headerless, bool paramsOnly);

 private:
  bool ReadFileHeader(int64_t blockSize, bool headerless);
  bool ReadInfoHeader();
  bool ReadOs2V1Header();
  bool ReadWindowsHeader();
  bool ReadColorTable(uint32_t count, int entrySize);
  bool MasksAreUsable() const;
  bool CompressionFitsDepth() const;
  bool FileSizeIsPlausible() const;
  void SetCommonParams();

  void DecodePixels(bool ignoreAlpha, TLmMask* mask);
  void DecodeUncompressed(bool ignoreAlpha, TLmMask* mask);
  void DecodeRle();
  void ApplyOneBitTable();

  int BitmapRow(int64_t storedRow) const {
    return static_cast<int>(info_.TopDown ? storedRow : info_.Height - 1 - storedRow);
  }
  TLmRGBTriple Color(uint32_t index) {
    if (index < params_.ColorMap.size()) return params_.ColorMap[index];
    indexOutOfTable_ = true;
    return TLmRGBTriple{};
  }
  uint8_t NativeIndex(uint32_t index) {
    if (index >= params_.ColorMap.size()) indexOutOfTable_ = true;
    return static_cast<uint8_t>(index);
  }
  bool Native() const { return bitmap_.PixelFormat() == pf8p; }
  bool OneBitAsIs() const;

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  TBmpInfo info_;
  bool invertOneBit_ = false;
  uint32_t fileSize_ = 0;     // from the file header
  bool indexOutOfTable_ = false;
};

// Header sizes of the known variants: OS/2 1.x (12), OS/2 2.x (16 to 64,
// which includes Windows 3 at 40 and the Adobe variants at 52 and 56),
// Windows 4 (108) and 5 (124).
bool IsKnownHeaderSize(uint32_t size) {
  return size == kOs2V1HeaderSize || (size >= 16 && size <= kOs2V2HeaderSize) || size == 108 || size == 124;
}

void TBmpReader::Read(int64_t blockSize, bool ignoreAlpha, TLmMask* mask, bool headerless, bool paramsOnly) {
  if (!ReadFileHeader(blockSize, headerless || params_.BmpHeaderless)) {
    progress_.Fail(TIOFailureKind::InvalidData, "no bitmap file header");
    return;
  }
  params_.ColorMap.clear();
  if (!ReadInfoHeader()) {
    progress_.Fail(TIOFailureKind::InvalidData, "bad bitmap information header");
    return;
  }
  SetCommonParams();
  if (!CompressionFitsDepth()) {
    const int b = info_.Bits;
    const bool knownDepth = b == 1 || b == 2 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
    if (knownDepth)
      progress_.Fail(TIOFailureKind::Unsupported, "compression unsupported at this bit depth");
    else
      progress_.Fail(TIOFailureKind::InvalidData, "no such bit depth");
    return;
  }
  if (!FileSizeIsPlausible()) {
    progress_.Fail(TIOFailureKind::InvalidData, "too little data for the image size");
    return;
  }
  if (info_.DataOffset != 0) stream_.SetPosition(info_.Start + info_.DataOffset);
  if (paramsOnly || info_.Width == 0 || info_.Height == 0) return;
  DecodePixels(ignoreAlpha, mask);
  // Indexes past the colour table were drawn black; the file is still corrupt.
  if (indexOutOfTable_) progress_.Fail(TIOFailureKind::InvalidData, "colour index past the colour table");
}

// Depths and compressions we decode; anything else (JPEG or PNG inside a
// BMP, RLE24, 64 bits, absurd depths) is reported as a failure rather than
// shown as an empty picture.
bool TBmpReader::CompressionFitsDepth() const {
  switch (info_.Bits) {
    case 1:
    case 2:
    case 24: return info_.Compression == kNone;
    case 4: return info_.Compression == kNone || info_.Compression == kRle4;
    case 8: return info_.Compression == kNone || info_.Compression == kRle8;
    case 16:
    case 32: return info_.Compression == kNone || info_.Compression == kBitFields;
    default: return false;
  }
}

// The file header's size may be wrong in harmless ways (0, a few bytes off);
// it is corrupt when it claims more than both the data present and what the
// image needs.
bool TBmpReader::FileSizeIsPlausible() const {
  if (fileSize_ == 0) return true;
  const int64_t available = stream_.Size() - info_.Start;
  uint64_t needed = 0;
  if (info_.Compression == kNone || info_.Compression == kBitFields) {
    const auto row = PaddedRowLength(static_cast<uint64_t>(info_.Width), info_.Bits);
    const auto pixels = row ? ImageByteSize(*row, static_cast<uint64_t>(info_.Height)) : std::nullopt;
    if (pixels) needed = *pixels + info_.DataOffset;
  }
  return fileSize_ <= std::max<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(available, 0)), needed);
}

// Bit-field masks must name each colour and must not overlap; 16-bit
// pixels have no bits above 16.
bool TBmpReader::MasksAreUsable() const {
  const uint32_t r = info_.Masks[0], g = info_.Masks[1], b = info_.Masks[2], a = info_.Masks[3];
  if (r == 0 || g == 0 || b == 0) return false;
  if ((r & g) || (r & b) || (g & b) || (a & (r | g | b))) return false;
  return info_.Bits != 16 || ((r | g | b | a) >> 16) == 0;
}

bool TBmpReader::ReadFileHeader(int64_t blockSize, bool headerless) {
  info_.Start = stream_.Position();
  info_.BlockSize = blockSize;
  if (headerless) {
    // As if a header said "BM", file size = stream size, offset 0.
    if (info_.BlockSize <= 0) info_.BlockSize = stream_.Size() - info_.Start;
    return true;
  }
  uint8_t h[kFileHeaderSize];
  if (!stream_.ReadExact(h, sizeof h) || ReadLE16(h) != kSignature) return false;
  const uint32_t fileSize = ReadLE32(h + 2);
  fileSize_ = fileSize;
  if (info_.BlockSize <= 0 && static_cast<int32_t>(fileSize) > 0) info_.BlockSize = fileSize;
  info_.DataOffset = ReadLE32(h + 10);
  return true;
}

bool TBmpReader::ReadInfoHeader() {
  uint8_t sizeBytes[4];
  const int64_t at = stream_.Position();
  if (!stream_.ReadExact(sizeBytes, 4)) return false;
  stream_.SetPosition(at);
  info_.HeaderSize = ReadLE32(sizeBytes);
  return info_.HeaderSize == kOs2V1HeaderSize ? ReadOs2V1Header() : ReadWindowsHeader();
}

bool TBmpReader::ReadOs2V1Header() {
  uint8_t h[kOs2V1HeaderSize];
  if (!stream_.ReadExact(h, sizeof h)) return false;
  params_.BmpVersion = kVersionOs2V1;
  info_.Width = ReadLE16(h + 4);
  info_.Height = ReadLE16(h + 6);
  info_.Bits = ReadLE16(h + 10);
  info_.Compression = kNone;
  if (ReadLE16(h + 8) != 1) return false;  // planes
  params_.SetDpi(kDefaultDpi, kDefaultDpi);
  if (info_.Bits <= 8) return ReadColorTable(1u << info_.Bits, 3);
  return true;
}

bool TBmpReader::ReadWindowsHeader() {
  uint8_t h[kOs2V2HeaderSize] = {};
  const uint32_t size = info_.HeaderSize;
  if (!IsKnownHeaderSize(size)) return false;
  const uint32_t take = std::min<uint32_t>(size, sizeof h);
  if (!stream_.ReadExact(h, take)) return false;
  if (size > sizeof h) stream_.Seek(size - sizeof h, TSeekOrigin::Current);
  params_.BmpVersion = size == kOs2V2HeaderSize ? kVersionOs2V2 : size == kWindowsHeaderSize ? kVersionWindows
                                                                                                : kVersionOther;
  const int32_t width = static_cast<int32_t>(ReadLE32(h + 4));
  const int32_t height = static_cast<int32_t>(ReadLE32(h + 8));
  if (width < 0 || height == INT32_MIN) return false;
  info_.Width = width;
  info_.TopDown = height < 0;
  info_.Height = height < 0 ? -height : height;
  info_.Bits = ReadLE16(h + 14);
  info_.Compression = ReadLE32(h + 16);
  info_.ImageSize = ReadLE32(h + 20);
  if (ReadLE16(h + 12) != 1) return false;  // planes
  // RLE data cannot run top-down; a header that claims more pixel data
  // than the whole BMP holds is corrupt.
  if (info_.TopDown && (info_.Compression == kRle8 || info_.Compression == kRle4)) return false;
  if (info_.BlockSize > 0 && info_.ImageSize > info_.BlockSize) return false;

  const int32_t ppmX = static_cast<int32_t>(ReadLE32(h + 24)), ppmY = static_cast<int32_t>(ReadLE32(h + 28));
  if (ppmX > 0 && ppmY > 0 && std::max(ppmX, ppmY) / std::min(ppmX, ppmY) > kMaxDensityRatio) return false;
  auto dpi = [](int32_t pixelsPerMetre) {
    double v = RoundHalfEven(pixelsPerMetre / 100.0 * 2.54);
    return v == 0 ? double{kDefaultDpi} : v;
  };
  params_.SetDpi(dpi(ppmX), dpi(ppmY));

  // Bit-field masks sit inside headers of 52 bytes and more; a 40-byte
  // header is followed by them, before the colour table.
  if (info_.Compression == kBitFields) {
    if (size >= kHeaderWithMasks) {
      for (int i = 0; i < 3; ++i) info_.Masks[i] = ReadLE32(h + 40 + 4 * i);
      if (size >= kHeaderWithAlphaMask) {
        info_.Masks[3] = ReadLE32(h + 52);
        info_.HasAlphaMask = true;
      }
    } else {
      uint8_t m[12];
      if (!stream_.ReadExact(m, sizeof m)) return false;
      for (int i = 0; i < 3; ++i) info_.Masks[i] = ReadLE32(m + 4 * i);
    }
    if (!MasksAreUsable()) return false;
  }

  uint32_t colors = ReadLE32(h + 32);
  // A colour table larger than the data that follows is corrupt; a count
  // above 256 that fits (24-bit images may carry a long table) is ignored.
  if (uint64_t{colors} * 4 > static_cast<uint64_t>(stream_.BytesLeft())) return false;
  if (colors > 256) colors = 0;
  if (colors == 0 && info_.Bits <= 8) colors = 1u << info_.Bits;
  return colors == 0 || ReadColorTable(colors, 4);
}

bool TBmpReader::ReadColorTable(uint32_t count, int entrySize) {
  std::vector<uint8_t> table(static_cast<size_t>(count) * entrySize);
  // A table cut short keeps the entries that are there; the missing ones
  // read as black through Color().
  const size_t got = stream_.Read(table.data(), table.size());
  const size_t entries = got / entrySize;
  params_.ColorMap.resize(entries);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* e = table.data() + i * entrySize;
    params_.ColorMap[i] = TLmRGBTriple::FromRGB(e[2], e[1], e[0]);
  }
  return true;
}

void TBmpReader::SetCommonParams() {
  params_.BmpCompression = info_.Compression == kRle8 || info_.Compression == kRle4 ? 1 : 0;
  params_.ImageCount = 1;
  params_.Width = params_.OriginalWidth = info_.Width;
  params_.Height = params_.OriginalHeight = info_.Height;
  params_.SetSamplesFromPixelDepth(info_.Bits);
}

// A 1-bit image stays 1-bit when its table is black/white (or white/black,
// stored inverted); other two-colour tables give colour pixels.
bool TBmpReader::OneBitAsIs() const {
  constexpr TLmRGBTriple black{}, white = TLmRGBTriple::FromRGB(255, 255, 255);
  const auto& map = params_.ColorMap;
  if (map.empty()) return true;
  if (map.size() < 2) return false;  // one colour: drawn through the table
  return (map[0] == black && map[1] == white) || (map[0] == white && map[1] == black);
}

void TBmpReader::DecodePixels(bool ignoreAlpha, TLmMask* mask) {
  const int bits = info_.Bits;
  TLmPixelFormat format = pf24RGB;
  if (bits == 1 && info_.Compression == kNone && OneBitAsIs()) {
    format = pf1g;
    invertOneBit_ = params_.ColorMap.size() >= 2 && params_.ColorMap[0].r == 255;
  } else if (bits <= 8 && params_.NativePixelFormat) {
    format = pf8p;
  }
  if (!AcceptImageSize(info_.Width, info_.Height, std::max(bits, 24), progress_)) return;
  if (!bitmap_.Allocate(info_.Width, info_.Height, format)) {
    progress_.Fail(TIOFailureKind::OverLimit, "no memory for the image");
    return;
  }
  if (format == pf8p) {
    bitmap_.SetPalette(params_.ColorMap.data(), params_.ColorMapCount());
    bitmap_.TargetColorCount = bits < 8 ? 1 << bits : 256;
  }
  progress_.SetTotalUnits(info_.Height);

  const bool rle = (bits == 8 && info_.Compression == kRle8) || (bits == 4 && info_.Compression == kRle4);
  if (rle) {
    DecodeRle();
  } else if (info_.Compression == kNone || (info_.Compression == kBitFields && (bits == 16 || bits == 32))) {
    DecodeUncompressed(ignoreAlpha, mask);
  }
  // Other combinations (JPEG or PNG inside BMP, RLE at the wrong depth,
  // unknown depths): the image stays allocated but undrawn.
}

void TBmpReader::DecodeUncompressed(bool ignoreAlpha, TLmMask* mask) {
  const int width = info_.Width, bits = info_.Bits;
  const auto stride = PaddedRowLength(static_cast<uint64_t>(width), bits);
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return;
  std::vector<uint8_t> in(static_cast<size_t>(*stride));  // checked by AcceptImageSize
  const size_t meaningful = static_cast<size_t>((static_cast<uint64_t>(width) * bits + 7) / 8);
  std::vector<uint8_t> out;  // a bitmap row built here, then copied once

  const bool standardMasks32 = info_.Compression == kNone ||
                               (info_.Masks[0] == 0xFF0000 && info_.Masks[1] == 0xFF00 && info_.Masks[2] == 0xFF);
  const TMaskChannel red(info_.Compression == kBitFields ? info_.Masks[0] : (bits == 16 ? 0x7C00u : 0xFF0000u));
  const TMaskChannel green(info_.Compression == kBitFields ? info_.Masks[1] : (bits == 16 ? 0x03E0u : 0xFF00u));
  const TMaskChannel blue(info_.Compression == kBitFields ? info_.Masks[2] : (bits == 16 ? 0x001Fu : 0xFFu));
  const TMaskChannel alphaMask(info_.HasAlphaMask ? info_.Masks[3] : 0xFF000000u);

  // 32-bit alpha goes to the mask; the mask is kept only when the fourth
  // bytes say something (not all 0, not all 255).
  const bool wantAlpha = bits == 32 && !ignoreAlpha && mask && (standardMasks32 || info_.HasAlphaMask);
  if (wantAlpha && mask->IsEmpty() && !mask->Allocate(width, info_.Height, 8))
    return progress_.Fail(TIOFailureKind::OverLimit, "no memory for the alpha mask");
  bool allZero = true, allOpaque = true;

  for (int64_t k = 0; k < info_.Height; ++k) {
    if (!progress_.ReportIfChanged(k)) return;
    if (const size_t got = stream_.Read(in.data(), in.size()); got < in.size()) {
      // Some writers leave out the padding of the last row; anything
      // shorter is a truncated file, whose rows read so far stay.
      if (k + 1 < info_.Height || got < meaningful) {
        progress_.Fail(TIOFailureKind::InvalidData, "pixel data end early");
        return;
      }
      std::fill(in.begin() + static_cast<ptrdiff_t>(got), in.end(), 0);
    }
    const int y = BitmapRow(k);
    uint8_t* row = nullptr;
    switch (bits) {
      case 1:
        if (bitmap_.PixelFormat() == pf1g) {
          row = bitmap_.ScanLine(y);
          std::memcpy(row, in.data(), std::min(in.size(), bitmap_.RowLen()));
          if (invertOneBit_)
            for (size_t i = 0; i < bitmap_.RowLen(); ++i) row[i] = static_cast<uint8_t>(~row[i]);
          break;
        }
        [[fallthrough]];
      case 2:
      case 4:
      case 8: {
        const bool native = Native();
        out.assign(bitmap_.RowLen(), 0);
        for (int x = 0; x < width; ++x) {
          uint32_t index;
          if (bits == 8) index = in[x];
          else if (bits == 4) index = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
          else if (bits == 2) index = (in[x >> 2] >> (6 - 2 * (x & 3))) & 3;
          else index = (in[x >> 3] >> (7 - (x & 7))) & 1;
          if (native) {
            out[x] = NativeIndex(index);
          } else {
            const TLmRGBTriple c = Color(index);
            std::memcpy(out.data() + 3 * x, &c, 3);
          }
        }
        std::memcpy(bitmap_.ScanLine(y), out.data(), out.size());
        break;
      }
      case 16: {
        row = bitmap_.ScanLine(y);
        for (int x = 0; x < width; ++x) {
          const uint32_t pixel = ReadLE16(in.data() + 2 * x);
          row[3 * x] = blue.Extract(pixel);
          row[3 * x + 1] = green.Extract(pixel);
          row[3 * x + 2] = red.Extract(pixel);
        }
        break;
      }
      case 24:
        std::memcpy(bitmap_.ScanLine(y), in.data(), static_cast<size_t>(width) * 3);
        break;
      case 32: {
        row = bitmap_.ScanLine(y);
        uint8_t* alphaRow = wantAlpha ? mask->ScanLine(y) : nullptr;
        for (int x = 0; x < width; ++x) {
          const uint8_t* p = in.data() + 4 * x;
          if (standardMasks32) {
            row[3 * x] = p[0];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[2];
          } else {
            const uint32_t pixel = ReadLE32(p);
            row[3 * x] = blue.Extract(pixel);
            row[3 * x + 1] = green.Extract(pixel);
            row[3 * x + 2] = red.Extract(pixel);
          }
          if (alphaRow) {
            const uint8_t a = alphaMask.Extract(ReadLE32(p));
            alphaRow[x] = a;
            allZero = allZero && a == 0;
            allOpaque = allOpaque && a == 255;
          }
        }
        break;
      }
    }
  }
  if (wantAlpha && (allZero || allOpaque)) mask->Free();
}

// RLE8 and RLE4: the compressed data is read whole (checked against the
// bytes the stream holds) and decoded into rows; pixels beyond the right
// edge and rows outside the image are dropped, never written.
void TBmpReader::DecodeRle() {
  const int64_t position = stream_.Position();
  const int64_t size = info_.BlockSize > 0 ? info_.BlockSize + info_.Start - position : info_.ImageSize;
  std::vector<uint8_t> data;
  if (size <= 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "no RLE data");
    return;
  }
  if (!ReadAvailableBlock(stream_, static_cast<uint64_t>(size), data, progress_)) return;
  // Pixels the commands skip show colour 0 of the table, as native
  // (paletted) images show index 0.
  const bool rle4 = info_.Compression == kRle4;
  const bool native = Native();
  bitmap_.Fill(native || params_.ColorMap.empty() ? 0 : params_.ColorMap[0].ToColor());
  const int width = info_.Width;
  const int64_t height = info_.Height;
  int64_t k = 0;  // stored row
  int64_t x = 0;
  uint8_t* row = bitmap_.ScanLine(BitmapRow(0));

  auto put = [&](uint32_t index) {
    if (x < width && row) {
      if (native) {
        row[x] = NativeIndex(index);
      } else {
        const TLmRGBTriple c = Color(index);
        std::memcpy(row + 3 * x, &c, 3);
      }
    }
    ++x;
  };
  auto moveToRow = [&](int64_t stored) {
    k = stored;
    row = k < height ? bitmap_.ScanLine(BitmapRow(k)) : nullptr;
  };

  // A run may end past the right edge only by the pad nibble of RLE4;
  // longer runs, and deltas out of the image, are corrupt data that aims
  // past the buffers.
  bool overrun = false;
  auto RunFits = [&](int64_t from, int count) {
    const int64_t allowed = width + (rle4 && (width & 1) ? 1 : 0);
    if (from + count <= allowed) return true;
    overrun = true;
    return false;
  };

  size_t i = 0;
  bool finished = false;
  while (i + 1 < data.size()) {
    const uint8_t first = data[i], second = data[i + 1];
    i += 2;
    if (first > 0) {
      if (!RunFits(x, first)) break;
      for (int n = 0; n < first && x < width; ++n) put(rle4 ? (n & 1 ? second & 0x0F : second >> 4) : second);
      continue;
    }
    if (second == 0) {  // end of line
      if (k + 1 >= height) {
        finished = true;
        break;
      }
      moveToRow(k + 1);
      x = 0;
      if (!progress_.Report(k)) return;
    } else if (second == 1) {  // end of bitmap
      finished = true;
      break;
    } else if (second == 2) {  // delta
      if (i + 1 >= data.size()) break;
      x += data[i];
      const int64_t dy = data[i + 1];
      i += 2;
      if (x > width || k + dy >= height) {
        overrun = true;
        break;
      }
      if (dy > 0) moveToRow(k + dy);
    } else {  // absolute run
      const int count = second;
      const size_t bytes = rle4 ? (count + 1) / 2 : count;
      if (i + bytes > data.size() || !RunFits(x, count)) break;
      for (int n = 0; n < count && x < width; ++n)
        put(rle4 ? (n & 1 ? data[i + n / 2] & 0x0F : data[i + n / 2] >> 4) : data[i + n]);
      i += bytes + (bytes & 1);
    }
  }
  // Data that ends before the last row has begun is a truncated file (some
  // encoders leave out the final end-of-line and end-of-bitmap pairs).
  if (overrun)
    progress_.Fail(TIOFailureKind::InvalidData, "RLE run past the end of the row");
  else if (!finished && (k + 1 < height || x == 0))
    progress_.Fail(TIOFailureKind::InvalidData, "RLE data end early");
}

}  // namespace

void BmpRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TBmpReadOptions& options,
             TIOProgress& progress) {
  TBmpReader(stream, bitmap, params, progress)
      .Read(options.BlockSize, options.IgnoreAlpha, options.Mask, options.Headerless, options.ParamsOnly);
}

}  // namespace lumora
