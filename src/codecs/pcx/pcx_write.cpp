// PCX writer: 1 bit (the image's two colours in the header palette), 4 and
// 8 bits through a quantised palette, 24 bits as three planes.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/pcx/pcx.h"
#include "codecs/pcx/pcx_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace pcx;

// Run-length encodes one plane line; runs never cross lines.
void EncodeLine(const uint8_t* line, size_t length, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < length) {
    const uint8_t value = line[i];
    size_t run = 1;
    while (i + run < length && run < static_cast<size_t>(kMaxRun) && line[i + run] == value) ++run;
    if (run > 1 || value >= kRunFlag) out.push_back(static_cast<uint8_t>(kRunFlag + run));
    out.push_back(value);
    i += run;
  }
}

class TPcxWriter {
 public:
  TPcxWriter(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Write();

 private:
  int TotalBits() const;
  const TLmBitmap& PrepareOneBit();
  void WriteHeader(int bits, int planes, uint32_t bytesPerLine);
  // Writes every row; `fill` gives the plane lines of a row (planes × bytesPerLine bytes).
  template <class TFill>
  bool WriteRows(int planes, uint32_t bytesPerLine, TFill fill);
  bool Put(const void* data, size_t size);

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  TLmRGBTriple headerPalette_[kHeaderPaletteEntries] = {};
  std::unique_ptr<TLmBitmap> bilevel_;
};

int TPcxWriter::TotalBits() const {
  if (params_.BitsPerSample == 1) return 1;
  const int total = params_.BitsPerSample * std::min(params_.SamplesPerPixel, 3);
  if (total <= 1) return 1;
  if (total <= 4) return 4;
  if (total <= 8) return 8;
  return 24;
}

// The image itself when it is 1-bit, else its two colours as a 1-bit image,
// else a black-and-white conversion.
const TLmBitmap& TPcxWriter::PrepareOneBit() {
  headerPalette_[0] = TLmRGBTriple{};
  headerPalette_[1] = TLmRGBTriple::FromRGB(255, 255, 255);
  if (bitmap_.PixelFormat() == pf1g) return bitmap_;
  TLmRGBTriple first, second;
  bilevel_ = TwoColorToBilevel(bitmap_, first, second);
  if (bilevel_) {
    headerPalette_[0] = first;
    headerPalette_[1] = second;
    return *bilevel_;
  }
  bilevel_ = std::make_unique<TLmBitmap>();
  bilevel_->Assign(bitmap_);
  bilevel_->RemoveAlphaChannel(false);
  bilevel_->SetPixelFormat(pf1g);
  return *bilevel_;
}

bool TPcxWriter::Put(const void* data, size_t size) {
  if (stream_.WriteExact(data, size)) return true;
  progress_.Fail(TIOFailureKind::IOError, "short write");
  return false;
}

void TPcxWriter::WriteHeader(int bits, int planes, uint32_t bytesPerLine) {
  uint8_t h[kHeaderSize] = {};
  h[0] = kManufacturer;
  h[1] = params_.PcxVersion;
  h[2] = params_.PcxCompression != 0 ? 1 : 0;
  h[3] = static_cast<uint8_t>(bits);
  WriteLE16(h + 8, static_cast<uint16_t>(bitmap_.Width() - 1));
  WriteLE16(h + 10, static_cast<uint16_t>(bitmap_.Height() - 1));
  WriteLE16(h + 12, static_cast<uint16_t>(std::clamp(params_.DpiX, 0, 0xFFFF)));
  WriteLE16(h + 14, static_cast<uint16_t>(std::clamp(params_.DpiY, 0, 0xFFFF)));
  for (int i = 0; i < kHeaderPaletteEntries; ++i) {
    uint8_t* p = h + kHeaderPaletteOffset + 3 * i;
    p[0] = headerPalette_[i].r;
    p[1] = headerPalette_[i].g;
    p[2] = headerPalette_[i].b;
  }
  h[65] = static_cast<uint8_t>(planes);
  WriteLE16(h + 66, static_cast<uint16_t>(bytesPerLine));
  WriteLE16(h + 68, planes == 3 ? 0 : 1);
  Put(h, sizeof h);
}

template <class TFill>
bool TPcxWriter::WriteRows(int planes, uint32_t bytesPerLine, TFill fill) {
  const int height = bitmap_.Height();
  const bool rle = params_.PcxCompression != 0;
  std::vector<uint8_t> line(static_cast<size_t>(planes) * bytesPerLine), out;
  progress_.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    if (!progress_.Report(y)) return false;
    std::fill(line.begin(), line.end(), 0);
    fill(y, line.data());
    if (!rle) {
      if (!Put(line.data(), line.size())) return false;
      continue;
    }
    out.clear();
    for (int p = 0; p < planes; ++p) EncodeLine(line.data() + static_cast<size_t>(p) * bytesPerLine, bytesPerLine, out);
    if (!Put(out.data(), out.size())) return false;
  }
  return true;
}

void TPcxWriter::Write() {
  const int width = bitmap_.Width();
  if (width <= 0 || bitmap_.Height() <= 0 || width > 0xFFFF || bitmap_.Height() > 0xFFFF) {
    progress_.Fail(TIOFailureKind::Unsupported, "PCX holds 1 to 65535 pixels per side");
    return;
  }
  const int total = TotalBits();
  const TLmPixelFormat format = bitmap_.PixelFormat();
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3);
  auto toBGR = [&](int y) {
    PixelRowToBGR(format, bitmap_.ScanLine(y), bgr.data(), width, bitmap_.Palette(), bitmap_.PaletteLength());
  };
  auto even = [](uint64_t n) { return static_cast<uint32_t>((n + 1) & ~uint64_t{1}); };

  if (total == 1) {
    const TLmBitmap& source = PrepareOneBit();
    const uint32_t bpl = even((static_cast<uint64_t>(width) + 7) / 8);
    WriteHeader(1, 1, bpl);
    if (progress_.Aborting()) return;
    const size_t n = (static_cast<size_t>(width) + 7) / 8;
    WriteRows(1, bpl, [&](int y, uint8_t* line) { std::memcpy(line, source.ScanLine(y), n); });
    return;
  }
  if (total == 24) {
    const uint32_t bpl = even(static_cast<uint64_t>(width));
    WriteHeader(8, 3, bpl);
    if (progress_.Aborting()) return;
    WriteRows(3, bpl, [&](int y, uint8_t* line) {
      toBGR(y);
      for (int x = 0; x < width; ++x) {
        line[x] = bgr[3 * x + 2];
        line[bpl + x] = bgr[3 * x + 1];
        line[2 * bpl + x] = bgr[3 * x];
      }
    });
    return;
  }

  // 4 and 8 bits: indexes into a quantised palette.
  const int colours = total == 4 ? 16 : 256;
  std::vector<TLmRGBTriple> palette(colours);
  TLmQuantizer quantizer(bitmap_, colours, palette.data());
  auto indexOf = [&](int x) {
    const TLmRGBTriple c = TLmRGBTriple::FromRGB(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
    const int index = quantizer.Index(c);
    return static_cast<uint8_t>(index >= 0 ? index : NearestPaletteEntry(c, palette.data(), colours));
  };
  if (total == 4) {
    std::copy(palette.begin(), palette.end(), headerPalette_);
    const uint32_t bpl = even((static_cast<uint64_t>(width) + 1) / 2);
    WriteHeader(4, 1, bpl);
    if (progress_.Aborting()) return;
    WriteRows(1, bpl, [&](int y, uint8_t* line) {
      toBGR(y);
      for (int x = 0; x < width; ++x) line[x >> 1] |= static_cast<uint8_t>(indexOf(x) << ((x & 1) ? 0 : 4));
    });
    return;
  }
  const uint32_t bpl = even(static_cast<uint64_t>(width));
  WriteHeader(8, 1, bpl);
  if (progress_.Aborting()) return;
  const bool ok = WriteRows(1, bpl, [&](int y, uint8_t* line) {
    toBGR(y);
    for (int x = 0; x < width; ++x) line[x] = indexOf(x);
  });
  if (!ok) return;
  std::vector<uint8_t> tail;
  tail.push_back(kPaletteMarker);
  for (const TLmRGBTriple& c : palette) tail.insert(tail.end(), {c.r, c.g, c.b});
  Put(tail.data(), tail.size());
}

}  // namespace

void PcxWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  TPcxWriter(stream, bitmap, params, progress).Write();
}

void WritePcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  PcxWrite(stream, bitmap, params, progress);
}

}  // namespace lumora
