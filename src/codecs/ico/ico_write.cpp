// ICO writer: one bitmap image per size, each resampled from the picture,
// at 1, 4, 8, 24 or 32 bits, with its AND mask from the alpha channel.
#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/ico/ico.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"
#include "imageio/resample.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

constexpr int kDirectoryHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr int kInfoHeaderSize = 40;

// The depth an IcoBitCounts entry asks for.
int IconBits(int requested, const TIOParamsVals& params) {
  switch (requested) {
    case 1:
    case 4:
    case 8:
    case 32: return requested;
    case 0:
      if (params.SamplesPerPixel == 3 && params.BitsPerSample == 8) return 24;
      if (params.SamplesPerPixel == 4 && params.BitsPerSample == 8) return 32;
      if (params.SamplesPerPixel == 1 && params.BitsPerSample == 1) return 1;
      if (params.SamplesPerPixel == 1 && params.BitsPerSample == 4) return 4;
      return 8;
    default: return 24;
  }
}

uint32_t PixelsPerMetre(int dpi) { return static_cast<uint32_t>(std::lround(std::max(dpi, 0) / 2.54 * 100)); }

struct TIconImage {
  int Width = 0, Height = 0, Bits = 0;
  std::vector<uint8_t> Data;  // info header, colour table, colour rows, AND rows
};

class TIconBuilder {
 public:
  TIconBuilder(const TLmBitmap& image, const TIOParamsVals& params, int bits)
      : image_(image), params_(params), bits_(bits), width_(image.Width()), height_(image.Height()) {}

  TIconImage Build();

 private:
  void PutHeader(uint32_t imageSize);
  void PutColourTable(const std::vector<TLmRGBTriple>& table);
  void PutIndexRows(int colours);
  void PutOneBitRows();
  void PutTrueColourRows();
  void PutAndMask();
  bool Transparent(int x, const uint8_t* alphaRow) const { return alphaRow && alphaRow[x] != 255; }

  const TLmBitmap& image_;
  const TIOParamsVals& params_;
  const int bits_, width_, height_;
  std::vector<uint8_t> out_;
};

void TIconBuilder::PutHeader(uint32_t imageSize) {
  uint8_t h[kInfoHeaderSize] = {};
  WriteLE32(h, kInfoHeaderSize);
  WriteLE32(h + 4, static_cast<uint32_t>(width_));
  WriteLE32(h + 8, static_cast<uint32_t>(height_ * 2));
  WriteLE16(h + 12, 1);
  WriteLE16(h + 14, static_cast<uint16_t>(bits_));
  WriteLE32(h + 20, imageSize);
  WriteLE32(h + 24, PixelsPerMetre(params_.DpiX));
  WriteLE32(h + 28, PixelsPerMetre(params_.DpiY));
  out_.insert(out_.end(), h, h + sizeof h);
}

void TIconBuilder::PutColourTable(const std::vector<TLmRGBTriple>& table) {
  for (const TLmRGBTriple& c : table) out_.insert(out_.end(), {c.b, c.g, c.r, 0});
}

// 4 and 8 bits: entry 0 stays black for the transparent pixels, the
// quantiser fills the others.
void TIconBuilder::PutIndexRows(int colours) {
  std::vector<TLmRGBTriple> table(colours), quantised(colours - 1);
  TLmQuantizer quantizer(image_, colours - 1, quantised.data());
  std::copy(quantised.begin(), quantised.end(), table.begin() + 1);
  PutColourTable(table);
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width_), bits_));
  std::vector<uint8_t> bgr(static_cast<size_t>(width_) * 3), row(rowLen);
  const TLmBitmap* alpha = image_.HasAlphaChannel() ? &const_cast<TLmBitmap&>(image_).AlphaChannel() : nullptr;
  for (int k = 0; k < height_; ++k) {
    const int y = height_ - 1 - k;
    PixelRowToBGR(image_.PixelFormat(), image_.ScanLine(y), bgr.data(), width_, image_.Palette(),
                  image_.PaletteLength());
    const uint8_t* a = alpha ? alpha->ScanLine(y) : nullptr;
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < width_; ++x) {
      int index = 0;
      if (!Transparent(x, a)) {
        const TLmRGBTriple c = TLmRGBTriple::FromRGB(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
        const int q = quantizer.Index(c);
        index = 1 + (q >= 0 ? q : NearestPaletteEntry(c, quantised.data(), colours - 1));
      }
      if (bits_ == 8)
        row[x] = static_cast<uint8_t>(index);
      else
        row[x >> 1] |= static_cast<uint8_t>(index << ((x & 1) ? 0 : 4));
    }
    out_.insert(out_.end(), row.begin(), row.end());
  }
}

void TIconBuilder::PutOneBitRows() {
  PutColourTable({TLmRGBTriple{}, TLmRGBTriple::FromRGB(255, 255, 255)});
  TLmBitmap bilevel;
  const TLmBitmap* source = &image_;
  if (image_.PixelFormat() != pf1g) {
    bilevel.Assign(image_);
    bilevel.RemoveAlphaChannel(false);
    bilevel.SetPixelFormat(pf1g);
    source = &bilevel;
  }
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width_), 1));
  const size_t used = (static_cast<size_t>(width_) + 7) / 8;
  for (int k = 0; k < height_; ++k) {
    const uint8_t* src = source->ScanLine(height_ - 1 - k);
    out_.insert(out_.end(), src, src + used);
    out_.insert(out_.end(), rowLen - used, 0);
  }
}

void TIconBuilder::PutTrueColourRows() {
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width_), bits_));
  std::vector<uint8_t> bgr(static_cast<size_t>(width_) * 3), row(rowLen, 0);
  const TLmBitmap* alpha = image_.HasAlphaChannel() ? &const_cast<TLmBitmap&>(image_).AlphaChannel() : nullptr;
  for (int k = 0; k < height_; ++k) {
    const int y = height_ - 1 - k;
    PixelRowToBGR(image_.PixelFormat(), image_.ScanLine(y), bgr.data(), width_, image_.Palette(),
                  image_.PaletteLength());
    const uint8_t* a = alpha ? alpha->ScanLine(y) : nullptr;
    for (int x = 0; x < width_; ++x) {
      if (bits_ == 24) {
        std::copy_n(&bgr[3 * x], 3, &row[3 * x]);
      } else {
        std::copy_n(&bgr[3 * x], 3, &row[4 * x]);
        row[4 * x + 3] = a ? a[x] : 255;
      }
    }
    out_.insert(out_.end(), row.begin(), row.end());
  }
}

// 1 where the pixel is not fully opaque.
void TIconBuilder::PutAndMask() {
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width_), 1));
  const TLmBitmap* alpha = image_.HasAlphaChannel() ? &const_cast<TLmBitmap&>(image_).AlphaChannel() : nullptr;
  std::vector<uint8_t> row(rowLen);
  for (int k = 0; k < height_; ++k) {
    std::fill(row.begin(), row.end(), 0);
    const uint8_t* a = alpha ? alpha->ScanLine(height_ - 1 - k) : nullptr;
    for (int x = 0; x < width_; ++x)
      if (Transparent(x, a)) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    out_.insert(out_.end(), row.begin(), row.end());
  }
}

TIconImage TIconBuilder::Build() {
  const uint64_t xorBytes = *PaddedRowLength(static_cast<uint64_t>(width_), bits_) * height_;
  const uint64_t andBytes = *PaddedRowLength(static_cast<uint64_t>(width_), 1) * height_;
  PutHeader(static_cast<uint32_t>(xorBytes + andBytes));
  if (bits_ == 1)
    PutOneBitRows();
  else if (bits_ == 4 || bits_ == 8)
    PutIndexRows(1 << bits_);
  else
    PutTrueColourRows();
  PutAndMask();
  return {width_, height_, bits_, std::move(out_)};
}

}  // namespace

void IcoWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, std::span<const int32_t> bitCounts,
              std::span<const TIcoSize> sizes, TIOProgress& progress) {
  const size_t n = std::min(bitCounts.size(), sizes.size());
  if (n == 0 || bitmap.IsEmpty()) {
    progress.Fail(TIOFailureKind::InvalidData, "no icon sizes");
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (sizes[i].Width < 1 || sizes[i].Width > 256 || sizes[i].Height < 1 || sizes[i].Height > 256) {
      progress.Fail(TIOFailureKind::Unsupported, "icon sizes are 1 to 256 pixels");
      return;
    }
  }
  if (bitmap.PixelFormat() != pf24RGB) {
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
  }
  const int64_t start = stream.Position();
  std::vector<uint8_t> directory(kDirectoryHeaderSize + kEntrySize * n, 0);
  WriteLE16(&directory[2], 1);
  WriteLE16(&directory[4], static_cast<uint16_t>(n));
  if (!stream.WriteExact(directory.data(), directory.size())) return progress.Fail(TIOFailureKind::IOError, "short write");

  progress.PerUnit = 100.0 / static_cast<double>(n);
  uint64_t offset = directory.size();
  for (size_t i = 0; i < n; ++i) {
    if (!progress.Report(static_cast<int64_t>(i))) return;
    TLmBitmap copy;
    copy.Assign(bitmap);
    if ((copy.Width() != sizes[i].Width || copy.Height() != sizes[i].Height) &&
        !ResampleBitmap(copy, sizes[i].Width, sizes[i].Height, copy.PixelFormat() != pf1g)) {
      return progress.Fail(TIOFailureKind::OverLimit, "icon image cannot be resampled");
    }
    const int bits = IconBits(bitCounts[i], params);
    const TIconImage image = TIconBuilder(copy, params, bits).Build();
    if (!stream.WriteExact(image.Data.data(), image.Data.size()))
      return progress.Fail(TIOFailureKind::IOError, "short write");

    uint8_t* e = &directory[kDirectoryHeaderSize + kEntrySize * i];
    e[0] = static_cast<uint8_t>(image.Width & 0xFF);
    e[1] = static_cast<uint8_t>(image.Height & 0xFF);
    if (bits >= 24) {
      WriteLE16(e + 4, 1);
      WriteLE16(e + 6, static_cast<uint16_t>(bits));
    } else {
      e[2] = static_cast<uint8_t>(std::min(1 << bits, 255));
    }
    WriteLE32(e + 8, static_cast<uint32_t>(image.Data.size()));
    WriteLE32(e + 12, static_cast<uint32_t>(offset));
    offset += image.Data.size();
  }
  const int64_t end = stream.Position();
  stream.SetPosition(start);
  if (!stream.WriteExact(directory.data(), directory.size())) return progress.Fail(TIOFailureKind::IOError, "short write");
  stream.SetPosition(end);
}

void WriteIco(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  size_t n = 0;
  while (n < params.IcoSizes.size() && params.IcoSizes[n].Width > 0) ++n;
  // The picture itself stays as it is; only the copies are converted.
  TLmBitmap working;
  TLmBitmap* source = &bitmap;
  if (bitmap.PixelFormat() != pf24RGB && bitmap.PixelFormat() != pf1g) {
    working.Assign(bitmap);
    working.SetPixelFormat(pf24RGB);
    source = &working;
  }
  IcoWrite(stream, *source, params, std::span(params.IcoBitCounts.data(), n), std::span(params.IcoSizes.data(), n),
           progress);
}

}  // namespace lumora
