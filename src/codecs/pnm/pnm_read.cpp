// PNM reader: P1 to P3 (text) and P4 to P6 (binary), maximum values up to
// 65535 (16-bit samples big-endian), comments wherever the token reader
// finds them.
//
// Samples are scaled by the maximum value to the pixel store's range, and
// samples above it count as the maximum. The dimensions are checked against
// our limits and against the data that follows before anything is
// allocated; a file cut short keeps the rows read.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/pnm/pnm.h"
#include "codecs/pnm/pxm_token.h"
#include "codecs/pnm/truncation.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

constexpr int64_t kMaxSampleValue = 65535;
// A header of nothing but short comments would otherwise cost far more
// memory as a list than as bytes; the comments past this many are skipped.
constexpr size_t kMaxComments = 1000;

// A decimal number, or -1 for a token that is not one. Numbers beyond any
// image size saturate, so that they fail the limits rather than wrap.
int64_t ParseDecimal(const std::string& token) {
  if (token.empty()) return -1;
  int64_t value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return -1;
    value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 40);
  }
  return value;
}

struct TPnmHeader {
  std::string Magic;
  int64_t Width = 0, Height = 0, MaxValue = 0;

  char Kind() const { return Magic.size() == 2 && Magic[0] == 'P' ? Magic[1] : 0; }
  bool Bilevel() const { return Kind() == '1' || Kind() == '4'; }
};

class TPnmReader {
 public:
  TPnmReader(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Read(bool paramsOnly);

 private:
  void ReadHeader();
  bool CheckHeader();
  TLmPixelFormat ChooseFormat();
  uint64_t FewestRasterBytes() const;
  void DecodeRows();
  bool DecodePlainBits(uint8_t* row);
  bool DecodePlainSamples(uint8_t* row, int channels);
  bool DecodeBinaryRow(uint8_t* row, std::vector<uint8_t>& in);
  int NextPlainSample();
  uint8_t To8(int64_t v) const { return static_cast<uint8_t>(std::min(v, h_.MaxValue) * 255 / h_.MaxValue); }
  uint16_t To16(int64_t v) const {
    return static_cast<uint16_t>(std::min(v, h_.MaxValue) * 65535 / h_.MaxValue);
  }

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  TPnmHeader h_;
};

void TPnmReader::Read(bool paramsOnly) {
  params_.PxmComments.clear();
  ReadHeader();
  if (!CheckHeader()) return;
  params_.Width = params_.OriginalWidth = static_cast<int32_t>(h_.Width);
  params_.Height = params_.OriginalHeight = static_cast<int32_t>(h_.Height);
  params_.SetDpi(kDefaultDpi, kDefaultDpi);
  params_.ColorMap.clear();
  params_.ImageCount = 1;
  const TLmPixelFormat format = ChooseFormat();
  if (paramsOnly) return;
  if (!pnm::DataCanDescribeImage(stream_, FewestRasterBytes(), h_.Width, h_.Height,
                            static_cast<uint32_t>(PixelFormatBits(format)), progress_))
    return;
  if (!bitmap_.Allocate(static_cast<int>(h_.Width), static_cast<int>(h_.Height), format)) {
    progress_.Fail(TIOFailureKind::OverLimit, "no memory for the image");
    return;
  }
  DecodeRows();
}

// Magic, width, height and (but for bilevel images) the maximum value; a
// zero leaves its field unset, so that the next token is taken for it.
void TPnmReader::ReadHeader() {
  int field = 0;
  while (stream_.BytesLeft() > 0) {
    const std::string token = PxmReadToken(stream_);
    if (token.empty()) break;
    if (token[0] == '#') {
      if (params_.PxmComments.size() < kMaxComments) params_.PxmComments.push_back(token.substr(1));
      continue;
    }
    if (field == 0) {
      h_.Magic = token;
      if (h_.Bilevel()) h_.MaxValue = 1;
      ++field;
      continue;
    }
    const int64_t value = ParseDecimal(token);
    if (value == 0) continue;
    if (field == 1) {
      h_.Width = value;
    } else if (field == 2) {
      h_.Height = value;
      if (h_.Bilevel()) break;
    } else {
      h_.MaxValue = value;
      break;
    }
    ++field;
  }
}

bool TPnmReader::CheckHeader() {
  const char kind = h_.Kind();
  if (kind < '1' || kind > '6') {
    progress_.Fail(TIOFailureKind::InvalidData, "not a portable anymap");
    return false;
  }
  if (h_.Width <= 0 || h_.Height <= 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "no image size");
    return false;
  }
  if (!AcceptImageSize(h_.Width, h_.Height, 24, progress_)) return false;
  if (h_.MaxValue < 1 || h_.MaxValue > kMaxSampleValue) {
    progress_.Fail(TIOFailureKind::InvalidData, "maximum value out of range");
    return false;
  }
  return true;
}

TLmPixelFormat TPnmReader::ChooseFormat() {
  const bool wide = h_.MaxValue > 255;
  switch (h_.Kind()) {
    case '1':
    case '4':
      params_.BitsPerSample = 1, params_.SamplesPerPixel = 1;
      return pf1g;
    case '2':
      params_.BitsPerSample = 8, params_.SamplesPerPixel = 1;
      return pf24RGB;
    case '3':
      params_.BitsPerSample = 8, params_.SamplesPerPixel = 3;
      return pf24RGB;
    case '5':
      params_.BitsPerSample = wide ? 16 : 8, params_.SamplesPerPixel = 1;
      return wide && params_.NativePixelFormat ? pf16g : pf24RGB;
    default:
      params_.BitsPerSample = wide ? 16 : 8, params_.SamplesPerPixel = 3;
      return wide && params_.NativePixelFormat ? pfRGB48 : pf24RGB;
  }
}

// The least the raster can take: one character per plain bit, a digit and
// a separator per plain sample, the exact size of binary rows.
uint64_t TPnmReader::FewestRasterBytes() const {
  const uint64_t pixels = static_cast<uint64_t>(h_.Width) * static_cast<uint64_t>(h_.Height);
  const uint64_t sampleBytes = h_.MaxValue > 255 ? 2 : 1;
  switch (h_.Kind()) {
    case '1': return pixels;
    case '2': return pixels * 2 - 1;
    case '3': return pixels * 6 - 1;
    case '4': return static_cast<uint64_t>((h_.Width + 7) / 8) * static_cast<uint64_t>(h_.Height);
    case '5': return pixels * sampleBytes;
    default: return pixels * 3 * sampleBytes;
  }
}

void TPnmReader::DecodeRows() {
  const int height = static_cast<int>(h_.Height);
  const char kind = h_.Kind();
  std::vector<uint8_t> in;
  progress_.SetTotalUnits(height);
  int y = 0;
  bool complete = true;
  for (; y < height && complete; ++y) {
    uint8_t* row = bitmap_.ScanLine(y);
    std::memset(row, 0, bitmap_.RowLen());
    switch (kind) {
      case '1': complete = DecodePlainBits(row); break;
      case '2': complete = DecodePlainSamples(row, 1); break;
      case '3': complete = DecodePlainSamples(row, 3); break;
      default: complete = DecodeBinaryRow(row, in); break;
    }
    if (!progress_.Report(y + 1)) {
      ++y;
      break;
    }
  }
  // Rows the data did not reach stay black.
  for (; y < height; ++y) std::memset(bitmap_.ScanLine(y), 0, bitmap_.RowLen());
  if (!complete) progress_.Fail(TIOFailureKind::InvalidData, "image data end early");
}

// "0" is white (bit 1), "1" black; comments are skipped, every other byte
// ignored.
bool TPnmReader::DecodePlainBits(uint8_t* row) {
  const int width = static_cast<int>(h_.Width);
  int x = 0;
  uint8_t c;
  while (x < width) {
    if (stream_.Read(&c, 1) != 1) return false;
    if (c == '#') {
      while (stream_.Read(&c, 1) == 1 && c != '\n' && c != '\r') {
      }
      continue;
    }
    if (c != '0' && c != '1') continue;
    if (c == '0') row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    ++x;
  }
  return true;
}

// The next sample of a plain raster: a token that is not a number counts
// as 0; -1 at the end of the data.
int TPnmReader::NextPlainSample() {
  for (;;) {
    const std::string token = PxmReadToken(stream_);
    if (token.empty()) return -1;
    if (token[0] == '#') continue;
    const int64_t v = ParseDecimal(token);
    return v < 0 ? 0 : To8(v);
  }
}

bool TPnmReader::DecodePlainSamples(uint8_t* row, int channels) {
  const int width = static_cast<int>(h_.Width);
  for (int x = 0; x < width; ++x) {
    uint8_t rgb[3];
    for (int c = 0; c < channels; ++c) {
      const int v = NextPlainSample();
      if (v < 0) return false;
      rgb[c] = static_cast<uint8_t>(v);
    }
    if (channels == 1) rgb[1] = rgb[2] = rgb[0];
    row[3 * x] = rgb[2];
    row[3 * x + 1] = rgb[1];
    row[3 * x + 2] = rgb[0];
  }
  return true;
}

bool TPnmReader::DecodeBinaryRow(uint8_t* row, std::vector<uint8_t>& in) {
  const size_t width = static_cast<size_t>(h_.Width);
  const char kind = h_.Kind();
  if (kind == '4') {
    // PBM stores 1 for black, the pixel store 1 for white.
    const size_t bytes = (width + 7) / 8;
    const size_t got = stream_.Read(row, bytes);
    for (size_t i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    if (got < bytes) std::memset(row + got, 0, bytes - got);
    return got == bytes;
  }
  const size_t channels = kind == '5' ? 1 : 3;
  const bool wide = h_.MaxValue > 255;
  in.assign(width * channels * (wide ? 2 : 1), 0);
  const size_t got = stream_.Read(in.data(), in.size());
  auto sample = [&](size_t i) -> int64_t { return wide ? ReadBE16(&in[2 * i]) : in[i]; };
  const TLmPixelFormat format = bitmap_.PixelFormat();
  for (size_t x = 0; x < width; ++x) {
    if (format == pf16g) {
      WriteLE16(row + 2 * x, To16(sample(x)));
    } else if (format == pfRGB48) {
      for (size_t c = 0; c < 3; ++c) WriteLE16(row + 6 * x + 2 * c, To16(sample(3 * x + c)));
    } else if (channels == 1) {
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = To8(sample(x));
    } else {
      for (size_t c = 0; c < 3; ++c) row[3 * x + 2 - c] = To8(sample(3 * x + c));
    }
  }
  return got == in.size();
}

}  // namespace

void ReadPxm(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  TPnmReader(stream, bitmap, params, progress).Read(paramsOnly);
}

}  // namespace lumora
