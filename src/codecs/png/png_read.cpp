// PNG reader: libpng decodes; this layer chooses the transformations and the
// pixel format, fills the parameters and moves rows into the bitmap.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/png/png.h"
#include "codecs/png/png_library.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"

namespace lumora {
namespace {

struct TPngHeader {
  png_uint_32 Width = 0;
  png_uint_32 Height = 0;
  int BitDepth = 0;
  int ColorType = 0;
  int Interlace = PNG_INTERLACE_NONE;
  bool HasTransparency = false;  // a tRNS chunk
};

// How decoded rows reach the bitmap.
enum class TRowMode {
  Direct,      // straight into the bitmap row: pf1g, pf8g, pf16g, pf8p, pf24RGB
  SplitAlpha,  // blue, green, red, alpha: colour to the bitmap, alpha to its alpha channel
};

struct TPngTarget {
  TLmPixelFormat Format = pfNone;
  TRowMode Mode = TRowMode::Direct;
};

std::string Latin1ToUtf8(const char* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Every text chunk libpng has seen so far, in file order. Keywords are
// Latin-1 in every kind of chunk; the text is Latin-1 in tEXt and zTXt and
// UTF-8 in iTXt.
void CollectText(png_structp png, png_infop info, TIOParamsVals& params) {
  png_textp text = nullptr;
  int count = 0;
  if (!PngGuarded(png, [&] { count = png_get_text(png, info, &text, nullptr); })) return;
  params.PngTextKeys.clear();
  params.PngTextValues.clear();
  for (int i = 0; i < count; ++i) {
    const png_text& chunk = text[i];
    if (chunk.key == nullptr) continue;
    params.PngTextKeys.push_back(Latin1ToUtf8(chunk.key, std::strlen(chunk.key)));
    const char* value = chunk.text != nullptr ? chunk.text : "";
    bool international = chunk.compression >= PNG_ITXT_COMPRESSION_NONE;
    size_t length = international ? chunk.itxt_length : chunk.text_length;
    params.PngTextValues.push_back(international ? std::string(value, length) : Latin1ToUtf8(value, length));
  }
}

// The bKGD colour as 8-bit red, green, blue. libpng reports it as stored:
// palette entries as 8-bit colours, gray and RGB samples at the image's bit
// depth, so 16-bit samples keep their high byte and gray levels of 1, 2 and
// 4 bits are stretched to 0..255 as the pixels themselves are.
void ReadBackground(png_structp png, png_infop info, const TPngHeader& header, TIOParamsVals& params) {
  png_color_16p background = nullptr;
  png_uint_32 present = 0;
  if (!PngGuarded(png, [&] { present = png_get_bKGD(png, info, &background); }) || present == 0 ||
      background == nullptr)
    return;
  auto scale = [&](png_uint_16 value) -> uint8_t {
    if (header.ColorType == PNG_COLOR_TYPE_PALETTE) return static_cast<uint8_t>(value);
    if (header.BitDepth == 16) return static_cast<uint8_t>(value >> 8);
    if (header.BitDepth == 8) return static_cast<uint8_t>(value);
    unsigned maxValue = (1u << header.BitDepth) - 1;
    return static_cast<uint8_t>(std::min<unsigned>(value, maxValue) * 255u / maxValue);
  };
  bool gray = (header.ColorType & PNG_COLOR_MASK_COLOR) == 0;
  uint8_t red = scale(gray ? background->gray : background->red);
  uint8_t green = scale(gray ? background->gray : background->green);
  uint8_t blue = scale(gray ? background->gray : background->blue);
  params.PngBackground = TLmRGBTriple::FromRGB(red, green, blue);
}

// pHYs in pixels per metre to dots per inch, rounded to the nearest (ties
// to even); no pHYs, another unit or a result of 0 give the default.
void ReadResolution(png_structp png, png_infop info, TIOParamsVals& params) {
  png_uint_32 perMetreX = 0, perMetreY = 0;
  int unit = PNG_RESOLUTION_UNKNOWN;
  png_uint_32 present = 0;
  if (!PngGuarded(png, [&] { present = png_get_pHYs(png, info, &perMetreX, &perMetreY, &unit); })) present = 0;
  auto toDpi = [&](png_uint_32 perMetre, double& exact) -> int32_t {
    exact = 0;
    if (present == 0 || unit != PNG_RESOLUTION_METER) return 0;
    exact = static_cast<double>(perMetre) / 100.0 * 2.54;
    return static_cast<int32_t>(std::nearbyint(exact));
  };
  params.DpiX = toDpi(perMetreX, params.DpiXExact);
  params.DpiY = toDpi(perMetreY, params.DpiYExact);
  if (params.DpiX == 0) {
    params.DpiX = kDefaultDpi;
    params.DpiXExact = kDefaultDpi;
  }
  if (params.DpiY == 0) {
    params.DpiY = kDefaultDpi;
    params.DpiYExact = kDefaultDpi;
  }
}

// Only palette images: a PLTE in an RGB file is merely a suggestion for
// displays with few colours.
void ReadPalette(png_structp png, png_infop info, const TPngHeader& header, TIOParamsVals& params) {
  params.ColorMap.clear();
  if (header.ColorType != PNG_COLOR_TYPE_PALETTE) return;
  png_colorp palette = nullptr;
  int count = 0;
  png_uint_32 present = 0;
  if (!PngGuarded(png, [&] { present = png_get_PLTE(png, info, &palette, &count); }) || present == 0) return;
  count = std::clamp(count, 0, PNG_MAX_PALETTE_LENGTH);
  for (int i = 0; i < count; ++i)
    params.ColorMap.push_back(TLmRGBTriple::FromRGB(palette[i].red, palette[i].green, palette[i].blue));
}

int SamplesPerPixel(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // gray, palette
  }
}

// Asks libpng for the rows the bitmap takes and answers which pixel format
// that is. pf8g, pf16g and pf8p keep the file's samples (NativePixelFormat);
// 1-bit gray stays packed; everything else becomes blue, green, red bytes,
// with an alpha channel when the file has alpha or a tRNS chunk.
//
// 1-bit images with a tRNS chunk and 1-bit palette images take the general
// path too, so that their transparency is kept and interlaced ones combine
// their passes in the bitmap row (libpng expands 1-bit palettes itself,
// giving each pixel entry 0 or 1, or black for an entry the palette lacks).
TLmPixelFormat SetTransformations(png_structp png, const TPngHeader& header, bool nativePixelFormat) {
  int depth = header.BitDepth;
  int type = header.ColorType;
  bool native = nativePixelFormat && (depth == 8 || depth == 16) &&
                (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_PALETTE);
  if (native) {
    if (depth == 16) png_set_swap(png);  // pf16g words are little-endian
    if (type == PNG_COLOR_TYPE_PALETTE) return pf8p;
    return depth == 16 ? pf16g : pf8g;
  }
  if (depth == 1 && type == PNG_COLOR_TYPE_GRAY && !header.HasTransparency) return pf1g;

  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (depth == 16) png_set_strip_16(png);  // the high byte, as the background colour
  if (depth < 8) png_set_packing(png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_tRNS_to_alpha(png);
  return pf24RGB;
}

// What libpng will deliver after png_read_update_info, checked against what
// the bitmap format expects, so that a row never overruns the bitmap row.
bool MatchTarget(png_structp png, png_infop info, TLmBitmap& bitmap, TPngTarget& target) {
  int channels = 0, depth = 0;
  size_t rowBytes = 0;
  if (!PngGuarded(png, [&] {
        channels = png_get_channels(png, info);
        depth = png_get_bit_depth(png, info);
        rowBytes = png_get_rowbytes(png, info);
      }))
    return false;
  size_t width = bitmap.Width();
  switch (target.Format) {
    case pf1g: return channels == 1 && depth == 1 && rowBytes <= bitmap.RowLen();
    case pf8g:
    case pf8p: return channels == 1 && depth == 8 && rowBytes == width;
    case pf16g: return channels == 1 && depth == 16 && rowBytes == width * 2;
    case pf24RGB:
      if (depth != 8) return false;
      if (channels == 3) return rowBytes == width * 3;
      target.Mode = TRowMode::SplitAlpha;
      return channels == 4 && rowBytes == width * 4;
    default: return false;
  }
}

// Rows decoded in one pass of an interlaced image hold only that pass's
// pixels; the others must not be copied from the scratch row.
bool RowInPass(int row, int pass, int passes) {
  return passes == 1 || PNG_ROW_IN_INTERLACE_PASS(static_cast<png_uint_32>(row), pass);
}

void SplitRow(const uint8_t* bgra, int width, int pass, int passes, uint8_t* color, uint8_t* alpha) {
  int first = passes == 1 ? 0 : static_cast<int>(PNG_PASS_START_COL(pass));
  int step = passes == 1 ? 1 : 1 << PNG_PASS_COL_SHIFT(pass);
  for (int x = first; x < width; x += step) {
    const uint8_t* p = bgra + 4 * static_cast<size_t>(x);
    uint8_t* c = color + 3 * static_cast<size_t>(x);
    c[0] = p[0];
    c[1] = p[1];
    c[2] = p[2];
    alpha[x] = p[3];
  }
}

// Decodes every pass into the bitmap. Answers the number of rows of the
// last pass that were completed (height when all went well).
int ReadRows(png_structp png, TLmBitmap& bitmap, const TPngTarget& target, int passes, TIOProgress& progress) {
  const int width = bitmap.Width(), height = bitmap.Height();
  std::vector<uint8_t> scratch;
  TLmBitmap* alpha = nullptr;
  if (target.Mode == TRowMode::SplitAlpha) {
    scratch.resize(4 * static_cast<size_t>(width));
    alpha = &bitmap.AlphaChannel();
  }
  progress.SetTotalUnits(static_cast<int64_t>(height) * passes);
  int64_t rowsDone = 0;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < height; ++y) {
      if (target.Mode == TRowMode::Direct) {
        uint8_t* row = bitmap.ScanLine(y);
        if (!PngGuarded(png, [&] { png_read_row(png, row, nullptr); })) return y;
      } else {
        uint8_t* buffer = scratch.data();
        if (!PngGuarded(png, [&] { png_read_row(png, buffer, nullptr); })) return y;
        if (RowInPass(y, pass, passes)) SplitRow(buffer, width, pass, passes, bitmap.ScanLine(y), alpha->ScanLine(y));
      }
      ++rowsDone;
      if (!progress.ReportIfChanged(rowsDone)) return y + 1;
    }
  }
  return height;
}

void ReadPngImage(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                  TIOProgress& progress) {
  TPngCallbackState state;
  state.Stream = &stream;
  TPngReadStruct lib(state);
  if (!lib.Valid()) {
    progress.Abort();
    return;
  }
  png_structp png = lib.Png();
  png_infop info = lib.Info();

  TPngHeader header;
  if (!PngGuarded(png, [&] {
        png_read_info(png, info);
        png_get_IHDR(png, info, &header.Width, &header.Height, &header.BitDepth, &header.ColorType,
                     &header.Interlace, nullptr, nullptr);
        header.HasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
      })) {
    progress.Abort();
    return;
  }

  CollectText(png, info, params);
  ReadBackground(png, info, header, params);

  TPngTarget target;
  int passes = 1;
  target.Format = SetTransformations(png, header, params.NativePixelFormat);
  if (!PngGuarded(png, [&] {
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
      })) {
    progress.Abort();
    return;
  }

  params.ImageCount = 1;
  params.Width = params.OriginalWidth = static_cast<int32_t>(header.Width);
  params.Height = params.OriginalHeight = static_cast<int32_t>(header.Height);
  params.BitsPerSample = header.BitDepth;
  params.SamplesPerPixel = SamplesPerPixel(header.ColorType);
  ReadResolution(png, info, params);
  ReadPalette(png, info, header, params);
  params.PngInterlaced = header.Interlace != PNG_INTERLACE_NONE;
  if (paramsOnly) return;

  if (!AcceptImageSize(header.Width, header.Height, static_cast<uint32_t>(PixelFormatBits(target.Format)), progress))
    return;
  if (!bitmap.Allocate(static_cast<int>(header.Width), static_cast<int>(header.Height), target.Format) ||
      !MatchTarget(png, info, bitmap, target)) {
    progress.Abort();
    return;
  }
  if (target.Format == pf8p) bitmap.SetPalette(params.ColorMap.data(), params.ColorMapCount());
  if (target.Mode != TRowMode::SplitAlpha && bitmap.HasAlphaChannel()) bitmap.RemoveAlphaChannel();
  // Interlaced passes combine into the row's earlier content, which must
  // start defined; a file that ends early then shows black where it stops.
  if (passes > 1) bitmap.Fill(0);

  int rowsDone = ReadRows(png, bitmap, target, passes, progress);
  if (rowsDone < bitmap.Height()) {
    progress.Abort();
    // Rows past the failure were never written: make them black rather
    // than whatever the allocation held (interlaced images started black).
    if (passes == 1)
      for (int y = rowsDone; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), 0, bitmap.RowLen());
    return;
  }
  if (progress.Aborting()) return;

  // Chunks after the image data: text there belongs to the image as well.
  if (!PngGuarded(png, [&] { png_read_end(png, info); })) {
    progress.Abort();
    return;
  }
  CollectText(png, info, params);
}

}  // namespace

void PngReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress) {
  try {
    ReadPngImage(stream, bitmap, params, paramsOnly, progress);
  } catch (...) {
    // Stream and temporary-file errors end the read like bad data does.
    progress.Abort();
  }
}

void ReadPng(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  PngReadStream(stream, bitmap, params, paramsOnly, progress);
}

std::string DescribePng(const TIOParamsVals& params) { return params.PngInterlaced ? " Interlaced" : ""; }

}  // namespace lumora
