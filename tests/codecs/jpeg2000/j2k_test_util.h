// Helpers of the JPEG 2000 tests: component planes as independent decoders
// and the conformance suite give them (PGX, PNM), and the 8-bit picture the
// reader is expected to make of them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "external_decoder.h"
#include "imageio/bitmap.h"

namespace lumora::test {

// One component as stored: its own size, precision and signedness.
struct TPlane {
  int Width = 0, Height = 0;
  int Precision = 8;
  bool Signed = false;
  std::vector<int32_t> Samples;  // top-down
};

inline std::optional<std::vector<uint8_t>> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// "PG ML +12 w h\n" (or LM, or "-" for signed, no sign for unsigned),
// then big- or little-endian samples of 1, 2 or 4 bytes.
inline std::optional<TPlane> ParsePgx(const std::vector<uint8_t>& data) {
  const auto end = std::find(data.begin(), data.end(), '\n');
  if (end == data.end() || data.size() < 6 || data[0] != 'P' || data[1] != 'G') return std::nullopt;
  std::string header(data.begin(), end);
  char order[3] = {};
  char sign = '+';
  TPlane plane;
  size_t pos = 2;
  while (pos < header.size() && header[pos] == ' ') ++pos;
  if (pos + 2 > header.size()) return std::nullopt;
  order[0] = header[pos];
  order[1] = header[pos + 1];
  pos += 2;
  while (pos < header.size() && header[pos] == ' ') ++pos;
  if (pos < header.size() && (header[pos] == '+' || header[pos] == '-')) sign = header[pos++];
  if (std::sscanf(header.c_str() + pos, "%d %d %d", &plane.Precision, &plane.Width, &plane.Height) != 3)
    return std::nullopt;
  plane.Signed = sign == '-';
  const bool bigEndian = std::string(order) == "ML";
  const size_t bytes = plane.Precision <= 8 ? 1 : plane.Precision <= 16 ? 2 : 4;
  const size_t count = static_cast<size_t>(plane.Width) * plane.Height;
  const size_t start = static_cast<size_t>(end - data.begin()) + 1;
  if (data.size() < start + count * bytes) return std::nullopt;
  plane.Samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t v = 0;
    for (size_t b = 0; b < bytes; ++b) {
      const size_t k = bigEndian ? b : bytes - 1 - b;
      v = (v << 8) | data[start + i * bytes + k];
    }
    int32_t s = static_cast<int32_t>(v);
    if (plane.Signed && bytes < 4 && (v >> (8 * bytes - 1)) != 0) s = static_cast<int32_t>(v - (uint64_t{1} << (8 * bytes)));
    plane.Samples[i] = s;
  }
  return plane;
}

// Binary PGM or PPM with comments and a maximum up to 65535: one plane per
// channel, at the precision the maximum implies.
inline std::optional<std::vector<TPlane>> ParsePnmPlanes(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return std::nullopt;
  const int channels = data[1] == '5' ? 1 : 3;
  size_t pos = 2;
  int fields[3] = {};
  for (int& field : fields) {
    while (pos < data.size() && (std::isspace(data[pos]) || data[pos] == '#')) {
      if (data[pos] == '#')
        while (pos < data.size() && data[pos] != '\n') ++pos;
      else
        ++pos;
    }
    while (pos < data.size() && std::isdigit(data[pos])) field = field * 10 + (data[pos++] - '0');
  }
  ++pos;
  const int maxValue = fields[2];
  if (maxValue <= 0 || maxValue > 65535) return std::nullopt;
  int precision = 0;
  while ((1 << precision) - 1 < maxValue) ++precision;
  const size_t bytes = maxValue > 255 ? 2 : 1;
  const size_t count = static_cast<size_t>(fields[0]) * fields[1];
  if (data.size() < pos + count * channels * bytes) return std::nullopt;
  std::vector<TPlane> planes(channels);
  for (int c = 0; c < channels; ++c) {
    planes[c] = {fields[0], fields[1], precision, false, std::vector<int32_t>(count)};
    for (size_t i = 0; i < count; ++i) {
      const size_t at = pos + (i * channels + c) * bytes;
      planes[c].Samples[i] = bytes == 2 ? (data[at] << 8) | data[at + 1] : data[at];
    }
  }
  return planes;
}

// The code stream of a JP2 file (the payload of its jp2c box) written to
// `out`, so that a decoder sees the samples without the file's colour
// profile. False when there is no such box.
inline bool ExtractCodeStream(const std::filesystem::path& jp2, const std::filesystem::path& out) {
  auto bytes = ReadFileBytes(jp2);
  if (!bytes) return false;
  const std::vector<uint8_t>& d = *bytes;
  size_t pos = 0;
  while (pos + 8 <= d.size()) {
    uint64_t length = (uint64_t{d[pos]} << 24) | (d[pos + 1] << 16) | (d[pos + 2] << 8) | d[pos + 3];
    const std::string type(d.begin() + pos + 4, d.begin() + pos + 8);
    size_t header = 8;
    if (length == 1 && pos + 16 <= d.size()) {
      length = 0;
      for (int i = 0; i < 8; ++i) length = (length << 8) | d[pos + 8 + i];
      header = 16;
    }
    if (length == 0) length = d.size() - pos;
    if (length < header || pos + length > d.size()) return false;
    if (type == "jp2c") {
      std::ofstream file(out, std::ios::binary);
      file.write(reinterpret_cast<const char*>(d.data() + pos + header), static_cast<std::streamsize>(length - header));
      return static_cast<bool>(file);
    }
    pos += length;
  }
  return false;
}

// The planes opj_decompress makes of a file: one PGX per component.
inline std::optional<std::vector<TPlane>> DecodeWithOpenJpeg(const std::filesystem::path& file,
                                                             const std::string& options = {}) {
#ifdef _WIN32
  (void)file;
  (void)options;
  return std::nullopt;
#else
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("lumora_j2k_" + std::to_string(::getpid()) + "_" + file.stem().string());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string command = "/usr/bin/opj_decompress -quiet " + options + " -i '" + file.string() + "' -o '" +
                              (dir / "out.pgx").string() + "' >/dev/null 2>&1; echo done";
  std::vector<TPlane> planes;
  if (CommandOutput(command)) {
    for (int c = 0;; ++c) {
      auto bytes = ReadFileBytes(dir / ("out_" + std::to_string(c) + ".pgx"));
      if (!bytes && c == 0) bytes = ReadFileBytes(dir / "out.pgx");
      if (!bytes) break;
      auto plane = ParsePgx(*bytes);
      if (!plane) break;
      planes.push_back(std::move(*plane));
    }
  }
  std::filesystem::remove_all(dir);
  if (planes.empty()) return std::nullopt;
  return planes;
#endif
}

// A sample at 8 bits as the viewer shows it: signed samples moved up by half
// their range, wider samples cut to their top 8 bits, narrower ones
// stretched so that their maximum is 255.
inline int To8Bits(const TPlane& plane, int32_t sample) {
  const int64_t maxValue = (int64_t{1} << plane.Precision) - 1;
  int64_t v = sample + (plane.Signed ? int64_t{1} << (plane.Precision - 1) : 0);
  v = std::clamp<int64_t>(v, 0, maxValue);
  if (plane.Precision >= 8) return static_cast<int>(v >> (plane.Precision - 8));
  return static_cast<int>((v * 255 + maxValue / 2) / maxValue);
}

// The plane's sample under an image pixel, for planes subsampled by a whole
// factor of the image size.
inline int32_t SampleAt(const TPlane& plane, int imageWidth, int imageHeight, int x, int y) {
  const int dx = (imageWidth + plane.Width - 1) / plane.Width;
  const int dy = (imageHeight + plane.Height - 1) / plane.Height;
  const int px = std::min(x / dx, plane.Width - 1), py = std::min(y / dy, plane.Height - 1);
  return plane.Samples[static_cast<size_t>(py) * plane.Width + px];
}

// Red, green, blue of one pixel of a pf24RGB, pf8g or pf1g bitmap.
inline void PixelRgb(TLmBitmap& bitmap, int x, int y, int rgb[3]) {
  const uint8_t* row = bitmap.ScanLine(y);
  switch (bitmap.PixelFormat()) {
    case pf1g: rgb[0] = rgb[1] = rgb[2] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0; break;
    case pf8g: rgb[0] = rgb[1] = rgb[2] = row[x]; break;
    default:
      rgb[0] = row[3 * x + 2];
      rgb[1] = row[3 * x + 1];
      rgb[2] = row[3 * x];
      break;
  }
}

// Largest difference between the picture and the planes, over colour and
// (when there is a plane for it) alpha; -1 when the planes cannot describe
// a picture of this size.
inline int PeakDifference(TLmBitmap& bitmap, const std::vector<TPlane>& planes, bool withAlpha = true) {
  const int w = bitmap.Width(), h = bitmap.Height();
  const size_t colour = planes.size() >= 3 ? 3 : 1;
  auto fits = [&](const TPlane& p) {
    if (p.Width <= 0 || p.Height <= 0 || p.Width > w || p.Height > h) return false;
    const int dx = (w + p.Width - 1) / p.Width, dy = (h + p.Height - 1) / p.Height;
    return (p.Width - 1) * dx < w && (p.Height - 1) * dy < h;
  };
  for (size_t c = 0; c < colour; ++c)
    if (c >= planes.size() || !fits(planes[c])) return -1;
  withAlpha = withAlpha && bitmap.HasAlphaChannel() && planes.size() > colour && fits(planes[colour]);
  int peak = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int rgb[3];
      PixelRgb(bitmap, x, y, rgb);
      for (size_t c = 0; c < 3; ++c) {
        const TPlane& plane = planes[colour == 3 ? c : 0];
        int expected = To8Bits(plane, SampleAt(plane, w, h, x, y));
        if (bitmap.PixelFormat() == pf1g) expected = expected != 0 ? 255 : 0;
        peak = std::max(peak, std::abs(rgb[c] - expected));
      }
      if (withAlpha) {
        const TPlane& plane = planes[colour];
        peak = std::max(peak, std::abs(bitmap.Alpha(x, y) - To8Bits(plane, SampleAt(plane, w, h, x, y))));
      }
    }
  }
  return peak;
}

}  // namespace lumora::test
