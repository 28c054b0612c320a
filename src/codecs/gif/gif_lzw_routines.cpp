#include "codecs/gif/gif_lzw_routines.h"

#include "codecs/gif/gif.h"
#include "codecs/gif/gif_lzw.h"
#include "imageio/errors.h"
#include "imageio/registry.h"

namespace lumora {

std::vector<std::uint8_t> GifReadSubBlocks(TLmStream& stream) {
  std::vector<std::uint8_t> data;
  std::uint8_t length = 0;
  while (stream.Read(&length, 1) == 1 && length != 0) {
    const std::size_t old = data.size();
    data.resize(old + length);
    const std::size_t got = stream.Read(data.data() + old, length);
    if (got < length) {
      data.resize(old + got);
      break;
    }
  }
  return data;
}

void GifSkipSubBlocks(TLmStream& stream) {
  const int64_t size = stream.Size();
  std::uint8_t length = 0;
  while (stream.Read(&length, 1) == 1 && length != 0) {
    if (stream.Seek(length, TSeekOrigin::Current) >= size) break;
  }
}

void GifLzwExpand(TLmStream& stream, int height, int width, bool interlaced,
                  std::span<std::uint8_t> pixels) {
  const int64_t start = stream.Position();
  std::uint8_t minCodeSize = 0;
  if (stream.Read(&minCodeSize, 1) != 1 || minCodeSize < kGifLzwMinCodeSizeLow ||
      minCodeSize > kGifLzwMinCodeSizeHigh) {
    stream.SetPosition(start);
    return;
  }
  const std::vector<std::uint8_t> data = GifReadSubBlocks(stream);
  if (data.empty()) return;
  if (GifLzwDecodeCodes(data, minCodeSize, width, height, interlaced, pixels) != GifLzwResult::kOk) {
    stream.SetPosition(start);
  }
}

void GifLzwCompress(TLmStream& stream, int height, int width, int colorBits,
                    std::span<const std::uint8_t> pixels, bool interlaced) {
  GifLzwEncodeCodes(pixels, width, height, colorBits, interlaced, [&](std::span<const std::uint8_t> bytes) {
    if (!stream.WriteExact(bytes.data(), bytes.size())) throw ELmStreamError("Short write of GIF image data");
  });
}

namespace {

// Constant-initialised, so they hold the built-in coders before any static
// constructor (a parameters record built during start-up) reads them.
TGifLzwDecoder gInstalledDecoder = GifLzwExpand;
TGifLzwEncoder gInstalledEncoder = GifLzwCompress;

}  // namespace

void InstallGifLzwRoutines(TGifLzwDecoder decoder, TGifLzwEncoder encoder) {
  gInstalledDecoder = decoder;
  gInstalledEncoder = encoder;
  RefreshGifFormat();
}

TGifLzwDecoder InstalledGifLzwDecoder() { return gInstalledDecoder; }
TGifLzwEncoder InstalledGifLzwEncoder() { return gInstalledEncoder; }

void RefreshGifFormat() { SetBuiltInFormatSlots(ftGIF, gInstalledDecoder != nullptr, gInstalledEncoder != nullptr); }

}  // namespace lumora
