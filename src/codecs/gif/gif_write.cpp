// GifWrite: one image as a single-frame GIF with a global colour table.

#include <algorithm>
#include <array>
#include <memory>
#include <initializer_list>
#include <optional>
#include <span>

#include "codecs/gif/gif.h"
#include "codecs/gif/gif_container.h"
#include "imageio/byteorder.h"
#include "imageio/errors.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

constexpr int kGifMaxSide = 0xFFFF;  // 16-bit fields
constexpr size_t kMaxSubBlock = 255;

// Writes and remembers whether any write came up short.
class TGifOutput {
 public:
  explicit TGifOutput(TLmStream& stream) : stream_(stream) {}
  void Put(std::span<const uint8_t> bytes) {
    if (!stream_.WriteExact(bytes.data(), bytes.size())) failed_ = true;
  }
  void Put(std::initializer_list<uint8_t> bytes) { Put(std::span(bytes.begin(), bytes.size())); }
  void PutLE16(int value) { Put({static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}); }
  bool Failed() const { return failed_; }

 private:
  TLmStream& stream_;
  bool failed_ = false;
};

// The image the indices are taken from: pf1g, pf8p or pf24RGB.
std::unique_ptr<TLmBitmap> ConvertedCopy(const TLmBitmap& image, TLmPixelFormat format) {
  auto copy = std::make_unique<TLmBitmap>();
  copy->Assign(image);
  copy->SetPixelFormat(format);
  return copy;
}

// Index for a colour the quantizer may not know (an exact-colour palette
// answers -1): the nearest palette entry instead, so the index always lies
// inside the colour table.
int PaletteIndex(const TLmQuantizer* quantizer, TLmRGBTriple color, const TLmRGBTriple* palette, int colors) {
  if (quantizer) {
    const int index = quantizer->Index(color);
    if (index >= 0 && index < colors) return index;
  }
  return NearestPaletteEntry(color, palette, colors);
}

// A grey pf24RGB image whose levels fit the table keeps them exactly: the
// quantizer's grey ramp is exact only with 256 entries, and one entry is
// gone once transparency takes it. Fills the palette and answers the level
// to index table, or nothing when there are more levels than entries.
std::optional<std::array<uint8_t, 256>> ExactGreyLevels(const TLmBitmap& image, int colors,
                                                       std::array<TLmRGBTriple, 256>& palette) {
  std::array<int, 256> index;
  index.fill(-1);
  int used = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const auto* pixels = reinterpret_cast<const TLmRGBTriple*>(image.ScanLine(y));
    for (int x = 0; x < image.Width(); ++x) {
      const uint8_t level = pixels[x].g;
      if (index[level] >= 0) continue;
      if (used == colors) return std::nullopt;
      index[level] = used;
      palette[used++] = TLmRGBTriple::FromRGB(level, level, level);
    }
  }
  std::array<uint8_t, 256> table{};
  for (int level = 0; level < 256; ++level) {
    table[level] = static_cast<uint8_t>(index[level] >= 0 ? index[level] : 0);
  }
  return table;
}

}  // namespace

void GifWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  progress.ReportPercent(0);
  if (progress.Aborting()) return;
  const int width = bitmap.Width(), height = bitmap.Height();
  if (bitmap.IsEmpty() || width > kGifMaxSide || height > kGifMaxSide) {
    progress.Abort();
    return;
  }

  // Colour-table bits. A 1-bit image with transparency needs a third entry,
  // so it is written with 2 bits rather than turning its white transparent.
  const bool hasAlpha = bitmap.HasAlphaChannel();
  const int requestedBits = std::clamp<int>(params.BitsPerSample, 1, 8);
  const int bits = requestedBits == 1 && hasAlpha ? 2 : requestedBits;

  // The working image: pf1g for 1 bit (the two colours of a two-colour
  // image, darker as black, else a 1-bit conversion), otherwise pf8p or
  // pf24RGB.
  const TLmBitmap* work = &bitmap;
  std::unique_ptr<TLmBitmap> owned;
  if (requestedBits == 1) {
    if (bitmap.PixelFormat() != pf1g) {
      TLmRGBTriple first, second;
      owned = TwoColorToBilevel(bitmap, first, second);
      if (!owned) owned = ConvertedCopy(bitmap, pf1g);
    }
  } else if (bitmap.PixelFormat() != pf8p && bitmap.PixelFormat() != pf24RGB) {
    owned = ConvertedCopy(bitmap, pf24RGB);
  }
  if (owned) work = owned.get();
  const bool bilevel = work->PixelFormat() == pf1g;

  const int tableSize = 1 << bits;
  int colors = tableSize;
  int reserved = -1;
  if (hasAlpha) {
    colors = tableSize - 1;
    reserved = tableSize - 1;
    params.GifHasTransparency = true;
  }

  std::array<TLmRGBTriple, 256> palette{};
  std::unique_ptr<TLmQuantizer> quantizer;
  if (bilevel) {
    palette[0] = TLmRGBTriple::FromRGB(0, 0, 0);
    palette[1] = TLmRGBTriple::FromRGB(255, 255, 255);
  } else {
    quantizer = std::make_unique<TLmQuantizer>(*work, colors, palette.data());
  }
  std::optional<std::array<uint8_t, 256>> greyLevels;
  if (quantizer && quantizer->IsGray() && colors < 256 && work->PixelFormat() == pf24RGB) {
    greyLevels = ExactGreyLevels(*work, colors, palette);
    if (greyLevels) quantizer.reset();  // the palette now holds the exact levels
  }

  std::vector<uint8_t> indices(static_cast<size_t>(width) * static_cast<size_t>(height));
  std::vector<uint8_t> alphaRow(hasAlpha ? width : 0);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    const uint8_t* row = work->ScanLine(y);
    if (bilevel) {
      for (int x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    } else if (work->PixelFormat() == pf8p) {
      for (int x = 0; x < width; ++x) {
        // An index past the table would be read back as another colour (or
        // a control code): it gets the nearest entry of its colour instead.
        out[x] = row[x] < colors ? row[x]
                                 : static_cast<uint8_t>(NearestPaletteEntry(work->GetPaletteColor(row[x]),
                                                                            palette.data(), colors));
      }
    } else {
      const auto* pixels = reinterpret_cast<const TLmRGBTriple*>(row);
      for (int x = 0; x < width; ++x) {
        out[x] = greyLevels ? (*greyLevels)[pixels[x].g]
                            : static_cast<uint8_t>(PaletteIndex(quantizer.get(), pixels[x], palette.data(), colors));
      }
    }
    if (hasAlpha) {
      const uint8_t* a = bitmap.AlphaChannel().ScanLine(y);
      std::copy(a, a + width, alphaRow.begin());
      for (int x = 0; x < width; ++x) {
        if (alphaRow[x] < 255) out[x] = static_cast<uint8_t>(reserved);
      }
    }
  }

  TGifOutput out(stream);
  progress.ReportPercent(30);
  if (out.Failed()) progress.Abort();
  if (progress.Aborting()) return;

  // Header and logical screen. The screen holds the frame at its position,
  // so that a frame placed with an offset is not cut off by its own file.
  const int left = std::clamp<int>(params.GifFrameLeft, 0, kGifMaxSide - width);
  const int top = std::clamp<int>(params.GifFrameTop, 0, kGifMaxSide - height);
  std::string version = params.GifVersion;
  if (version.size() != 6 || version.compare(0, 3, "GIF") != 0) version = "GIF89a";
  out.Put(std::span(reinterpret_cast<const uint8_t*>(version.data()), 6));
  out.PutLE16(left + width);
  out.PutLE16(top + height);
  const TLmQuantizer* exact = work->PixelFormat() == pf24RGB ? quantizer.get() : nullptr;
  const int background = PaletteIndex(exact, params.GifBackgroundColor, palette.data(), colors);
  out.Put({static_cast<uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)), static_cast<uint8_t>(background), 0});
  for (int i = 0; i < tableSize; ++i) out.Put({palette[i].r, palette[i].g, palette[i].b});

  // Graphic control extension, written for every image.
  const int transparent =
      hasAlpha ? reserved : PaletteIndex(exact, params.GifTransparentColor, palette.data(), colors);
  out.Put({kGifExtensionIntroducer, kGifControlLabel, 4,
           static_cast<uint8_t>(((params.GifDisposal & 7) << 2) | (params.GifHasTransparency ? 1 : 0))});
  out.PutLE16(std::clamp<int>(params.GifDelay, 0, 0xFFFF));
  out.Put({static_cast<uint8_t>(transparent), 0});

  // Image descriptor, no local table.
  out.Put({kGifImageIntroducer});
  out.PutLE16(left);
  out.PutLE16(top);
  out.PutLE16(width);
  out.PutLE16(height);
  out.Put({static_cast<uint8_t>(params.GifInterlaced ? 0x40 : 0)});
  progress.ReportPercent(70);
  if (out.Failed()) progress.Abort();
  if (progress.Aborting()) return;

  const TGifLzwEncoder encoder = params.GifLzwEncoder ? params.GifLzwEncoder : GifLzwCompress;
  try {
    encoder(stream, height, width, bits, indices, params.GifInterlaced);
  } catch (const ELmStreamError&) {
    progress.Abort();
    return;
  }

  // Comment extension (written even without comments), one sub-block per
  // comment. A longer comment takes several sub-blocks and an empty one is
  // left out: a zero length would end the extension early.
  out.Put({kGifExtensionIntroducer, kGifCommentLabel});
  for (const std::string& comment : params.GifComments) {
    for (size_t pos = 0; pos < comment.size(); pos += kMaxSubBlock) {
      const size_t n = std::min(kMaxSubBlock, comment.size() - pos);
      out.Put({static_cast<uint8_t>(n)});
      out.Put(std::span(reinterpret_cast<const uint8_t*>(comment.data() + pos), n));
    }
  }
  out.Put({0, kGifTrailer});
  if (out.Failed()) {
    progress.Abort();
    return;
  }
  progress.ReportPercent(100);
}

void WriteGif(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  GifWrite(stream, bitmap, params, progress);
}

}  // namespace lumora
