#include "png_test_util.h"

#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "imageio/colorconv.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora::pngtest {
namespace {

void PNGCBAPI AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void PNGCBAPI NoFlush(png_structp) {}

struct TByteSource {
  const std::vector<uint8_t>* Data;
  size_t Position = 0;
};

void PNGCBAPI ReadFromVector(png_structp png, png_bytep data, size_t length) {
  auto* source = static_cast<TByteSource*>(png_get_io_ptr(png));
  if (source->Position + length > source->Data->size()) png_error(png, "end of data");
  std::memcpy(data, source->Data->data() + source->Position, length);
  source->Position += length;
}

void PNGCBAPI Quiet(png_structp, png_const_charp) {}

std::vector<png_text> TextArray(const std::vector<std::pair<std::string, std::string>>& texts, bool compress) {
  std::vector<png_text> out(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    out[i].compression = compress ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
    out[i].key = const_cast<char*>(texts[i].first.c_str());
    out[i].text = const_cast<char*>(texts[i].second.c_str());
    out[i].text_length = texts[i].second.size();
  }
  return out;
}

// The libpng calls, in a frame that holds nothing with a destructor (the
// error return is a longjmp).
bool WritePng(png_structp png, png_infop info, const TPngSpec& spec, std::vector<png_text>& before,
              std::vector<png_text>& after, std::vector<png_bytep>& rows, std::vector<uint8_t>& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, AppendToVector, NoFlush);
  png_set_check_for_invalid_index(png, -1);  // fixtures may hold bad palette indexes on purpose
  png_set_IHDR(png, info, spec.Width, spec.Height, spec.BitDepth, spec.ColorType,
               spec.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!spec.Palette.empty()) png_set_PLTE(png, info, spec.Palette.data(), static_cast<int>(spec.Palette.size()));
  if (!spec.PaletteAlpha.empty())
    png_set_tRNS(png, info, spec.PaletteAlpha.data(), static_cast<int>(spec.PaletteAlpha.size()), nullptr);
  if (spec.TransparentColor) {
    png_color_16 color = *spec.TransparentColor;
    png_set_tRNS(png, info, nullptr, 1, &color);
  }
  if (spec.Background) {
    png_color_16 color = *spec.Background;
    png_set_bKGD(png, info, &color);
  }
  if (spec.PixelsPerMetre)
    png_set_pHYs(png, info, spec.PixelsPerMetre->first, spec.PixelsPerMetre->second, PNG_RESOLUTION_METER);
  if (!before.empty()) png_set_text(png, info, before.data(), static_cast<int>(before.size()));
  png_write_info(png, info);
  png_write_image(png, rows.data());
  if (!after.empty()) png_set_text(png, info, after.data(), static_cast<int>(after.size()));
  png_write_end(png, info);
  return true;
}

bool ReadPng(png_structp png, png_infop info, TByteSource& source, TPngFileInfo& out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &source, ReadFromVector);
  png_read_info(png, info);
  png_get_IHDR(png, info, &out.Width, &out.Height, &out.BitDepth, &out.ColorType, &out.Interlace, nullptr, nullptr);
  png_colorp palette = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &palette, &count)) out.Palette.assign(palette, palette + count);
  png_bytep alpha = nullptr;
  png_color_16p color = nullptr;
  if (png_get_tRNS(png, info, &alpha, &count, &color) && alpha != nullptr) out.PaletteAlpha.assign(alpha, alpha + count);
  png_color_16p background = nullptr;
  if (png_get_bKGD(png, info, &background)) {
    out.HasBackground = true;
    out.Background = *background;
  }
  if (png_get_pHYs(png, info, &out.PhysX, &out.PhysY, &out.PhysUnit)) out.HasPhys = true;
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out.RowBytes = png_get_rowbytes(png, info);
  out.Rows.assign(out.RowBytes * out.Height, 0);
  for (int pass = 0; pass < (out.Interlace ? 7 : 1); ++pass)
    for (png_uint_32 y = 0; y < out.Height; ++y) png_read_row(png, out.Rows.data() + y * out.RowBytes, nullptr);
  png_read_end(png, info);
  png_textp text = nullptr;
  int texts = png_get_text(png, info, &text, nullptr);
  for (int i = 0; i < texts; ++i) {
    size_t length = text[i].compression >= PNG_ITXT_COMPRESSION_NONE ? text[i].itxt_length : text[i].text_length;
    out.Texts.emplace_back(text[i].key, std::string(text[i].text, length));
    out.TextCompression.push_back(text[i].compression);
  }
  return true;
}

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

unsigned GetSample(const uint8_t* row, int x, int channel, int channels, int depth) {
  size_t index = static_cast<size_t>(x) * channels + channel;
  if (depth == 16) return (unsigned{row[2 * index]} << 8) | row[2 * index + 1];
  if (depth == 8) return row[index];
  size_t bit = index * depth;
  unsigned byte = row[bit / 8];
  return (byte >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

}  // namespace

size_t TPngSpec::RowBytes() const {
  return (static_cast<size_t>(Width) * Channels(ColorType) * BitDepth + 7) / 8;
}

void TPngSpec::SetSample(int x, int y, int channel, unsigned value) {
  uint8_t* row = Rows.data() + RowBytes() * y;
  size_t index = static_cast<size_t>(x) * Channels(ColorType) + channel;
  if (BitDepth == 16) {
    row[2 * index] = static_cast<uint8_t>(value >> 8);
    row[2 * index + 1] = static_cast<uint8_t>(value);
  } else if (BitDepth == 8) {
    row[index] = static_cast<uint8_t>(value);
  } else {
    size_t bit = index * BitDepth;
    int shift = 8 - BitDepth - static_cast<int>(bit % 8);
    unsigned mask = ((1u << BitDepth) - 1) << shift;
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
  }
}

TPngSpec MakeSpec(int width, int height, int colorType, int bitDepth) {
  TPngSpec spec;
  spec.Width = width;
  spec.Height = height;
  spec.ColorType = colorType;
  spec.BitDepth = bitDepth;
  spec.Rows.assign(spec.RowBytes() * height, 0);
  return spec;
}

std::vector<uint8_t> EncodeWithLibpng(const TPngSpec& spec) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
  png_infop info = png_create_info_struct(png);
  std::vector<png_text> before = TextArray(spec.Texts, spec.CompressTexts);
  std::vector<png_text> after = TextArray(spec.TextsAfter, spec.CompressTexts);
  std::vector<png_bytep> rows(spec.Height);
  for (int y = 0; y < spec.Height; ++y)
    rows[y] = const_cast<png_bytep>(spec.Rows.data() + spec.RowBytes() * y);
  std::vector<uint8_t> out;
  bool ok = WritePng(png, info, spec, before, after, rows, out);
  png_destroy_write_struct(&png, &info);
  if (!ok) throw std::runtime_error("libpng refused the test image");
  return out;
}

unsigned TPngFileInfo::Sample(int x, int y, int channel) const {
  return GetSample(Rows.data() + RowBytes * y, x, channel, Channels(ColorType), BitDepth);
}

TPngFileInfo InspectWithLibpng(const std::vector<uint8_t>& file) {
  TPngFileInfo out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
  png_infop info = png_create_info_struct(png);
  TByteSource source{&file};
  out.Ok = ReadPng(png, info, source, out);
  png_destroy_read_struct(&png, &info, nullptr);
  return out;
}

std::vector<TChunkRef> ListChunks(const std::vector<uint8_t>& file) {
  std::vector<TChunkRef> chunks;
  size_t offset = 8;
  while (offset + 12 <= file.size()) {
    TChunkRef ref;
    ref.Offset = offset;
    ref.Length = BigEndian32(&file[offset]);
    ref.Type.assign(reinterpret_cast<const char*>(&file[offset + 4]), 4);
    chunks.push_back(ref);
    offset += 12 + static_cast<size_t>(ref.Length);
  }
  return chunks;
}

void FixCrc(std::vector<uint8_t>& file, const TChunkRef& ref) {
  uLong crc = crc32(0, &file[ref.Offset + 4], 4 + ref.Length);
  PutBigEndian32(&file[ref.Offset + 8 + ref.Length], static_cast<uint32_t>(crc));
}

void InsertChunk(std::vector<uint8_t>& file, const std::string& beforeType, const std::string& type,
                 const std::vector<uint8_t>& data) {
  for (const TChunkRef& ref : ListChunks(file)) {
    if (ref.Type != beforeType) continue;
    std::vector<uint8_t> chunk(12 + data.size());
    PutBigEndian32(chunk.data(), static_cast<uint32_t>(data.size()));
    std::memcpy(&chunk[4], type.data(), 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    PutBigEndian32(&chunk[8 + data.size()], static_cast<uint32_t>(crc32(0, &chunk[4], 4 + data.size())));
    file.insert(file.begin() + static_cast<ptrdiff_t>(ref.Offset), chunk.begin(), chunk.end());
    return;
  }
  throw std::runtime_error("no such chunk: " + beforeType);
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(data.size());
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), data.size(), 9) != Z_OK) throw std::runtime_error("compress2");
  out.resize(size);
  return out;
}

void DecodeWithCodec(const std::vector<uint8_t>& file, TDecoded& out, bool nativePixelFormat, bool paramsOnly) {
  TLmByteViewStream stream(file);
  std::atomic<bool> aborting{false};
  TIOProgress progress(aborting, [&](int percent) { out.Progress.push_back(percent); });
  out.Params.NativePixelFormat = nativePixelFormat;
  PngReadStream(stream, out.Bitmap, out.Params, paramsOnly, progress);
  out.Aborting = aborting;
}

std::vector<uint8_t> EncodeWithCodec(TLmBitmap& bitmap, TIOParamsVals& params, bool* aborting) {
  TLmMemoryStream stream;
  TIOProgress progress;
  WritePng(stream, bitmap, params, progress);
  if (aborting != nullptr) *aborting = progress.Aborting();
  return stream.Data();
}

TRgba PixelRgba(const TLmBitmap& bitmap, int x, int y) {
  const uint8_t* row = bitmap.ScanLine(y);
  TRgba c;
  switch (bitmap.PixelFormat()) {
    case pf1g: c.R = c.G = c.B = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0; break;
    case pf8g: c.R = c.G = c.B = row[x]; break;
    case pf16g: c.R = c.G = c.B = row[2 * x + 1]; break;
    case pf8p: {
      TLmRGBTriple t = bitmap.GetPaletteColor(row[x]);
      c.R = t.r, c.G = t.g, c.B = t.b;
      break;
    }
    case pf24RGB: c.B = row[3 * x], c.G = row[3 * x + 1], c.R = row[3 * x + 2]; break;
    default: {
      std::vector<uint8_t> bgr(3 * static_cast<size_t>(bitmap.Width()));
      PixelRowToBGR(bitmap.PixelFormat(), row, bgr.data(), bitmap.Width(), bitmap.Palette(), bitmap.PaletteLength());
      c.B = bgr[3 * x], c.G = bgr[3 * x + 1], c.R = bgr[3 * x + 2];
      break;
    }
  }
  if (bitmap.HasAlphaChannel()) c.A = bitmap.Alpha(x, y);
  return c;
}

std::vector<uint8_t> BitmapRgba(const TLmBitmap& bitmap) {
  std::vector<uint8_t> out;
  out.reserve(4 * static_cast<size_t>(bitmap.Width()) * bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      TRgba c = PixelRgba(bitmap, x, y);
      out.insert(out.end(), {c.R, c.G, c.B, c.A});
    }
  return out;
}

std::string PngSuiteDir() {
  std::filesystem::path dir = std::filesystem::path(LUMORA_CORPUS_DIR) / "png";
  std::error_code error;
  return std::filesystem::exists(dir / "basn0g01.png", error) ? dir.string() : std::string();
}

}  // namespace lumora::pngtest
