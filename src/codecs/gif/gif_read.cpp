// GifReadFrame: one frame of a GIF into a bitmap and a transparency mask.

#include <algorithm>
#include <new>

#include "codecs/gif/gif.h"
#include "codecs/gif/gif_container.h"
#include "codecs/gif/gif_read_internal.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// A frame that is not bilevel and wider or higher than this is only believed
// when at least kGifMinBytesForHugeFrame bytes follow its descriptor.
constexpr int kGifHugeFrameSide = 65000;
constexpr int64_t kGifMinBytesForHugeFrame = 2000;

TLmRGBTriple ToTriple(const TGifRgb& c) { return TLmRGBTriple::FromRGB(c.Red, c.Green, c.Blue); }

// A frame with neither a local nor a global table: a grey ramp over the size
// its descriptor declares (black and white for two entries).
TGifColorTable GreyRamp(int sizeExponent) {
  TGifColorTable table;
  table.SizeExponent = sizeExponent;
  const int last = table.Count() - 1;
  for (int i = 0; i <= last; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / last);
    table.Entries[i] = {level, level, level};
  }
  return table;
}

bool IsBlackWhite(const TGifColorTable& table) {
  return table.Count() == 2 && table.Entries[0] == TGifRgb{0, 0, 0} && table.Entries[1] == TGifRgb{255, 255, 255};
}

void FillRows(TLmBitmap& bitmap, const std::vector<uint8_t>& indices, const TGifColorTable& table, TLmMask* mask,
              int transparentIndex) {
  const int width = bitmap.Width();
  const TLmPixelFormat format = bitmap.PixelFormat();
  if (format == pf8p) {
    TLmRGBTriple palette[256];
    for (int i = 0; i < table.Count(); ++i) palette[i] = ToTriple(table.Entries[i]);
    bitmap.SetPalette(palette, table.Count());
  }
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* src = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* dst = bitmap.ScanLine(y);
    switch (format) {
      case pf8p:
        std::copy(src, src + width, dst);
        break;
      case pf1g:
        std::fill(dst, dst + bitmap.RowLen(), 0);
        for (int x = 0; x < width; ++x) {
          if (src[x] == 1) dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        break;
      default:
        for (int x = 0; x < width; ++x) {
          const TGifRgb& c = table.Entries[src[x]];
          dst[3 * x] = c.Blue;
          dst[3 * x + 1] = c.Green;
          dst[3 * x + 2] = c.Red;
        }
        break;
    }
    if (mask) {
      uint8_t* m = mask->ScanLine(y);
      for (int x = 0; x < width; ++x) {
        if (src[x] == transparentIndex) m[x] = 0;
      }
    }
  }
}

}  // namespace

TGifFrameOutcome GifDecodeFrame(TLmStream& stream, const TGifScreen& screen, const TGifFrameEntry& frame,
                                TLmBitmap& bitmap, bool ignoreTransparency, std::unique_ptr<TLmMask>& mask,
                                bool paramsOnly, TIOProgress& progress, TIOParamsVals& params) {
  mask.reset();  // a mask belongs to the frame that built it
  progress.ReportPercent(30);
  if (progress.Aborting()) return TGifFrameOutcome::kStop;

  TGifColorTable table = frame.LocalTablePosition >= 0 ? frame.ReadLocalTable(stream) : screen.GlobalTable;
  if (!table.Present) table = GreyRamp(frame.Descriptor.Packed & 7);
  const TGifDescriptor& d = frame.Descriptor;
  const TGifControl& control = frame.Control;

  params.GifTransparentColor = ToTriple(table.Entries[control.TransparentIndex]);
  params.GifFrameLeft = d.Left;
  params.GifFrameTop = d.Top;
  params.Width = params.OriginalWidth = d.Width;
  params.Height = params.OriginalHeight = d.Height;
  params.GifDelay = control.Delay;
  params.GifHasTransparency = control.HasTransparency();
  params.GifInterlaced = d.Interlaced();
  params.GifDisposal = static_cast<uint8_t>(control.Disposal());
  params.BitsPerSample = table.SizeExponent + 1;
  params.ColorMap.resize(table.Count());
  for (int i = 0; i < table.Count(); ++i) params.ColorMap[i] = ToTriple(table.Entries[i]);

  if (paramsOnly) return TGifFrameOutcome::kDecoded;

  const bool bilevel = IsBlackWhite(table);
  const TLmPixelFormat format = bilevel ? pf1g : params.NativePixelFormat ? pf8p : pf24RGB;
  if (d.Width == 0 || d.Height == 0) {
    bitmap.FreeImage();
    return TGifFrameOutcome::kEmpty;
  }
  stream.SetPosition(frame.DataPosition);
  if ((!bilevel && (d.Width > kGifHugeFrameSide || d.Height > kGifHugeFrameSide) &&
       stream.BytesLeft() < kGifMinBytesForHugeFrame) ||
      !GifFrameIsPlausible(frame) || !AcceptImageSize(d.Width, d.Height, PixelFormatBits(format), progress)) {
    progress.Abort();
    return TGifFrameOutcome::kStop;
  }

  std::vector<uint8_t> indices;
  try {
    indices.assign(static_cast<size_t>(d.Width) * static_cast<size_t>(d.Height), 0);
  } catch (const std::bad_alloc&) {
    return TGifFrameOutcome::kStop;  // no memory for the frame: keep what was counted
  }
  const TGifLzwDecoder decoder = params.GifLzwDecoder ? params.GifLzwDecoder : GifLzwExpand;
  decoder(stream, d.Height, d.Width, d.Interlaced(), indices);
  if (stream.Position() == frame.DataPosition) {
    progress.Abort();
    return TGifFrameOutcome::kStop;
  }
  progress.ReportPercent(70);
  if (progress.Aborting()) return TGifFrameOutcome::kStop;

  bitmap.RemoveAlphaChannel();
  if (!bitmap.Allocate(d.Width, d.Height, format)) {
    progress.Abort();
    return TGifFrameOutcome::kStop;
  }
  if (control.HasTransparency() && !ignoreTransparency) {
    mask = std::make_unique<TLmMask>();
    if (!mask->Allocate(d.Width, d.Height, 8)) {
      progress.Abort();
      mask.reset();
      return TGifFrameOutcome::kStop;
    }
    mask->Fill(255);
  }
  FillRows(bitmap, indices, table, mask.get(), control.HasTransparency() ? control.TransparentIndex : -1);
  if (mask && mask->ScanOpacity()) mask.reset();  // the transparent index is not used
  return TGifFrameOutcome::kDecoded;
}

bool GifReadHeader(TLmStream& stream, TGifFileScan& scan, TIOProgress& progress, TIOParamsVals& params) {
  if (!GifReadScreen(stream, scan.Screen)) {
    progress.Abort();
    return false;
  }
  const TGifScreen& s = scan.Screen;
  params.GifVersion = s.Version;
  params.GifScreenWidth = s.Width;
  params.GifScreenHeight = s.Height;
  params.GifAspectRatio = s.AspectRatio;
  params.SetDpi(kDefaultDpi, kDefaultDpi);
  params.SamplesPerPixel = 1;
  if (s.GlobalTable.Present) params.GifBackgroundColor = ToTriple(s.GlobalTable.Entries[s.BackgroundIndex]);
  if (stream.BytesLeft() == 0) {
    progress.Abort();
    return false;
  }
  return true;
}

void GifStoreFrameCount(TIOParamsVals& params, int count) {
  params.ImageCount = count;
  params.GifImageCount = count;
}

void GifAppendComments(TIOParamsVals& params, std::vector<std::string>&& comments) {
  for (std::string& c : comments) params.GifComments.push_back(std::move(c));
}

int GifReadFrame(TLmStream& stream, TLmBitmap& bitmap, bool ignoreTransparency, std::unique_ptr<TLmMask>& mask,
                 bool paramsOnly, TIOProgress& progress, TIOParamsVals& params) {
  progress.ReportPercent(0);
  if (progress.Aborting()) return 0;
  TGifFileScan scan;
  if (!GifReadHeader(stream, scan, progress, params)) return 0;

  const int wanted = params.GifImageIndex;
  GifWalkBlocks(stream, scan, [&](int index, const TGifFrameEntry& frame) {
    if (index != wanted) return true;
    return GifDecodeFrame(stream, scan.Screen, frame, bitmap, ignoreTransparency, mask, paramsOnly, progress,
                          params) != TGifFrameOutcome::kStop;
  });
  GifAppendComments(params, std::move(scan.Comments));
  GifStoreFrameCount(params, scan.FrameCount);
  if (!progress.Aborting()) progress.ReportPercent(100);
  return scan.FrameCount;
}

}  // namespace lumora
