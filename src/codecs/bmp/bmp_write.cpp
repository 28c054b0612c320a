// BMP writer: OS/2 1.x, Windows 3 and OS/2 2.x headers; 1, 4, 8, 24 and
// 32 bits; RLE4 and RLE8. Rows are converted one at a time, so a huge image
// in another pixel format is never copied whole.
#include <algorithm>
#include <functional>
#include <optional>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmp_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace bmp;

// Largest BMP: the file size field is 32 bits.
constexpr uint64_t kMaxBmpFileSize = 0xFFFFFFFFu;

// RLE-encodes one row of indexes (one per byte) and its end-of-line pair.
void EncodeRleRow(const uint8_t* pixels, int n, bool rle4, std::vector<uint8_t>& out) {
  auto flush = [&](int from, int to) {
    while (from < to) {
      const int count = std::min(to - from, 255);
      const uint8_t* p = pixels + from;
      if (count == 1) {
        out.insert(out.end(), {1, static_cast<uint8_t>(rle4 ? p[0] << 4 : p[0])});
      } else if (count == 2) {
        if (rle4)
          out.insert(out.end(), {2, static_cast<uint8_t>((p[0] << 4) | (p[1] & 0x0F))});
        else
          out.insert(out.end(), {1, p[0], 1, p[1]});
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(count));
        size_t bytes;
        if (rle4) {
          bytes = (count + 1) / 2;
          for (int i = 0; i < count; i += 2)
            out.push_back(static_cast<uint8_t>((p[i] << 4) | (i + 1 < count ? p[i + 1] & 0x0F : 0)));
        } else {
          bytes = count;
          out.insert(out.end(), p, p + count);
        }
        if (bytes & 1) out.push_back(0);
      }
      from += count;
    }
  };

  int s = 0, p = 0;
  while (p < n) {
    if (p - s > 255) {
      flush(s, p);
      s = p;
    }
    if (p + 1 < n && pixels[p] == pixels[p + 1]) {
      flush(s, p);
      int end = p + 1;
      while (end < n && end - p < 255 && pixels[end] == pixels[p]) ++end;
      const uint8_t index = pixels[p];
      out.push_back(static_cast<uint8_t>(end - p));
      out.push_back(rle4 ? static_cast<uint8_t>((index << 4) | (index & 0x0F)) : index);
      s = p = end;
    } else {
      ++p;
    }
  }
  flush(s, n);
  out.insert(out.end(), {0, 0});
}

class TBmpWriter {
 public:
  TBmpWriter(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool useAlpha, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), useAlpha_(useAlpha), progress_(progress) {}

  void Write();

 private:
  int ChooseBits() const;
  bool Put(const void* data, size_t size) {
    if (stream_.WriteExact(data, size)) return true;
    progress_.Abort();
    return false;
  }
  bool WriteInfoHeader(int bits, uint32_t compression);
  bool WritePalette(const std::vector<TLmRGBTriple>& palette);
  bool WriteIndexed(int bits, bool rle);
  bool WriteOneBit();
  bool WriteTrueColor(int bits);
  bool WriteIndexRows(const TLmBitmap& source, int bits, bool rle,
                      const std::function<void(const uint8_t* src, uint8_t* indexes)>& toIndexes);
  bool PatchHeaders(int bits);

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  bool useAlpha_;
  TIOProgress& progress_;
  int64_t start_ = 0;
  int64_t pixelStart_ = 0;
  int headerSize_ = kWindowsHeaderSize;
};

int TBmpWriter::ChooseBits() const {
  if (params_.BitsPerSample == 1 || params_.BitsPerSample == 4) return params_.BitsPerSample;
  if (params_.SamplesPerPixel == 1) return 8;
  return bitmap_.HasAlphaChannel() ? 32 : 24;
}

void TBmpWriter::Write() {
  const int width = bitmap_.Width(), height = bitmap_.Height();
  if (width <= 0 || height <= 0) return progress_.Abort();
  const int bits = ChooseBits();
  const bool os2 = params_.BmpVersion == kVersionOs2V1;
  const bool rle = params_.BmpCompression == 1 && !os2 && (bits == 4 || bits == 8);
  headerSize_ = os2 ? kOs2V1HeaderSize : params_.BmpVersion == kVersionOs2V2 ? kOs2V2HeaderSize : kWindowsHeaderSize;

  // The whole file must fit the 32-bit size fields (RLE is checked at the end).
  const auto rowLen = PaddedRowLength(static_cast<uint64_t>(width), bits);
  const auto pixels = rowLen ? ImageByteSize(*rowLen, static_cast<uint64_t>(height)) : std::nullopt;
  if (!pixels || *pixels > kMaxBmpFileSize - kFileHeaderSize - headerSize_ - 1024 ||
      (os2 && (width > 0xFFFF || height > 0xFFFF)))
    return progress_.Abort();

  params_.Width = width;
  params_.Height = height;
  start_ = stream_.Position();
  uint8_t fileHeader[kFileHeaderSize] = {'B', 'M'};
  if (!Put(fileHeader, sizeof fileHeader)) return;
  const uint32_t compression = rle ? (bits == 4 ? kRle4 : kRle8) : kNone;
  if (!WriteInfoHeader(bits, compression)) return;

  progress_.SetTotalUnits(height);
  bool ok;
  if (bits == 4 || bits == 8)
    ok = WriteIndexed(bits, rle);
  else if (bits == 1)
    ok = WriteOneBit();
  else
    ok = WriteTrueColor(bits);
  if (!ok || progress_.Aborting()) return;
  PatchHeaders(bits);
}

bool TBmpWriter::WriteInfoHeader(int bits, uint32_t compression) {
  uint8_t h[kOs2V2HeaderSize] = {};
  WriteLE32(h, headerSize_);
  if (headerSize_ == kOs2V1HeaderSize) {
    WriteLE16(h + 4, static_cast<uint16_t>(bitmap_.Width()));
    WriteLE16(h + 6, static_cast<uint16_t>(bitmap_.Height()));
    WriteLE16(h + 8, 1);
    return Put(h, kOs2V1HeaderSize);  // bit count patched at the end
  }
  auto pixelsPerMetre = [](int dpi) { return static_cast<uint32_t>(static_cast<int32_t>(RoundHalfEven(dpi / 2.54 * 100))); };
  WriteLE32(h + 4, static_cast<uint32_t>(bitmap_.Width()));
  WriteLE32(h + 8, static_cast<uint32_t>(bitmap_.Height()));  // positive: bottom-up
  WriteLE16(h + 12, 1);
  WriteLE32(h + 16, compression);
  WriteLE32(h + 24, pixelsPerMetre(params_.DpiX));
  WriteLE32(h + 28, pixelsPerMetre(params_.DpiY));
  WriteLE32(h + 32, bits <= 8 ? 1u << bits : 0);
  WriteLE32(h + 36, 1u << (bits % 32));
  return Put(h, static_cast<size_t>(headerSize_));  // image size and bit count patched at the end
}

bool TBmpWriter::WritePalette(const std::vector<TLmRGBTriple>& palette) {
  params_.ColorMap = palette;
  const int entry = headerSize_ == kOs2V1HeaderSize ? 3 : 4;
  std::vector<uint8_t> table(palette.size() * entry, 0);
  for (size_t i = 0; i < palette.size(); ++i) {
    table[i * entry] = palette[i].b;
    table[i * entry + 1] = palette[i].g;
    table[i * entry + 2] = palette[i].r;
  }
  if (!Put(table.data(), table.size())) return false;
  pixelStart_ = stream_.Position();
  return true;
}

// Writes the rows bottom-up, each turned into one index per pixel by
// `toIndexes` and then packed (or RLE-encoded).
bool TBmpWriter::WriteIndexRows(const TLmBitmap& source, int bits, bool rle,
                                const std::function<void(const uint8_t* src, uint8_t* indexes)>& toIndexes) {
  const int width = source.Width(), height = source.Height();
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width), bits));
  std::vector<uint8_t> indexes(static_cast<size_t>(width)), packed, encoded;
  for (int k = 0; k < height; ++k) {
    if (!progress_.Report(k)) return false;
    toIndexes(source.ScanLine(height - 1 - k), indexes.data());
    if (rle) {
      encoded.clear();
      EncodeRleRow(indexes.data(), width, bits == 4, encoded);
      if (!Put(encoded.data(), encoded.size())) return false;
      continue;
    }
    packed.assign(rowLen, 0);
    if (bits == 8) {
      std::memcpy(packed.data(), indexes.data(), indexes.size());
    } else if (bits == 4) {
      for (int x = 0; x < width; ++x) packed[x >> 1] |= static_cast<uint8_t>((indexes[x] & 0x0F) << ((x & 1) ? 0 : 4));
    } else {
      for (int x = 0; x < width; ++x)
        if (indexes[x] & 1) packed[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    if (!Put(packed.data(), packed.size())) return false;
  }
  if (rle) {
    const uint8_t endOfBitmap[2] = {0, 1};
    return Put(endOfBitmap, 2);
  }
  return true;
}

bool TBmpWriter::WriteIndexed(int bits, bool rle) {
  const int n = 1 << bits;
  const int width = bitmap_.Width(), height = bitmap_.Height();

  // A paletted image whose indexes all fit is written with its own palette.
  bool ownIndexes = bitmap_.PixelFormat() == pf8p;
  for (int y = 0; ownIndexes && bits < 8 && y < height; ++y) {
    const uint8_t* row = bitmap_.ScanLine(y);
    ownIndexes = std::all_of(row, row + width, [n](uint8_t i) { return i < n; });
  }
  std::vector<TLmRGBTriple> palette(n);
  if (ownIndexes) {
    for (int i = 0; i < n; ++i) palette[i] = bitmap_.GetPaletteColor(i);
    if (!WritePalette(palette)) return false;
    return WriteIndexRows(bitmap_, bits, rle, [&](const uint8_t* src, uint8_t* indexes) {
      std::memcpy(indexes, src, static_cast<size_t>(width));
    });
  }

  // Otherwise a gray ramp or a quantised palette of 2^bits colours.
  TLmQuantizer quantizer(bitmap_, n, palette.data());
  if (!WritePalette(palette)) return false;
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3);
  const TLmPixelFormat format = bitmap_.PixelFormat();
  return WriteIndexRows(bitmap_, bits, rle, [&](const uint8_t* src, uint8_t* indexes) {
    PixelRowToBGR(format, src, bgr.data(), width, bitmap_.Palette(), bitmap_.PaletteLength());
    for (int x = 0; x < width; ++x) {
      const TLmRGBTriple c = TLmRGBTriple::FromRGB(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
      int index = quantizer.Index(c);
      if (index < 0) index = NearestPaletteEntry(c, palette.data(), n);
      indexes[x] = static_cast<uint8_t>(index);
    }
  });
}

bool TBmpWriter::WriteOneBit() {
  const int width = bitmap_.Width();
  auto bitsOf = [width](const uint8_t* src, uint8_t* indexes) {
    for (int x = 0; x < width; ++x) indexes[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
  };
  const TLmRGBTriple black{}, white = TLmRGBTriple::FromRGB(255, 255, 255);
  if (bitmap_.PixelFormat() == pf1g) {
    return WritePalette({black, white}) && WriteIndexRows(bitmap_, 1, false, bitsOf);
  }
  TLmRGBTriple first, second;
  if (std::unique_ptr<TLmBitmap> two = TwoColorToBilevel(bitmap_, first, second)) {
    return WritePalette({first, second}) && WriteIndexRows(*two, 1, false, bitsOf);
  }
  TLmBitmap bilevel;
  bilevel.Assign(bitmap_);
  bilevel.RemoveAlphaChannel(false);
  bilevel.SetPixelFormat(pf1g);
  return WritePalette({black, white}) && WriteIndexRows(bilevel, 1, false, bitsOf);
}

bool TBmpWriter::WriteTrueColor(int bits) {
  pixelStart_ = stream_.Position();
  const int width = bitmap_.Width(), height = bitmap_.Height();
  const TLmPixelFormat format = bitmap_.PixelFormat();
  const size_t rowLen = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width), bits));
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3), out(rowLen, 0);
  TLmBitmap* alpha = bits == 32 && useAlpha_ && bitmap_.HasAlphaChannel() ? &bitmap_.AlphaChannel() : nullptr;
  for (int k = 0; k < height; ++k) {
    if (!progress_.Report(k)) return false;
    const int y = height - 1 - k;
    const uint8_t* src = bitmap_.ScanLine(y);
    if (bits == 24) {
      if (format == pf24RGB)
        std::memcpy(out.data(), src, static_cast<size_t>(width) * 3);
      else
        PixelRowToBGR(format, src, out.data(), width, bitmap_.Palette(), bitmap_.PaletteLength());
    } else {
      PixelRowToBGR(format, src, bgr.data(), width, bitmap_.Palette(), bitmap_.PaletteLength());
      const uint8_t* a = alpha ? alpha->ScanLine(y) : nullptr;
      for (int x = 0; x < width; ++x) {
        std::memcpy(out.data() + 4 * x, bgr.data() + 3 * x, 3);
        out[4 * x + 3] = a ? a[x] : 255;
      }
    }
    if (!Put(out.data(), out.size())) return false;
  }
  return true;
}

bool TBmpWriter::PatchHeaders(int bits) {
  const int64_t end = stream_.Position();
  if (static_cast<uint64_t>(end - start_) > kMaxBmpFileSize) {
    progress_.Abort();
    return false;
  }
  uint8_t fileHeader[kFileHeaderSize] = {'B', 'M'};
  WriteLE32(fileHeader + 2, static_cast<uint32_t>(end - start_));
  WriteLE32(fileHeader + 10, static_cast<uint32_t>(pixelStart_ - start_));
  stream_.SetPosition(start_);
  if (!Put(fileHeader, sizeof fileHeader)) return false;
  uint8_t field[4];
  if (headerSize_ == kOs2V1HeaderSize) {
    stream_.SetPosition(start_ + kFileHeaderSize + 10);
    WriteLE16(field, static_cast<uint16_t>(bits));
    if (!Put(field, 2)) return false;
  } else {
    stream_.SetPosition(start_ + kFileHeaderSize + 14);
    WriteLE16(field, static_cast<uint16_t>(bits));
    if (!Put(field, 2)) return false;
    stream_.SetPosition(start_ + kFileHeaderSize + 20);
    WriteLE32(field, static_cast<uint32_t>(end - pixelStart_));
    if (!Put(field, 4)) return false;
  }
  stream_.SetPosition(end);
  return true;
}

}  // namespace

void BmpWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool useAlpha, TIOProgress& progress) {
  TBmpWriter(stream, bitmap, params, useAlpha, progress).Write();
}

}  // namespace lumora
