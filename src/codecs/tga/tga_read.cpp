// TGA reader: colour-mapped (1, 4, 8 and 16-bit indexes), true-colour (15/16,
// 24 and 32 bits) and gray (8 bits, 16 bits with alpha) images, uncompressed
// or run-length encoded, in every storage order, with the version 2 footer
// and extension area.
//
// Sizes from the file are checked before anything is allocated: the
// dimensions through AcceptImageSize and against the data that follows,
// the image ID and colour map against the bytes left. Run-length packets
// stop at the end of the image and at the end of the data; colour-map
// indexes past the table give black.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/tga/tga.h"
#include "codecs/tga/tga_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace tga;

// A truncated file shows the rows it holds, but a large image of which
// almost nothing is present is a hostile header, not a truncated file: its
// pixel store is refused when it would exceed this size while the data
// cover less than an eighth of what the image needs.
constexpr uint64_t kSmallImageBytes = uint64_t{1} << 24;
constexpr uint64_t kMinPresentFraction = 8;

// Colour-map indexes reach at most this far (16-bit indexes).
constexpr size_t kMaxPaletteEntries = 65536;

struct TTgaHeader {
  uint8_t IdLength = 0;
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 0;
  uint16_t MapFirst = 0;
  uint16_t MapLength = 0;
  uint8_t MapEntryBits = 0;
  uint16_t XOrigin = 0, YOrigin = 0;
  uint16_t Width = 0, Height = 0;
  uint8_t Depth = 0;
  uint8_t Descriptor = 0;

  uint8_t BaseType() const { return ImageType & ~kRleFlag; }
  bool Rle() const { return (ImageType & kRleFlag) != 0; }
  bool ColorMapped() const { return BaseType() == kColorMapped; }
  bool HasMap() const { return ColorMapType == 1 && MapLength > 0; }
  int AlphaBits() const { return Descriptor & kAlphaBitsMask; }
};

bool IsKnownImageType(uint8_t type) { return (type >= 1 && type <= 3) || (type >= 9 && type <= 11); }
bool IsKnownDepth(uint8_t depth) {
  return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}
int MapEntryBytes(uint8_t bits) {
  switch (bits) {
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

// 5-5-5 word: blue in bits 0-4, green 5-9, red 10-14, each times 8.
TLmRGBTriple From555(uint16_t w) {
  return TLmRGBTriple::FromRGB(static_cast<uint8_t>(((w >> 10) & 31) << 3), static_cast<uint8_t>(((w >> 5) & 31) << 3),
                               static_cast<uint8_t>((w & 31) << 3));
}

std::string TextField(const uint8_t* p, size_t length) {
  const size_t n = static_cast<size_t>(std::find(p, p + length, uint8_t{0}) - p);
  return std::string(reinterpret_cast<const char*>(p), n);
}

class TTgaReader {
 public:
  TTgaReader(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Read(bool ignoreTransparency, TLmMask* mask, bool paramsOnly);

 private:
  void ReadExtensionArea();
  bool ReadHeader();
  bool ReadImageId();
  bool ReadColorMap();
  void SetCommonParams();
  bool DataCanDescribeImage(TLmPixelFormat format);
  bool PaletteIsBlackWhite() const;
  void DecodeRows(TLmMask* mask);
  bool ReadRawRow(std::vector<uint8_t>& row);
  bool ReadRleRow(std::vector<uint8_t>& row, int bytesPerPixel);
  void ConvertRow(const uint8_t* raw, uint8_t* bgr, uint8_t* alpha) const;
  TLmRGBTriple PaletteColor(uint32_t index, uint8_t& alpha) const {
    if (index >= palette_.size()) {
      alpha = 255;
      return {};
    }
    alpha = paletteAlpha_[index];
    return palette_[index];
  }

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  int64_t start_ = 0;
  TTgaHeader h_;
  std::vector<TLmRGBTriple> palette_;
  std::vector<uint8_t> paletteAlpha_;
  bool paletteHasAlpha_ = false;
  // Run-length state carried from one row into the next.
  int runLeft_ = 0;
  bool repeat_ = false;
  uint8_t runPixel_[4] = {};
};

void TTgaReader::Read(bool ignoreTransparency, TLmMask* mask, bool paramsOnly) {
  start_ = stream_.Position();
  ReadExtensionArea();
  stream_.SetPosition(start_);
  if (!ReadHeader() || !ReadImageId() || !ReadColorMap()) return;
  SetCommonParams();
  if (paramsOnly) return;

  const bool oneBit = h_.Depth == 1 && PaletteIsBlackWhite();
  const TLmPixelFormat format = oneBit ? pf1g : pf24RGB;
  if (!DataCanDescribeImage(format)) return;
  if (!AcceptImageSize(h_.Width, h_.Height, PixelFormatBits(format), progress_)) return;
  if (!bitmap_.Allocate(h_.Width, h_.Height, format)) {
    progress_.Fail(TIOFailureKind::OverLimit, "no memory for the image");
    return;
  }
  const bool alphaSource = h_.Depth == 32 || (h_.ColorMapped() && h_.Depth <= 16 && paletteHasAlpha_) ||
                           (h_.Depth == 16 && !h_.ColorMapped() && (h_.BaseType() == kGray || h_.AlphaBits() > 0));
  TLmMask* alpha = !ignoreTransparency && alphaSource ? mask : nullptr;
  if (alpha) {
    const bool fits = alpha->Width() == h_.Width && alpha->Height() == h_.Height && alpha->BitsPerPixel() == 8;
    if (!fits && !alpha->Allocate(h_.Width, h_.Height, 8)) {
      progress_.Fail(TIOFailureKind::OverLimit, "no memory for the transparency mask");
      return;
    }
    alpha->Fill(255);
  }
  DecodeRows(alpha);
}

// Defaults first, so that a file without the footer reads as having none.
void TTgaReader::ReadExtensionArea() {
  params_.TgaAuthor.clear();
  params_.TgaJobName.clear();
  params_.TgaDate = {};
  params_.TgaKeyColor = {};
  params_.TgaAspectRatio = 1.0;
  params_.TgaGamma = 2.2;

  const int64_t size = stream_.Size() - start_;
  if (size < static_cast<int64_t>(kHeaderSize + kFooterSize)) return;
  uint8_t footer[kFooterSize];
  stream_.SetPosition(start_ + size - static_cast<int64_t>(kFooterSize));
  if (!stream_.ReadExact(footer, sizeof footer)) return;
  if (std::memcmp(footer + 8, kSignature, sizeof kSignature) != 0) return;  // includes the 0 byte
  const uint32_t offset = ReadLE32(footer);
  if (offset == 0 || offset < kHeaderSize || offset + uint64_t{kExtensionAreaSize} > static_cast<uint64_t>(size))
    return;
  uint8_t ext[kExtensionAreaSize];
  stream_.SetPosition(start_ + offset);
  if (!stream_.ReadExact(ext, sizeof ext)) return;

  params_.TgaAuthor = TextField(ext + kExtAuthor, kExtTextLength);
  params_.TgaJobName = TextField(ext + kExtJobName, kExtTextLength);
  const int month = ReadLE16(ext + kExtDate), day = ReadLE16(ext + kExtDate + 2), year = ReadLE16(ext + kExtDate + 4);
  const int hour = ReadLE16(ext + kExtDate + 6), minute = ReadLE16(ext + kExtDate + 8),
            second = ReadLE16(ext + kExtDate + 10);
  if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1 && year <= 2499 && hour < 24 && minute < 60 &&
      second < 60)
    params_.TgaDate = {year, month, day, hour, minute, second};
  params_.TgaKeyColor = TLmRGBTriple::FromRGB(ext[kExtKeyColor + 1], ext[kExtKeyColor + 2], ext[kExtKeyColor + 3]);
  auto ratio = [&](size_t at, double& out) {
    const uint16_t num = ReadLE16(ext + at), den = ReadLE16(ext + at + 2);
    if (num != 0 && den != 0) out = static_cast<double>(num) / den;
  };
  ratio(kExtAspect, params_.TgaAspectRatio);
  ratio(kExtGamma, params_.TgaGamma);
}

bool TTgaReader::ReadHeader() {
  uint8_t b[kHeaderSize];
  if (!stream_.ReadExact(b, sizeof b)) {
    progress_.Fail(TIOFailureKind::InvalidData, "header cut short");
    return false;
  }
  h_.IdLength = b[0];
  h_.ColorMapType = b[1];
  h_.ImageType = b[2];
  h_.MapFirst = ReadLE16(b + 3);
  h_.MapLength = ReadLE16(b + 5);
  h_.MapEntryBits = b[7];
  h_.XOrigin = ReadLE16(b + 8);
  h_.YOrigin = ReadLE16(b + 10);
  h_.Width = ReadLE16(b + 12);
  h_.Height = ReadLE16(b + 14);
  h_.Depth = b[16];
  h_.Descriptor = b[17];

  if (!IsKnownImageType(h_.ImageType)) {
    progress_.Fail(TIOFailureKind::InvalidData, "unknown image type");
    return false;
  }
  if (!IsKnownDepth(h_.Depth)) {
    progress_.Fail(TIOFailureKind::InvalidData, "unknown pixel depth");
    return false;
  }
  if (h_.HasMap() && MapEntryBytes(h_.MapEntryBits) == 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "unknown colour map entry size");
    return false;
  }
  // Indexes of 24 or 32 bits do not exist; packets of less than a byte
  // have no defined meaning.
  if ((h_.ColorMapped() && h_.Depth > 16) || (h_.Rle() && h_.Depth < 8)) {
    progress_.Fail(TIOFailureKind::Unsupported, "pixel depth not used with this image type");
    return false;
  }
  return true;
}

bool TTgaReader::ReadImageId() {
  params_.TgaImageId.clear();
  if (h_.IdLength == 0) return true;
  std::vector<uint8_t> id;
  if (!ReadWholeBlock(stream_, h_.IdLength, id, progress_)) return false;
  params_.TgaImageId = TextField(id.data(), id.size());
  return true;
}

bool TTgaReader::ReadColorMap() {
  // The working palette starts as a 3-3-2 colour cube; the colour map (or
  // a gray ramp, or black and white) replaces it.
  palette_.assign(256, {});
  paletteAlpha_.assign(256, 255);
  for (int i = 0; i < 256; ++i)
    palette_[i] = TLmRGBTriple::FromRGB(static_cast<uint8_t>((i >> 5) * 32 + 28),
                                        static_cast<uint8_t>(((i >> 2) & 7) * 32 + 28),
                                        static_cast<uint8_t>((i & 3) * 64 + 60));
  params_.ColorMap.clear();

  std::vector<uint8_t> map;
  if (h_.ColorMapType == 1 && h_.MapLength > 0) {
    const int entryBytes = MapEntryBytes(h_.MapEntryBits);
    if (!ReadWholeBlock(stream_, uint64_t{h_.MapLength} * entryBytes, map, progress_)) return false;
    // Only colour-mapped images use the map; others merely carry it.
    if (h_.ColorMapped()) {
      const size_t end = std::min<size_t>(size_t{h_.MapFirst} + h_.MapLength, kMaxPaletteEntries);
      if (end > palette_.size()) {
        palette_.resize(end);
        paletteAlpha_.resize(end, 255);
      }
      for (size_t i = 0; i < h_.MapLength; ++i) {
        const uint8_t* e = map.data() + i * entryBytes;
        TLmRGBTriple c;
        uint8_t a = 255;
        if (entryBytes == 2) {
          c = From555(ReadLE16(e));
        } else {
          c = TLmRGBTriple::FromRGB(e[2], e[1], e[0]);
          if (entryBytes == 4) a = e[3];
        }
        if (params_.ColorMap.size() < 256) params_.ColorMap.push_back(c);
        const size_t at = size_t{h_.MapFirst} + i;
        if (at >= palette_.size()) continue;
        palette_[at] = c;
        paletteAlpha_[at] = a;
      }
      paletteHasAlpha_ = entryBytes == 4;
      params_.TgaGrayLevel = false;
      return true;
    }
  }
  if (h_.ColorMapped()) {
    params_.TgaGrayLevel = false;  // a colour-mapped image without map keeps the cube
  } else if (h_.Depth == 1) {
    palette_[0] = {};
    palette_[1] = TLmRGBTriple::FromRGB(255, 255, 255);
  } else {
    for (int i = 0; i < 256; ++i) palette_[i] = TLmRGBTriple::FromRGB(uint8_t(i), uint8_t(i), uint8_t(i));
    params_.TgaGrayLevel = h_.Depth == 8;
  }
  return true;
}

void TTgaReader::SetCommonParams() {
  params_.TgaXOrigin = h_.XOrigin;
  params_.TgaYOrigin = h_.YOrigin;
  params_.TgaCompressed = h_.Rle();
  params_.Width = params_.OriginalWidth = h_.Width;
  params_.Height = params_.OriginalHeight = h_.Height;
  params_.SetDpi(kDefaultDpi, kDefaultDpi);
  params_.ImageCount = 1;
  params_.SetSamplesFromPixelDepth(h_.Depth);
}

// A 1-bit image stays bilevel when its two colours are black and white;
// other colour maps give colour pixels so that the colours are kept.
bool TTgaReader::PaletteIsBlackWhite() const {
  return palette_[0] == TLmRGBTriple{} && palette_[1] == TLmRGBTriple::FromRGB(255, 255, 255) &&
         paletteAlpha_[0] == 255 && paletteAlpha_[1] == 255;
}

bool TTgaReader::DataCanDescribeImage(TLmPixelFormat format) {
  const uint64_t pixels = uint64_t{h_.Width} * h_.Height;
  const uint64_t bytesPerPixel = std::max(1, h_.Depth / 8);
  uint64_t needed;
  if (h_.Rle()) {
    needed = (pixels + kMaxPacket - 1) / kMaxPacket * (1 + bytesPerPixel);
  } else {
    needed = (uint64_t{h_.Width} * h_.Depth + 7) / 8 * h_.Height;
  }
  const uint64_t left = static_cast<uint64_t>(std::max<int64_t>(stream_.BytesLeft(), 0));
  if (left >= needed) return true;
  const auto row = PaddedRowLength(h_.Width, static_cast<uint32_t>(PixelFormatBits(format)));
  const uint64_t store = row ? *row * h_.Height : UINT64_MAX;
  if (store <= kSmallImageBytes || left >= needed / kMinPresentFraction) return true;
  progress_.Fail(TIOFailureKind::InvalidData, "image data far shorter than the image");
  return false;
}

bool TTgaReader::ReadRawRow(std::vector<uint8_t>& row) { return stream_.Read(row.data(), row.size()) == row.size(); }

// Packets may run on from one row into the next: the count left and the
// repeated value are kept between calls.
bool TTgaReader::ReadRleRow(std::vector<uint8_t>& row, int bytesPerPixel) {
  const size_t width = h_.Width;
  size_t x = 0;
  while (x < width) {
    if (runLeft_ == 0) {
      uint8_t packet;
      if (stream_.Read(&packet, 1) != 1) return false;
      repeat_ = (packet & 0x80) != 0;
      runLeft_ = (packet & 0x7F) + 1;
      if (repeat_ && !stream_.ReadExact(runPixel_, static_cast<size_t>(bytesPerPixel))) return false;
    }
    const size_t n = std::min(static_cast<size_t>(runLeft_), width - x);
    uint8_t* out = row.data() + x * bytesPerPixel;
    if (repeat_) {
      for (size_t i = 0; i < n; ++i) std::memcpy(out + i * bytesPerPixel, runPixel_, static_cast<size_t>(bytesPerPixel));
    } else if (!stream_.ReadExact(out, n * bytesPerPixel)) {
      return false;
    }
    x += n;
    runLeft_ -= static_cast<int>(n);
  }
  return true;
}

// One stored row to blue, green, red (or the bits of a pf1g row) and alpha,
// in stored order.
void TTgaReader::ConvertRow(const uint8_t* raw, uint8_t* out, uint8_t* alpha) const {
  const int width = h_.Width;
  auto put = [&](int x, TLmRGBTriple c, uint8_t a) {
    out[3 * x] = c.b;
    out[3 * x + 1] = c.g;
    out[3 * x + 2] = c.r;
    alpha[x] = a;
  };
  // Colour and alpha of a colour-map entry (the colour is looked up before
  // its alpha is passed on).
  auto putIndex = [&](int x, uint32_t index) {
    uint8_t a = 255;
    const TLmRGBTriple c = PaletteColor(index, a);
    put(x, c, a);
  };
  switch (h_.Depth) {
    case 1:
      for (int x = 0; x < width; ++x) putIndex(x, (raw[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case 4:
      for (int x = 0; x < width; ++x) {
        const uint8_t v = (raw[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        if (h_.ColorMapped())
          putIndex(x, v);
        else
          put(x, TLmRGBTriple::FromRGB(uint8_t(v * 17), uint8_t(v * 17), uint8_t(v * 17)), 255);
      }
      break;
    case 8:
      for (int x = 0; x < width; ++x) putIndex(x, raw[x]);
      break;
    case 16:
      for (int x = 0; x < width; ++x) {
        const uint16_t w = ReadLE16(raw + 2 * x);
        if (h_.ColorMapped()) {
          putIndex(x, w);
        } else if (h_.BaseType() == kGray) {
          const uint8_t g = static_cast<uint8_t>(w);  // gray level, then alpha
          put(x, TLmRGBTriple::FromRGB(g, g, g), static_cast<uint8_t>(w >> 8));
        } else {
          put(x, From555(w), (w & 0x8000) ? 255 : 0);
        }
      }
      break;
    case 24:
      for (int x = 0; x < width; ++x) put(x, TLmRGBTriple::FromRGB(raw[3 * x + 2], raw[3 * x + 1], raw[3 * x]), 255);
      break;
    case 32:
      for (int x = 0; x < width; ++x)
        put(x, TLmRGBTriple::FromRGB(raw[4 * x + 2], raw[4 * x + 1], raw[4 * x]), raw[4 * x + 3]);
      break;
    default: break;
  }
}

void TTgaReader::DecodeRows(TLmMask* mask) {
  const int width = h_.Width, height = h_.Height;
  const bool topDown = (h_.Descriptor & kTopToBottom) != 0;
  const bool rightToLeft = (h_.Descriptor & kRightToLeft) != 0;
  const bool oneBit = bitmap_.PixelFormat() == pf1g;
  const int bytesPerPixel = h_.Depth / 8;
  std::vector<uint8_t> raw(h_.Rle() ? static_cast<size_t>(width) * bytesPerPixel
                                    : (static_cast<size_t>(width) * h_.Depth + 7) / 8);
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3), alpha(static_cast<size_t>(width));
  uint8_t alphaMin = 255, alphaMax = 0;

  progress_.SetTotalUnits(height);
  int k = 0;
  bool complete = true;
  for (; k < height; ++k) {
    if (!progress_.ReportIfChanged(k)) break;
    std::fill(raw.begin(), raw.end(), 0);
    complete = h_.Rle() ? ReadRleRow(raw, bytesPerPixel) : ReadRawRow(raw);
    const int y = topDown ? k : height - 1 - k;
    uint8_t* row = bitmap_.ScanLine(y);
    if (oneBit) {
      std::memset(row, 0, bitmap_.RowLen());
      for (int x = 0; x < width; ++x) {
        const int from = rightToLeft ? width - 1 - x : x;
        if ((raw[from >> 3] >> (7 - (from & 7))) & 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      }
    } else {
      ConvertRow(raw.data(), bgr.data(), alpha.data());
      if (rightToLeft) {
        for (int x = 0; x < width / 2; ++x) {
          std::swap_ranges(bgr.begin() + 3 * x, bgr.begin() + 3 * x + 3, bgr.begin() + 3 * (width - 1 - x));
          std::swap(alpha[x], alpha[width - 1 - x]);
        }
      }
      std::memcpy(row, bgr.data(), bgr.size());
      if (mask) {
        std::memcpy(mask->ScanLine(y), alpha.data(), alpha.size());
        const auto [lo, hi] = std::minmax_element(alpha.begin(), alpha.end());
        alphaMin = std::min(alphaMin, *lo);
        alphaMax = std::max(alphaMax, *hi);
      }
    }
    if (!complete) {
      ++k;
      break;
    }
  }
  // Rows the data did not reach are black.
  for (int rest = k; rest < height; ++rest) {
    const int y = topDown ? rest : height - 1 - rest;
    std::memset(bitmap_.ScanLine(y), 0, bitmap_.RowLen());
  }
  // An alpha that says nothing (every pixel opaque, or a fourth byte or
  // attribute bit that the writer left at 0 everywhere) is no alpha.
  if (mask && (alphaMin == 255 || (alphaMax == 0 && (h_.AlphaBits() == 0 || h_.Depth == 16)))) mask->Free();
  if (!complete) progress_.Fail(TIOFailureKind::InvalidData, "image data end early");
}

}  // namespace

void TgaRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             bool paramsOnly, TIOProgress& progress) {
  TTgaReader(stream, bitmap, params, progress).Read(ignoreTransparency, mask, paramsOnly);
}

void ReadTga(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  TLmMask mask;
  TgaRead(stream, bitmap, params, false, &mask, paramsOnly, progress);
  if (!paramsOnly && !mask.IsEmpty() && !bitmap.IsEmpty()) bitmap.SetAlphaFromMask(&mask);
}

}  // namespace lumora
