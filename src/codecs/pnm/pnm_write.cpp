// PNM writer: the binary variants. Bilevel images as P4, gray as P5 (8 or
// 16 bits), colour as P6 (8 or 16 bits), with the comments of the
// parameters in the header.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/pnm/pnm.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

enum class TPnmVariant { Bits, Gray8, Gray16, Rgb8, Rgb16FromBytes, Rgb16 };

TPnmVariant ChooseVariant(const TLmBitmap& bitmap, const TIOParamsVals& params) {
  const TLmPixelFormat format = bitmap.PixelFormat();
  if ((params.BitsPerSample == 1 && params.SamplesPerPixel == 1) || format == pf1g) return TPnmVariant::Bits;
  if (params.BitsPerSample == 8 && params.SamplesPerPixel == 1) return TPnmVariant::Gray8;
  if (params.BitsPerSample == 16 && params.SamplesPerPixel == 3 && format == pf24RGB)
    return TPnmVariant::Rgb16FromBytes;
  if (format == pfRGB48) return TPnmVariant::Rgb16;
  // A 16-bit gray image keeps its depth.
  if (format == pf16g) return TPnmVariant::Gray16;
  // Everything else (colour, palettes, the other gray formats) as 8-bit colour.
  return TPnmVariant::Rgb8;
}

// A comment must stay on its line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string HeaderText(TPnmVariant variant, int width, int height, const std::vector<std::string>& comments) {
  const char* magic = variant == TPnmVariant::Bits ? "P4" : (variant == TPnmVariant::Gray8 || variant == TPnmVariant::Gray16) ? "P5" : "P6";
  std::string text = std::string(magic) + " ";
  for (const std::string& comment : comments) text += "\n# " + OneLine(comment) + "\n";
  text += std::to_string(width) + " " + std::to_string(height);
  if (variant == TPnmVariant::Gray8 || variant == TPnmVariant::Rgb8) text += " 255";
  else if (variant != TPnmVariant::Bits) text += " 65535";
  return text + "\n";
}

}  // namespace

void WritePxm(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  if (bitmap.IsEmpty()) return;
  const int width = bitmap.Width(), height = bitmap.Height();
  const TPnmVariant variant = ChooseVariant(bitmap, params);
  auto put = [&](const void* data, size_t count) {
    if (stream.WriteExact(data, count)) return true;
    progress.Fail(TIOFailureKind::IOError, "short write");
    return false;
  };
  const std::string header = HeaderText(variant, width, height, params.PxmComments);
  if (!put(header.data(), header.size())) return;

  std::unique_ptr<TLmBitmap> bilevel;
  const TLmBitmap* source = &bitmap;
  if (variant == TPnmVariant::Bits && bitmap.PixelFormat() != pf1g) {
    bilevel = std::make_unique<TLmBitmap>();
    bilevel->Assign(bitmap);
    bilevel->RemoveAlphaChannel(false);
    bilevel->SetPixelFormat(pf1g);
    source = bilevel.get();
  }
  TLmAccessScope readOnly(bitmap, accRead);
  std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3), out;
  progress.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = source->ScanLine(y);
    const TLmPixelFormat format = source->PixelFormat();
    if (variant == TPnmVariant::Bits) {
      out.assign(src, src + (width + 7) / 8);
      for (uint8_t& b : out) b = static_cast<uint8_t>(~b);  // PBM 1 is black
    } else if (variant == TPnmVariant::Rgb16) {
      out.resize(static_cast<size_t>(width) * 6);
      for (size_t i = 0; i < out.size() / 2; ++i) WriteBE16(&out[2 * i], ReadLE16(src + 2 * i));
    } else if (variant == TPnmVariant::Gray16) {
      out.resize(static_cast<size_t>(width) * 2);
      for (int x = 0; x < width; ++x) WriteBE16(&out[2 * x], ReadLE16(src + 2 * x));
    } else {
      PixelRowToBGR(format, src, bgr.data(), width, source->Palette(), source->PaletteLength());
      if (variant == TPnmVariant::Gray8) {
        out.resize(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) out[x] = RGBToGray(bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]);
      } else if (variant == TPnmVariant::Rgb8) {
        out.resize(static_cast<size_t>(width) * 3);
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < 3; ++c) out[3 * x + c] = bgr[3 * x + 2 - c];
      } else {  // Rgb16FromBytes: each byte v as v * 257
        out.resize(static_cast<size_t>(width) * 6);
        for (int x = 0; x < width; ++x)
          for (int c = 0; c < 3; ++c) WriteBE16(&out[6 * x + 2 * c], static_cast<uint16_t>(bgr[3 * x + 2 - c] * 257));
      }
    }
    if (!put(out.data(), out.size())) return;
    if (!progress.Report(y + 1)) return;
  }
}

}  // namespace lumora
