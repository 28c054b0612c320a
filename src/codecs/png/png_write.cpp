// PNG writer: chooses colour type, bit depth and palette from the
// parameters and the image, then hands libpng one row at a time.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codecs/png/png.h"
#include "codecs/png/png_library.h"
#include "imageio/colorconv.h"
#include "imageio/errors.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"

namespace lumora {
namespace {

constexpr const char* kCreateError = "Error on creating PNG";

// How each output row is built.
enum class TRowKind {
  Gray1,               // the packed pf1g row
  Gray8,               // gray levels
  Gray16,              // gray levels, 16 bits big-endian
  PaletteOwn,          // a pf8p image's own indexes
  PaletteQuantized,    // the quantizer's index of each colour
  PaletteTransparent,  // entry 0 transparent, the quantizer's (or own) colours from entry 1
  RGB,                 // blue, green, red (libpng swaps to red, green, blue)
  RGBA,                // the same with the transparency as alpha
};

// Transparency handed to the writer: a reader-style mask or the bitmap's
// own alpha channel, read a row at a time.
class TAlphaSource {
 public:
  TAlphaSource() = default;
  explicit TAlphaSource(const TLmMask* mask) : mask_(mask) {}
  explicit TAlphaSource(TLmBitmap* channel) : channel_(channel) {}

  // Present and not entirely opaque.
  bool HasTransparency() const {
    if (channel_ != nullptr) return !AllOpaque(*channel_);
    if (mask_ == nullptr || mask_->IsEmpty()) return false;
    for (int y = 0; y < mask_->Height(); ++y)
      for (int x = 0; x < mask_->Width(); ++x)
        if (mask_->Pixel(x, y) != 255) return true;
    return false;
  }

  // Alpha of the pixels of row y, 0..255; pixels outside the mask are
  // transparent.
  void Row(int y, int width, uint8_t* out) const {
    if (channel_ != nullptr) {
      const uint8_t* row = channel_->ScanLine(y);
      std::copy(row, row + width, out);
      return;
    }
    for (int x = 0; x < width; ++x) out[x] = mask_->Pixel(x, y);
  }

 private:
  static bool AllOpaque(TLmBitmap& channel) {
    for (int y = 0; y < channel.Height(); ++y) {
      const uint8_t* row = channel.ScanLine(y);
      if (std::any_of(row, row + channel.Width(), [](uint8_t a) { return a != 255; })) return false;
    }
    return true;
  }

  const TLmMask* mask_ = nullptr;  // not owned
  TLmBitmap* channel_ = nullptr;   // not owned: the written bitmap's alpha channel
};

// Everything the header and the rows are made from, fixed before libpng is
// called, so that the guarded steps only copy data.
struct TPngLayout {
  int ColorType = PNG_COLOR_TYPE_RGB;
  int BitDepth = 8;
  TRowKind Kind = TRowKind::RGB;
  const TLmBitmap* Image = nullptr;           // the working image (the bitmap or Converted)
  std::unique_ptr<TLmBitmap> Converted;       // a 1-bit working image made for the write
  std::unique_ptr<TLmQuantizer> Quantizer;
  std::vector<TLmRGBTriple> QuantizerPalette; // what the quantizer filled
  int QuantizerColors = 0;
  std::array<uint8_t, 256> OwnIndexMap{};     // PaletteTransparent from a pf8p image: index -> entry
  bool FromOwnPalette = false;
  std::vector<png_color> Palette;             // PLTE, red, green, blue
  bool TransparentEntry0 = false;             // tRNS making entry 0 transparent
  png_color_16 Background{};
};

png_color ToPng(TLmRGBTriple c) { return png_color{c.r, c.g, c.b}; }

// The entry of the quantizer's palette for a colour; a colour missing from
// an exact-colour palette gets its nearest entry (rather than an index past
// the palette).
int QuantizedIndex(const TPngLayout& layout, TLmRGBTriple color) {
  int index = layout.Quantizer->Index(color);
  if (index < 0 || index >= layout.QuantizerColors)
    index = NearestPaletteEntry(color, layout.QuantizerPalette.data(), layout.QuantizerColors);
  return index;
}

std::unique_ptr<TLmBitmap> OneBitCopy(const TLmBitmap& bitmap) {
  TLmRGBTriple first, second;
  if (auto bilevel = TwoColorToBilevel(bitmap, first, second)) return bilevel;
  auto copy = std::make_unique<TLmBitmap>();
  copy->OneBitConversion = bitmap.OneBitConversion;
  if (!copy->Allocate(bitmap.Width(), bitmap.Height(), pf1g)) throw ELmOutOfMemory("Not enough memory for the PNG image");
  copy->CopyAndConvertFormat(bitmap);
  return copy;
}

uint8_t GrayOf(TLmRGBTriple c) { return RGBToGray(c); }

void ChoosePaletteWithTransparency(TPngLayout& layout, const TLmBitmap& image, const TIOParamsVals& params) {
  layout.ColorType = PNG_COLOR_TYPE_PALETTE;
  layout.BitDepth = 8;
  layout.Kind = TRowKind::PaletteTransparent;
  layout.TransparentEntry0 = true;
  layout.Palette.assign(1, ToPng(params.PngBackground));
  const int n = std::min(1 << std::min(params.BitsPerSample, 16), 255);
  if (image.PixelFormat() == pf8p) {
    // The image's own colours, shifted by one entry; index 255, which has
    // no room, takes the nearest of the others.
    layout.FromOwnPalette = true;
    int own = std::min(image.PaletteLength(), 255);
    for (int i = 0; i < own; ++i) layout.Palette.push_back(ToPng(image.Palette()[i]));
    for (int i = 0; i < 256; ++i) {
      TLmRGBTriple color = image.GetPaletteColor(i);
      int entry = i < own ? i : NearestPaletteEntry(color, image.Palette(), own);
      layout.OwnIndexMap[static_cast<size_t>(i)] = static_cast<uint8_t>(entry + 1);
    }
  } else {
    layout.QuantizerPalette.assign(static_cast<size_t>(n), TLmRGBTriple{});
    layout.Quantizer = std::make_unique<TLmQuantizer>(image, n, layout.QuantizerPalette.data());
    layout.QuantizerColors = n;
    for (int i = 0; i < n; ++i) layout.Palette.push_back(ToPng(layout.QuantizerPalette[static_cast<size_t>(i)]));
  }
  layout.Background.index = 0;  // entry 0 is exactly the background colour
}

void ChooseOpaquePalette(TPngLayout& layout, const TLmBitmap& image, const TIOParamsVals& params) {
  layout.QuantizerPalette.assign(256, TLmRGBTriple{});
  layout.Quantizer = std::make_unique<TLmQuantizer>(image, 256, layout.QuantizerPalette.data());
  layout.QuantizerColors = 256;
  if (layout.Quantizer->IsGray()) {
    // A gray image is written as gray levels: the quantizer's index of a
    // gray colour is its level, which is also the pixel's gray value.
    layout.ColorType = PNG_COLOR_TYPE_GRAY;
    layout.BitDepth = params.BitsPerSample;
    layout.Kind = layout.BitDepth == 16 ? TRowKind::Gray16 : TRowKind::Gray8;
    uint16_t level = GrayOf(params.PngBackground);
    layout.Background.gray = layout.BitDepth == 16 ? static_cast<png_uint_16>(level * 257) : level;
    return;
  }
  layout.ColorType = PNG_COLOR_TYPE_PALETTE;
  layout.BitDepth = params.BitsPerSample;  // 16 is refused by libpng: "Error on creating PNG"
  layout.Kind = image.PixelFormat() == pf8p ? TRowKind::PaletteOwn : TRowKind::PaletteQuantized;
  for (const TLmRGBTriple& c : layout.QuantizerPalette) layout.Palette.push_back(ToPng(c));
  layout.Background.index = static_cast<png_byte>(QuantizedIndex(layout, params.PngBackground));
}

TPngLayout ChooseLayout(TLmBitmap& bitmap, TIOParamsVals& params, bool transparency) {
  TPngLayout layout;
  layout.Image = &bitmap;
  if (params.SamplesPerPixel != 1) {
    // Colour output is always 8-bit RGB; rows of other pixel formats are
    // converted to blue, green, red as they are written.
    layout.ColorType = transparency ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    layout.Kind = transparency ? TRowKind::RGBA : TRowKind::RGB;
    const TLmRGBTriple bg = params.PngBackground;
    layout.Background.red = bg.r;
    layout.Background.green = bg.g;
    layout.Background.blue = bg.b;
    return layout;
  }
  if (params.BitsPerSample == 1) {
    if (bitmap.PixelFormat() != pf1g) {
      layout.Converted = OneBitCopy(bitmap);
      layout.Image = layout.Converted.get();
    }
    layout.ColorType = PNG_COLOR_TYPE_GRAY;
    layout.BitDepth = 1;
    layout.Kind = TRowKind::Gray1;
    layout.Background.gray = GrayOf(params.PngBackground) >= 128 ? 1 : 0;
    return layout;
  }
  if (transparency)
    ChoosePaletteWithTransparency(layout, bitmap, params);
  else
    ChooseOpaquePalette(layout, bitmap, params);
  return layout;
}

// Builds output rows from the working image; owns the scratch rows.
class TRowBuilder {
 public:
  TRowBuilder(const TPngLayout& layout, const TAlphaSource& alpha, size_t rowBytes)
      : layout_(layout), alpha_(alpha), image_(*layout.Image), width_(image_.Width()) {
    out_.resize(rowBytes);
    bgr_.resize(3 * static_cast<size_t>(width_));
    gray_.resize(static_cast<size_t>(width_));
    mask_.resize(static_cast<size_t>(width_));
  }

  uint8_t* Build(int y) {
    switch (layout_.Kind) {
      case TRowKind::Gray1: {
        const uint8_t* row = image_.ScanLine(y);
        std::copy(row, row + out_.size(), out_.begin());
        break;
      }
      case TRowKind::Gray8:
        GrayRow(y);
        std::copy(gray_.begin(), gray_.end(), out_.begin());
        break;
      case TRowKind::Gray16: Gray16Row(y); break;
      case TRowKind::PaletteOwn: {
        const uint8_t* row = image_.ScanLine(y);
        std::copy(row, row + width_, out_.begin());
        break;
      }
      case TRowKind::PaletteQuantized: {
        const uint8_t* bgr = BgrRow(y);
        for (int x = 0; x < width_; ++x) out_[static_cast<size_t>(x)] = static_cast<uint8_t>(QuantizedIndex(layout_, Pixel(bgr, x)));
        break;
      }
      case TRowKind::PaletteTransparent: TransparentRow(y); break;
      case TRowKind::RGB: {
        const uint8_t* bgr = BgrRow(y);
        std::copy(bgr, bgr + 3 * static_cast<size_t>(width_), out_.begin());
        break;
      }
      case TRowKind::RGBA: {
        const uint8_t* bgr = BgrRow(y);
        alpha_.Row(y, width_, mask_.data());
        for (int x = 0; x < width_; ++x) {
          uint8_t* p = &out_[4 * static_cast<size_t>(x)];
          const uint8_t* c = bgr + 3 * static_cast<size_t>(x);
          p[0] = c[0];
          p[1] = c[1];
          p[2] = c[2];
          p[3] = mask_[static_cast<size_t>(x)];
        }
        break;
      }
    }
    return out_.data();
  }

 private:
  static TLmRGBTriple Pixel(const uint8_t* bgr, int x) {
    const uint8_t* p = bgr + 3 * static_cast<size_t>(x);
    TLmRGBTriple c;
    c.b = p[0];
    c.g = p[1];
    c.r = p[2];
    return c;
  }

  // The row as blue, green, red bytes (pf24RGB rows as they are).
  const uint8_t* BgrRow(int y) {
    const uint8_t* row = image_.ScanLine(y);
    if (image_.PixelFormat() == pf24RGB) return row;
    PixelRowToBGR(image_.PixelFormat(), row, bgr_.data(), width_, image_.Palette(), image_.PaletteLength());
    return bgr_.data();
  }

  void GrayRow(int y) {
    PixelRowToGray(image_.PixelFormat(), image_.ScanLine(y), gray_.data(), width_, image_.Palette(),
                   image_.PaletteLength());
  }

  // pf16g keeps all 16 bits; 8-bit levels are stretched (255 -> 65535).
  void Gray16Row(int y) {
    if (image_.PixelFormat() == pf16g) {
      const uint8_t* row = image_.ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        out_[2 * static_cast<size_t>(x)] = row[2 * x + 1];
        out_[2 * static_cast<size_t>(x) + 1] = row[2 * x];
      }
      return;
    }
    GrayRow(y);
    for (int x = 0; x < width_; ++x) {
      out_[2 * static_cast<size_t>(x)] = gray_[static_cast<size_t>(x)];
      out_[2 * static_cast<size_t>(x) + 1] = gray_[static_cast<size_t>(x)];
    }
  }

  void TransparentRow(int y) {
    alpha_.Row(y, width_, mask_.data());
    if (layout_.FromOwnPalette) {
      const uint8_t* row = image_.ScanLine(y);
      for (int x = 0; x < width_; ++x)
        out_[static_cast<size_t>(x)] = mask_[static_cast<size_t>(x)] == 255 ? layout_.OwnIndexMap[row[x]] : 0;
      return;
    }
    const uint8_t* bgr = BgrRow(y);
    for (int x = 0; x < width_; ++x)
      out_[static_cast<size_t>(x)] =
          mask_[static_cast<size_t>(x)] == 255 ? static_cast<uint8_t>(QuantizedIndex(layout_, Pixel(bgr, x)) + 1) : 0;
  }

  const TPngLayout& layout_;
  const TAlphaSource& alpha_;
  const TLmBitmap& image_;
  const int width_;
  std::vector<uint8_t> out_, bgr_, gray_, mask_;
};

// Text chunk contents as libpng wants them: Latin-1 keywords, and Latin-1
// text (tEXt) unless the text needs more, then UTF-8 (iTXt).
struct TTextChunk {
  std::string Key;
  std::string Text;
  bool International = false;
};

// UTF-8 to Latin-1; nullopt when a character lies outside Latin-1 or the
// input is not UTF-8.
std::optional<std::string> Utf8ToLatin1(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

std::vector<TTextChunk> TextChunks(const TIOParamsVals& params) {
  std::vector<TTextChunk> chunks;
  size_t count = std::min(params.PngTextKeys.size(), params.PngTextValues.size());
  for (size_t i = 0; i < count; ++i) {
    TTextChunk chunk;
    // A keyword that is not Latin-1 keeps what it can; libpng trims spaces
    // and refuses an empty keyword, which would fail the whole write.
    auto key = Utf8ToLatin1(params.PngTextKeys[i]);
    if (!key) {
      key.emplace();
      for (char c : params.PngTextKeys[i])
        if (static_cast<unsigned char>(c) < 0x80) key->push_back(c);
    }
    if (key->find_first_not_of(' ') == std::string::npos) continue;
    chunk.Key = *key;
    if (auto text = Utf8ToLatin1(params.PngTextValues[i])) {
      chunk.Text = *text;
    } else {
      chunk.Text = params.PngTextValues[i];
      chunk.International = true;
    }
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

png_uint_32 PixelsPerMetre(int32_t dpi) {
  double perMetre = std::nearbyint(static_cast<double>(dpi) * 100.0 / 2.54);
  return static_cast<png_uint_32>(std::clamp(perMetre, 0.0, static_cast<double>(PNG_UINT_31_MAX)));
}

[[noreturn]] void RaiseWriteFailure(const TPngCallbackState& state) {
  if (state.StreamError) std::rethrow_exception(state.StreamError);
  throw ELmCodecError(kCreateError);
}

void WritePngImage(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TAlphaSource& alpha,
                   TIOProgress& progress) {
  TPngCallbackState state;
  state.Stream = &stream;
  TPngWriteStruct lib(state);
  if (!lib.Valid()) throw ELmCodecError(kCreateError);
  png_structp png = lib.Png();
  png_infop info = lib.Info();

  if (params.SamplesPerPixel == 1 && params.BitsPerSample != 1 && params.BitsPerSample != 8 &&
      params.BitsPerSample != 16)
    params.BitsPerSample = 8;
  TPngLayout layout = ChooseLayout(bitmap, params, alpha.HasTransparency());
  const TLmBitmap& image = *layout.Image;

  std::vector<TTextChunk> texts = TextChunks(params);
  std::vector<png_text> pngTexts(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    png_text& t = pngTexts[i];
    t.compression = texts[i].International ? PNG_ITXT_COMPRESSION_NONE : PNG_TEXT_COMPRESSION_NONE;
    t.key = texts[i].Key.data();
    t.text = texts[i].Text.data();
    t.text_length = texts[i].International ? 0 : texts[i].Text.size();
    t.itxt_length = texts[i].International ? texts[i].Text.size() : 0;
  }
  const png_byte transparentAlpha = 0;
  const int filter = params.PngFilter == 0   ? PNG_FILTER_NONE
                     : params.PngFilter == 1 ? PNG_FILTER_SUB
                     : params.PngFilter == 2 ? PNG_FILTER_PAETH
                                             : -1;
  const int level = std::clamp<int32_t>(params.PngCompression, -1, 9);
  const png_uint_32 ppmX = PixelsPerMetre(params.DpiX), ppmY = PixelsPerMetre(params.DpiY);
  int passes = 1;
  size_t rowBytes = 0;

  if (!PngGuarded(png, [&] {
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()), static_cast<png_uint_32>(image.Height()),
                     layout.BitDepth, layout.ColorType,
                     params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (!layout.Palette.empty())
          png_set_PLTE(png, info, layout.Palette.data(), static_cast<int>(layout.Palette.size()));
        if (layout.TransparentEntry0) png_set_tRNS(png, info, &transparentAlpha, 1, nullptr);
        png_set_pHYs(png, info, ppmX, ppmY, PNG_RESOLUTION_METER);
        if (filter >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
        png_set_bKGD(png, info, &layout.Background);
        png_set_compression_level(png, level);
        if (!pngTexts.empty()) png_set_text(png, info, pngTexts.data(), static_cast<int>(pngTexts.size()));
        png_write_info(png, info);
        png_set_bgr(png);
        passes = png_set_interlace_handling(png);
        rowBytes = png_get_rowbytes(png, info);
      }))
    RaiseWriteFailure(state);

  TRowBuilder rows(layout, alpha, rowBytes);
  const int height = image.Height();
  progress.SetTotalUnits(static_cast<int64_t>(height) * passes);
  int64_t rowsDone = 0;
  for (int pass = 0; pass < passes && !progress.Aborting(); ++pass) {
    for (int y = 0; y < height; ++y) {
      uint8_t* row = rows.Build(y);
      if (!PngGuarded(png, [&] { png_write_row(png, row); })) RaiseWriteFailure(state);
      if (state.ShortWrite) progress.Abort();
      if (!progress.Report(++rowsDone)) break;
    }
  }
  if (progress.Aborting()) return;
  if (!PngGuarded(png, [&] { png_write_end(png, info); })) RaiseWriteFailure(state);
  if (state.ShortWrite) progress.Abort();
}

}  // namespace

void PngWriteStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TLmMask* mask,
                    TIOProgress& progress) {
  WritePngImage(stream, bitmap, params, TAlphaSource(mask), progress);
}

void WritePng(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  // The alpha channel is read in place rather than copied into a mask.
  TAlphaSource alpha = bitmap.HasAlphaChannel() ? TAlphaSource(&bitmap.AlphaChannel()) : TAlphaSource();
  WritePngImage(stream, bitmap, params, alpha, progress);
}

}  // namespace lumora
