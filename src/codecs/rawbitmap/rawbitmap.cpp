#include "codecs/rawbitmap/rawbitmap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imageio/bitmap.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// How the samples of one pixel are laid out in memory and in the file.
struct TLayout {
  int Channels = 1;         // colour channels that may be reordered or planar
  int SampleBytes = 1;      // bytes per sample of those channels
  int MemoryIndex[4] = {0, 1, 2, 3};  // file channel i lands in memory sample MemoryIndex[i]
  bool Splittable = false;  // planar storage applies
};

TLayout LayoutOf(TLmPixelFormat format, bool bgr) {
  TLayout l;
  switch (format) {
    case pf24RGB:  // memory blue, green, red
      l = {3, 1, {2, 1, 0, 3}, true};
      if (bgr) std::swap(l.MemoryIndex[0], l.MemoryIndex[2]);
      break;
    case pfRGB48:  // memory red, green, blue words
      l = {3, 2, {0, 1, 2, 3}, true};
      if (bgr) std::swap(l.MemoryIndex[0], l.MemoryIndex[2]);
      break;
    case pfCMYK: l = {4, 1, {0, 1, 2, 3}, true}; break;
    case pf16g: l = {1, 2, {0, 1, 2, 3}, false}; break;
    default: break;
  }
  return l;
}

// Reads numbers as text: decimal, or upper-case hexadecimal.
class TTextSamples {
 public:
  TTextSamples(TLmStream& stream, bool hex) : stream_(stream), hex_(hex) {}
  bool Next(uint32_t& value) {
    uint8_t c;
    do {
      if (!Get(c)) return false;
    } while (Digit(c) < 0);
    uint64_t v = 0;
    int digits = 0;
    for (int d; (d = Digit(c)) >= 0;) {
      if (++digits <= 10) v = v * (hex_ ? 16 : 10) + d;
      if (!Get(c)) break;
    }
    value = static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu));
    return true;
  }

 private:
  int Digit(uint8_t c) const {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex_ && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  bool Get(uint8_t& c) {
    if (pos_ == len_) {
      len_ = stream_.Read(buffer_, sizeof buffer_);
      pos_ = 0;
      if (len_ == 0) return false;
    }
    c = buffer_[pos_++];
    return true;
  }
  TLmStream& stream_;
  bool hex_;
  uint8_t buffer_[4096];
  size_t pos_ = 0, len_ = 0;
};

void PutSample(uint8_t* row, size_t offset, int bytes, uint32_t value) {
  row[offset] = static_cast<uint8_t>(value);
  if (bytes == 2) row[offset + 1] = static_cast<uint8_t>(value >> 8);
}

uint32_t GetSample(const uint8_t* row, size_t offset, int bytes) {
  return bytes == 2 ? row[offset] | (row[offset + 1] << 8) : row[offset];
}

}  // namespace

void ReadRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress) {
  // The caller says what the data is by allocating the bitmap.
  if (bitmap.IsEmpty()) return progress.Abort();
  const int width = bitmap.Width(), height = bitmap.Height();
  params.Width = params.OriginalWidth = width;
  params.Height = params.OriginalHeight = height;
  params.SamplesPerPixel = bitmap.ChannelCount();
  params.BitsPerSample = bitmap.BitCount() / std::max(1, bitmap.ChannelCount());
  if (paramsOnly) return;
  if (params.RawHeaderSize < 0 || params.RawRowAlignment <= 0 || params.RawRowAlignment % 8 != 0)
    return progress.Abort();
  stream.Seek(params.RawHeaderSize, TSeekOrigin::Current);

  const TLayout layout = LayoutOf(bitmap.PixelFormat(), params.RawBGR);
  const bool planar = params.RawPlanar && layout.Splittable;
  const int pixelBytes = bitmap.BitCount() / 8;  // 0 for pf1g
  const int planes = planar ? layout.Channels : 1;
  progress.SetTotalUnits(int64_t{height} * planes);
  std::vector<uint8_t> row(bitmap.RowLen());

  if (params.RawDataFormat != TRawDataFormat::Binary) {
    TTextSamples text(stream, params.RawDataFormat == TRawDataFormat::Hexadecimal);
    for (int plane = 0; plane < planes; ++plane) {
      for (int y = 0; y < height; ++y) {
        if (!progress.ReportIfChanged(int64_t{plane} * height + y)) return;
        std::memcpy(row.data(), bitmap.ScanLine(y), row.size());
        uint32_t v;
        if (bitmap.PixelFormat() == pf1g) {
          std::fill(row.begin(), row.end(), 0);
          for (int x = 0; x < width; ++x) {
            if (!text.Next(v)) return progress.Abort();
            if (v) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
          }
        } else {
          const int samples = planar ? 1 : (layout.Splittable || layout.SampleBytes == 2 ? layout.Channels : pixelBytes);
          for (int x = 0; x < width; ++x)
            for (int s = 0; s < samples; ++s) {
              if (!text.Next(v)) return progress.Abort();
              const int channel = planar ? plane : s;
              const int memory = layout.Splittable ? layout.MemoryIndex[channel] : channel;
              PutSample(row.data(), size_t{static_cast<size_t>(x)} * pixelBytes + memory * layout.SampleBytes,
                        layout.Splittable || layout.SampleBytes == 2 ? layout.SampleBytes : 1, v);
            }
        }
        std::memcpy(bitmap.ScanLine(y), row.data(), row.size());
      }
    }
    return;
  }

  const int fileBits = planar ? layout.SampleBytes * 8 : bitmap.BitCount();
  const auto stride = PaddedRowLength(static_cast<uint64_t>(width), fileBits, params.RawRowAlignment);
  if (!stride || !ToSizeT(*stride)) return progress.Abort();
  std::vector<uint8_t> in(static_cast<size_t>(*stride));
  for (int plane = 0; plane < planes; ++plane) {
    for (int y = 0; y < height; ++y) {
      if (!progress.ReportIfChanged(int64_t{plane} * height + y)) return;
      if (!stream.ReadExact(in.data(), in.size())) return progress.Abort();
      uint8_t* out = bitmap.ScanLine(y);
      if (planar) {
        const int memory = layout.MemoryIndex[plane];
        for (int x = 0; x < width; ++x)
          std::memcpy(out + size_t(x) * pixelBytes + memory * layout.SampleBytes, in.data() + size_t(x) * layout.SampleBytes,
                      layout.SampleBytes);
      } else if (layout.Splittable) {
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < layout.Channels; ++c)
            std::memcpy(out + size_t(x) * pixelBytes + layout.MemoryIndex[c] * layout.SampleBytes,
                        in.data() + size_t(x) * pixelBytes + c * layout.SampleBytes, layout.SampleBytes);
      } else {
        std::memcpy(out, in.data(), std::min(in.size(), bitmap.RowLen()));
      }
    }
  }
}

void WriteRawBitmap(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  if (bitmap.IsEmpty() || params.RawRowAlignment <= 0 || params.RawRowAlignment % 8 != 0) return progress.Abort();
  const int width = bitmap.Width(), height = bitmap.Height();
  const TLayout layout = LayoutOf(bitmap.PixelFormat(), params.RawBGR);
  const bool planar = params.RawPlanar && layout.Splittable;
  const int pixelBytes = bitmap.BitCount() / 8;
  const int planes = planar ? layout.Channels : 1;
  const bool text = params.RawDataFormat != TRawDataFormat::Binary;
  const char* format = params.RawDataFormat == TRawDataFormat::Hexadecimal ? "%X " : "%u ";
  const int fileBits = planar ? layout.SampleBytes * 8 : bitmap.BitCount();
  const auto stride = PaddedRowLength(static_cast<uint64_t>(width), fileBits, params.RawRowAlignment);
  if (!stride || !ToSizeT(*stride)) return progress.Abort();
  std::vector<uint8_t> out(static_cast<size_t>(*stride));
  std::string line;
  progress.SetTotalUnits(int64_t{height} * planes);
  params.Width = width;
  params.Height = height;

  for (int plane = 0; plane < planes; ++plane) {
    for (int y = 0; y < height; ++y) {
      if (!progress.ReportIfChanged(int64_t{plane} * height + y)) return;
      const uint8_t* in = bitmap.ScanLine(y);
      // The samples of this row in file order.
      std::fill(out.begin(), out.end(), 0);
      std::vector<uint32_t> samples;
      if (bitmap.PixelFormat() == pf1g) {
        if (!text) {
          std::memcpy(out.data(), in, std::min(out.size(), bitmap.RowLen()));
        } else {
          for (int x = 0; x < width; ++x) samples.push_back((in[x >> 3] >> (7 - (x & 7))) & 1);
        }
      } else if (planar) {
        const int memory = layout.MemoryIndex[plane];
        for (int x = 0; x < width; ++x) {
          const uint32_t v = GetSample(in, size_t(x) * pixelBytes + memory * layout.SampleBytes, layout.SampleBytes);
          samples.push_back(v);
          PutSample(out.data(), size_t(x) * layout.SampleBytes, layout.SampleBytes, v);
        }
      } else if (layout.Splittable || layout.SampleBytes == 2) {
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < layout.Channels; ++c) {
            const int memory = layout.Splittable ? layout.MemoryIndex[c] : c;
            const uint32_t v = GetSample(in, size_t(x) * pixelBytes + memory * layout.SampleBytes, layout.SampleBytes);
            samples.push_back(v);
            PutSample(out.data(), size_t(x) * pixelBytes + c * layout.SampleBytes, layout.SampleBytes, v);
          }
      } else {
        std::memcpy(out.data(), in, std::min(out.size(), static_cast<size_t>(width) * pixelBytes));
        samples.assign(in, in + static_cast<size_t>(width) * pixelBytes);
      }
      if (text) {
        line.clear();
        char number[16];
        for (uint32_t v : samples) {
          std::snprintf(number, sizeof number, format, v);
          line += number;
        }
        line += "\n";
        if (!stream.WriteExact(line.data(), line.size())) return progress.Abort();
      } else if (!stream.WriteExact(out.data(), out.size())) {
        return progress.Abort();
      }
    }
  }
}

}  // namespace lumora
