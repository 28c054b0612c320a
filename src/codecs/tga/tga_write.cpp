// TGA writer: 1-bit (gray, or colour-mapped when the two colours are not
// black and white), 4- and 8-bit colour-mapped, 8-bit gray, 24-bit and,
// with an alpha channel, 32-bit images; run-length encoding for 8 and 24
// bits; the version 2 extension area and footer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "codecs/tga/tga.h"
#include "codecs/tga/tga_format.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/quantize.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace tga;

// A ratio as a 16-bit numerator over a power of ten: the finest
// denominator (up to 10000) whose numerator still fits, so that 2.2 is
// stored as 22000 / 10000 and 10.0 as 10000 / 1000. Values that fit no
// denominator store the largest numerator; zero, negative and non-numbers
// store 0 / 0 (not given).
void RatioToFraction(double value, uint16_t& numerator, uint16_t& denominator) {
  numerator = denominator = 0;
  if (!(value > 0) || !std::isfinite(value)) return;
  for (int den = 10000; den >= 1; den /= 10) {
    // A little slack, so that 2.2 * 10000 = 21999.999... still gives 22000.
    const double n = std::floor(value * den + 1e-6);
    if (n <= 65535) {
      numerator = static_cast<uint16_t>(n);
      denominator = static_cast<uint16_t>(den);
      return;
    }
  }
  numerator = 65535;
  denominator = 1;
}

TTgaDateTime CurrentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &now);
#else
  localtime_r(&now, &t);
#endif
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

void PutText(uint8_t* at, const std::string& text) {
  std::memcpy(at, text.data(), std::min(text.size(), kExtTextLength - 1));  // keeps a closing 0
}

class TTgaWriter {
 public:
  TTgaWriter(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress) {}

  void Write();

 private:
  int ChooseDepth() const;
  bool PrepareBilevel();
  void PrepareIndexed();
  bool WriteHeader();
  bool WriteRows();
  void RowPixels(int y, std::vector<uint8_t>& out);
  bool WriteExtensionAndFooter();
  bool Put(const void* data, size_t count) {
    if (stream_.WriteExact(data, count)) return true;
    progress_.Fail(TIOFailureKind::IOError, "short write");
    return false;
  }

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  int64_t start_ = 0;
  int depth_ = 24;
  uint8_t imageType_ = kTrueColor;
  bool gray_ = false;
  std::vector<TLmRGBTriple> colorMap_;         // written when not empty
  const TLmBitmap* bilevel_ = nullptr;         // depth 1: the bits written
  std::unique_ptr<TLmBitmap> ownBilevel_;
  std::unique_ptr<TLmQuantizer> quantizer_;    // depths 4 and 8 with a colour map
  std::vector<uint8_t> bgr_;
};

int TTgaWriter::ChooseDepth() const {
  if (params_.SamplesPerPixel == 1) {
    if (params_.BitsPerSample == 1) return 1;
    if (params_.BitsPerSample == 4) return 4;
    return 8;
  }
  return bitmap_.HasAlphaChannel() ? 32 : 24;
}

// Two colours other than black and white keep their colours in a
// two-entry colour map; everything else becomes a black and white image.
bool TTgaWriter::PrepareBilevel() {
  const TLmRGBTriple black{}, white = TLmRGBTriple::FromRGB(255, 255, 255);
  imageType_ = kGray;
  if (bitmap_.PixelFormat() == pf1g) {
    bilevel_ = &bitmap_;
    return true;
  }
  TLmRGBTriple first, second;
  ownBilevel_ = TwoColorToBilevel(bitmap_, first, second);
  if (ownBilevel_) {
    if (!(first == black && second == white)) {
      imageType_ = kColorMapped;
      colorMap_ = {first, second};
    }
  } else {
    ownBilevel_ = std::make_unique<TLmBitmap>();
    ownBilevel_->Assign(bitmap_);
    ownBilevel_->RemoveAlphaChannel(false);
    ownBilevel_->SetPixelFormat(pf1g);
  }
  bilevel_ = ownBilevel_.get();
  return true;
}

void TTgaWriter::PrepareIndexed() {
  gray_ = depth_ == 8 && params_.TgaGrayLevel;
  if (gray_) {
    imageType_ = kGray;
    return;
  }
  imageType_ = kColorMapped;
  colorMap_.assign(static_cast<size_t>(1) << depth_, TLmRGBTriple{});
  quantizer_ = std::make_unique<TLmQuantizer>(bitmap_, static_cast<int>(colorMap_.size()), colorMap_.data());
  params_.ColorMap = colorMap_;
}

void TTgaWriter::Write() {
  start_ = stream_.Position();
  depth_ = ChooseDepth();
  if (depth_ == 1) {
    params_.TgaCompressed = false;
    if (!PrepareBilevel()) return;
  } else if (depth_ <= 8) {
    if (depth_ == 4) params_.TgaCompressed = false;
    PrepareIndexed();
  } else if (depth_ == 32) {
    params_.TgaCompressed = false;
    imageType_ = kTrueColor;
  } else {
    imageType_ = kTrueColor;
  }
  if (params_.TgaCompressed) imageType_ |= kRleFlag;
  bgr_.resize(static_cast<size_t>(bitmap_.Width()) * 3);
  TLmAccessScope readOnly(bitmap_, accRead);
  if (WriteHeader() && WriteRows()) WriteExtensionAndFooter();
}

bool TTgaWriter::WriteHeader() {
  const std::string id = params_.TgaImageId.substr(0, 254);
  uint8_t h[kHeaderSize] = {};
  h[0] = static_cast<uint8_t>(id.size() + 1);
  h[1] = colorMap_.empty() ? 0 : 1;
  h[2] = imageType_;
  WriteLE16(h + 5, static_cast<uint16_t>(colorMap_.size()));
  h[7] = colorMap_.empty() ? 0 : 24;
  WriteLE16(h + 8, static_cast<uint16_t>(params_.TgaXOrigin));
  WriteLE16(h + 10, static_cast<uint16_t>(params_.TgaYOrigin));
  WriteLE16(h + 12, static_cast<uint16_t>(bitmap_.Width()));
  WriteLE16(h + 14, static_cast<uint16_t>(bitmap_.Height()));
  h[16] = static_cast<uint8_t>(depth_);
  h[17] = kTopToBottom | (depth_ == 32 ? 8 : 0);
  std::vector<uint8_t> out(h, h + kHeaderSize);
  out.insert(out.end(), id.begin(), id.end());
  out.push_back(0);
  for (const TLmRGBTriple& c : colorMap_) out.insert(out.end(), {c.b, c.g, c.r});
  return Put(out.data(), out.size());
}

// One row in the file's pixel layout.
void TTgaWriter::RowPixels(int y, std::vector<uint8_t>& out) {
  const int width = bitmap_.Width();
  if (depth_ == 1) {
    const uint8_t* bits = bilevel_->ScanLine(y);
    out.assign(bits, bits + (width + 7) / 8);
    return;
  }
  PixelRowToBGR(bitmap_.PixelFormat(), bitmap_.ScanLine(y), bgr_.data(), width, bitmap_.Palette(),
                bitmap_.PaletteLength());
  auto color = [&](int x) { return TLmRGBTriple::FromRGB(bgr_[3 * x + 2], bgr_[3 * x + 1], bgr_[3 * x]); };
  auto index = [&](int x) {
    const TLmRGBTriple c = color(x);
    int i = quantizer_->Index(c);
    if (i < 0) i = NearestPaletteEntry(c, colorMap_.data(), static_cast<int>(colorMap_.size()));
    return static_cast<uint8_t>(i);
  };
  switch (depth_) {
    case 4:
      out.assign(static_cast<size_t>(width + 1) / 2, 0);
      for (int x = 0; x < width; ++x) out[x >> 1] |= static_cast<uint8_t>(index(x) << ((x & 1) ? 0 : 4));
      break;
    case 8:
      out.resize(static_cast<size_t>(width));
      for (int x = 0; x < width; ++x) out[x] = gray_ ? RGBToGray(color(x)) : index(x);
      break;
    case 24: out.assign(bgr_.begin(), bgr_.end()); break;
    case 32: {
      out.resize(static_cast<size_t>(width) * 4);
      const uint8_t* a = bitmap_.HasAlphaChannel() ? bitmap_.AlphaChannel().ScanLine(y) : nullptr;
      for (int x = 0; x < width; ++x) {
        std::memcpy(&out[4 * x], &bgr_[3 * x], 3);
        out[4 * x + 3] = a ? a[x] : 255;
      }
      break;
    }
    default: break;
  }
}

// Repeat packets for runs of two or more equal pixels, raw packets for the
// stretches between them; packets never cross rows.
void EncodeRleRow(const uint8_t* pixels, int width, int bytesPerPixel, std::vector<uint8_t>& out) {
  out.clear();
  auto same = [&](int a, int b) {
    return std::memcmp(pixels + a * bytesPerPixel, pixels + b * bytesPerPixel, static_cast<size_t>(bytesPerPixel)) ==
           0;
  };
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < kMaxPacket && same(x, x + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out.insert(out.end(), pixels + x * bytesPerPixel, pixels + (x + 1) * bytesPerPixel);
      x += run;
      continue;
    }
    int count = 1;
    while (x + count < width && count < kMaxPacket && !(x + count + 1 < width && same(x + count, x + count + 1)))
      ++count;
    out.push_back(static_cast<uint8_t>(count - 1));
    out.insert(out.end(), pixels + x * bytesPerPixel, pixels + (x + count) * bytesPerPixel);
    x += count;
  }
}

bool TTgaWriter::WriteRows() {
  const int height = bitmap_.Height();
  std::vector<uint8_t> row, packed;
  progress_.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    if (!progress_.Report(y)) return false;
    RowPixels(y, row);
    if (params_.TgaCompressed) {
      EncodeRleRow(row.data(), bitmap_.Width(), depth_ / 8, packed);
      if (!Put(packed.data(), packed.size())) return false;
    } else if (!Put(row.data(), row.size())) {
      return false;
    }
  }
  return true;
}

bool TTgaWriter::WriteExtensionAndFooter() {
  const int64_t extensionOffset = stream_.Position() - start_;
  uint8_t ext[kExtensionAreaSize] = {};
  PutText(ext + kExtAuthor, params_.TgaAuthor);
  PutText(ext + kExtJobName, params_.TgaJobName);
  const TTgaDateTime d = params_.TgaDate.IsSet() ? params_.TgaDate : CurrentLocalTime();
  const int fields[] = {d.Month, d.Day, d.Year, d.Hour, d.Minute, d.Second};
  for (int i = 0; i < 6; ++i) WriteLE16(ext + kExtDate + 2 * i, static_cast<uint16_t>(fields[i]));
  ext[kExtKeyColor + 1] = params_.TgaKeyColor.r;
  ext[kExtKeyColor + 2] = params_.TgaKeyColor.g;
  ext[kExtKeyColor + 3] = params_.TgaKeyColor.b;
  uint16_t num, den;
  RatioToFraction(params_.TgaAspectRatio, num, den);
  WriteLE16(ext + kExtAspect, num);
  WriteLE16(ext + kExtAspect + 2, den);
  RatioToFraction(params_.TgaGamma, num, den);
  WriteLE16(ext + kExtGamma, num);
  WriteLE16(ext + kExtGamma + 2, den);
  if (!Put(ext, sizeof ext)) return false;

  uint8_t footer[kFooterSize] = {};
  WriteLE32(footer, static_cast<uint32_t>(extensionOffset));
  std::memcpy(footer + 8, kSignature, sizeof kSignature);
  return Put(footer, sizeof footer);
}

}  // namespace

void WriteTga(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  if (bitmap.IsEmpty()) return;
  // The header holds 16-bit sizes.
  if (bitmap.Width() > 65535 || bitmap.Height() > 65535) {
    progress.Fail(TIOFailureKind::Unsupported, "image too large for TGA");
    return;
  }
  TTgaWriter(stream, bitmap, params, progress).Write();
}

}  // namespace lumora
