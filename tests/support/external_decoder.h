// Independent decoders run as programs (ImageMagick, Pillow, djpeg): what
// they print, and the binary PGM/PPM that most of them are asked to write.
// Programs are run on the Linux side only; on Windows nothing runs and the
// callers skip their comparisons.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// Standard output of a shell command. Nullopt when it cannot be started
// or, with `mustSucceed`, when it exits non-zero.
inline std::optional<std::vector<uint8_t>> CommandOutput(const std::string& command, bool mustSucceed = true) {
#ifdef _WIN32
  (void)command;
  (void)mustSucceed;
  return std::nullopt;
#else
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::vector<uint8_t> out;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.insert(out.end(), buffer, buffer + n);
  const int status = pclose(pipe);
  if (mustSucceed && status != 0) return std::nullopt;
  return out;
#endif
}

struct TPnmImage {
  int Width = 0, Height = 0, Channels = 0;  // 1 for P5, 3 for P6
  std::vector<uint8_t> Pixels;               // top-down, channels interleaved
};

// A binary P5 or P6 image of 8-bit samples (maximum 255); nullopt for
// anything else, a header cut short or missing pixels.
inline std::optional<TPnmImage> ParsePnm(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return std::nullopt;
  TPnmImage image;
  image.Channels = data[1] == '5' ? 1 : 3;
  // Magic, width, height, maximum, each followed by one blank.
  size_t pos = 2;
  int fields[3] = {};
  for (int& field : fields) {
    while (pos < data.size() && std::isspace(data[pos])) ++pos;
    while (pos < data.size() && std::isdigit(data[pos])) field = field * 10 + (data[pos++] - '0');
  }
  ++pos;
  if (pos > data.size() || fields[2] != 255) return std::nullopt;
  image.Width = fields[0];
  image.Height = fields[1];
  image.Pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(pos), data.end());
  if (image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height * image.Channels) return std::nullopt;
  return image;
}

}  // namespace lumora::test
