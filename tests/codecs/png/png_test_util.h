// Test fixtures for the PNG codec: PNG files written by libpng directly
// (independent of our writer), files inspected by libpng directly, chunk
// surgery for corrupt files, and one-call decoding and encoding through our
// codec.
#pragma once

#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codecs/png/png.h"
#include "imageio/bitmap.h"
#include "imageio/ioparams.h"

namespace lumora::pngtest {

// A PNG to be written by libpng. `Rows` hold the samples as the file stores
// them: packed below 8 bits, big-endian at 16 bits, RowBytes() each.
struct TPngSpec {
  int Width = 1;
  int Height = 1;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int BitDepth = 8;
  bool Interlaced = false;
  std::vector<uint8_t> Rows;
  std::vector<png_color> Palette;
  std::vector<uint8_t> PaletteAlpha;           // tRNS of a palette image
  std::optional<png_color_16> TransparentColor;  // tRNS of a gray or RGB image
  std::optional<png_color_16> Background;
  std::optional<std::pair<uint32_t, uint32_t>> PixelsPerMetre;
  std::vector<std::pair<std::string, std::string>> Texts;       // before the image data
  std::vector<std::pair<std::string, std::string>> TextsAfter;  // after it
  bool CompressTexts = false;                                    // zTXt instead of tEXt

  size_t RowBytes() const;
  // Samples for pixel (x, y): sets the bits of that pixel in Rows.
  void SetSample(int x, int y, int channel, unsigned value);
};

// Allocates Rows for the given size and type.
TPngSpec MakeSpec(int width, int height, int colorType, int bitDepth);

std::vector<uint8_t> EncodeWithLibpng(const TPngSpec& spec);

// What libpng finds in a file: header, chunks of interest, and the samples
// (unexpanded: packed or 16-bit big-endian as stored, passes combined).
struct TPngFileInfo {
  bool Ok = false;
  png_uint_32 Width = 0, Height = 0;
  int ColorType = 0, BitDepth = 0, Interlace = 0;
  std::vector<png_color> Palette;
  std::vector<uint8_t> PaletteAlpha;
  bool HasBackground = false;
  png_color_16 Background{};
  bool HasPhys = false;
  png_uint_32 PhysX = 0, PhysY = 0;
  int PhysUnit = 0;
  std::vector<std::pair<std::string, std::string>> Texts;
  std::vector<int> TextCompression;
  size_t RowBytes = 0;
  std::vector<uint8_t> Rows;
  unsigned Sample(int x, int y, int channel) const;
};
TPngFileInfo InspectWithLibpng(const std::vector<uint8_t>& file);

// Chunk surgery on a well-formed file.
struct TChunkRef {
  size_t Offset = 0;  // of the length field
  uint32_t Length = 0;
  std::string Type;
};
std::vector<TChunkRef> ListChunks(const std::vector<uint8_t>& file);
// Inserts a chunk (with a correct CRC) before the first chunk of `beforeType`.
void InsertChunk(std::vector<uint8_t>& file, const std::string& beforeType, const std::string& type,
                 const std::vector<uint8_t>& data);
// Rewrites the CRC of the chunk at `ref` after its data was edited.
void FixCrc(std::vector<uint8_t>& file, const TChunkRef& ref);

// zlib's compress2 at level 9.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data);

struct TDecoded {
  TLmBitmap Bitmap;
  TIOParamsVals Params;
  bool Aborting = false;
  std::vector<int> Progress;
};
// Our reader over the bytes.
void DecodeWithCodec(const std::vector<uint8_t>& file, TDecoded& out, bool nativePixelFormat = false,
                     bool paramsOnly = false);
// Our writer; Aborting in `aborting`.
std::vector<uint8_t> EncodeWithCodec(TLmBitmap& bitmap, TIOParamsVals& params, bool* aborting = nullptr);

// RGBA of pixel (x, y) of a decoded bitmap: colour from any pixel format,
// alpha from the alpha channel (255 without one).
struct TRgba {
  uint8_t R = 0, G = 0, B = 0, A = 255;
  friend bool operator==(const TRgba&, const TRgba&) = default;
};
TRgba PixelRgba(const TLmBitmap& bitmap, int x, int y);
// Every pixel, row after row, as R, G, B, A bytes.
std::vector<uint8_t> BitmapRgba(const TLmBitmap& bitmap);

// The corpus folder of PngSuite, or "" when absent.
std::string PngSuiteDir();

}  // namespace lumora::pngtest
