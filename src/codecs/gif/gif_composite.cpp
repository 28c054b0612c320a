// GifLoadComposited: frame N of an animation as a player shows it, and the
// codec-shape entry points of the reader.
//
// A player draws frames 0, 1, ... N one over the other. The file is walked
// once: frames are decoded as the walk reaches them and drawn on a canvas,
// so loading frame N costs one pass over the file plus the N + 1 frames,
// however many frames the file holds.

#include <algorithm>
#include <cstring>

#include "codecs/gif/gif.h"
#include "codecs/gif/gif_container.h"
#include "codecs/gif/gif_read_internal.h"
#include "imageio/checked.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// A logical screen larger than this is not believed when the frames do not
// need it: no real animation draws on 8192 x 8192 pixels, and a hostile
// header would otherwise make a 30-byte file allocate gigabytes of canvas.
constexpr uint64_t kGifMaxScreenPixels = uint64_t{1} << 26;

constexpr int kDisposeToBackground = 2;

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
};

TRect Clip(TRect r, int width, int height) {
  r.Left = std::clamp(r.Left, 0, width);
  r.Right = std::clamp(r.Right, r.Left, width);
  r.Top = std::clamp(r.Top, 0, height);
  r.Bottom = std::clamp(r.Bottom, r.Top, height);
  return r;
}

void FillRect(TLmBitmap& canvas, TRect r, TLmRGBTriple color, uint8_t alpha) {
  r = Clip(r, canvas.Width(), canvas.Height());
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint8_t* row = canvas.ScanLine(y);
    for (int x = r.Left; x < r.Right; ++x) std::memcpy(row + 3 * x, &color, 3);
  }
  TLmBitmap& a = canvas.AlphaChannel();
  for (int y = r.Top; y < r.Bottom; ++y) std::fill(a.ScanLine(y) + r.Left, a.ScanLine(y) + r.Right, alpha);
}

// Grows the canvas to at least width x height: the new area gets the
// background colour, opaque.
void Enlarge(TLmBitmap& canvas, int width, int height, TLmRGBTriple background) {
  const int oldWidth = canvas.Width(), oldHeight = canvas.Height();
  if (oldWidth >= width && oldHeight >= height) return;
  if (!canvas.Resize(std::max(oldWidth, width), std::max(oldHeight, height))) throw ELmOutOfMemory("GIF canvas");
  FillRect(canvas, {oldWidth, 0, canvas.Width(), canvas.Height()}, background, 255);
  FillRect(canvas, {0, oldHeight, oldWidth, canvas.Height()}, background, 255);
}

// Draws the frame at (left, top) blended by its alpha channel, so that its
// transparent pixels leave the canvas as it was; the canvas alpha becomes
// the larger of the two.
void DrawFrame(TLmBitmap& canvas, TLmBitmap& frame, int left, int top) {
  const TRect r = Clip({left, top, left + frame.Width(), top + frame.Height()}, canvas.Width(), canvas.Height());
  if (r.Left >= r.Right || r.Top >= r.Bottom) return;
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(frame.Width()));
  std::vector<uint8_t> alpha(static_cast<size_t>(frame.Width()), 255);
  for (int y = r.Top; y < r.Bottom; ++y) {
    const int fy = y - top;
    PixelRowToBGR(frame.PixelFormat(), frame.ScanLine(fy), bgr.data(), frame.Width(), frame.Palette(),
                  frame.PaletteLength());
    if (frame.HasAlphaChannel()) {
      const uint8_t* a = frame.AlphaChannel().ScanLine(fy);
      std::copy(a, a + frame.Width(), alpha.begin());
    }
    uint8_t* dst = canvas.ScanLine(y);
    for (int x = r.Left; x < r.Right; ++x) {
      const int fx = x - left;
      const int a = alpha[fx];
      if (a == 0) continue;
      for (int c = 0; c < 3; ++c) {
        dst[3 * x + c] = static_cast<uint8_t>((bgr[3 * fx + c] * a + dst[3 * x + c] * (255 - a) + 127) / 255);
      }
    }
    uint8_t* canvasAlpha = canvas.AlphaChannel().ScanLine(y);
    for (int x = r.Left; x < r.Right; ++x) canvasAlpha[x] = std::max(canvasAlpha[x], alpha[x - left]);
  }
}

class TCompositor {
 public:
  TCompositor(const TGifScreen& screen, TIOParamsVals& params) : params_(params) {
    const uint64_t screenPixels = uint64_t(screen.Width) * uint64_t(screen.Height);
    if (screenPixels <= kGifMaxScreenPixels) {
      screenWidth_ = screen.Width;
      screenHeight_ = screen.Height;
    }
  }

  // Draws the frame just decoded (nullptr: a frame without pixels). False
  // (aborting set) when the canvas cannot be had.
  bool Add(TLmBitmap* frame, TIOProgress& progress) {
    const int frameWidth = frame ? frame->Width() : 0;
    const int frameHeight = frame ? frame->Height() : 0;
    const int needWidth = std::max(screenWidth_, frameWidth);
    const int needHeight = std::max(screenHeight_, frameHeight);
    const TLmRGBTriple background = params_.GifBackgroundColor;

    if (previousDisposal_ == kDisposeToBackground && !canvas_.IsEmpty())
      FillRect(canvas_, previousRect_, background, 0);
    if (canvas_.IsEmpty()) {
      if (!AcceptImageSize(needWidth, needHeight, 24, progress) || !canvas_.Allocate(needWidth, needHeight, pf24RGB)) {
        progress.Abort();
        return false;
      }
      FillRect(canvas_, {0, 0, needWidth, needHeight}, background, 0);
    } else if (canvas_.Width() < needWidth || canvas_.Height() < needHeight) {
      if (!AcceptImageSize(needWidth, needHeight, 24, progress)) return false;
      Enlarge(canvas_, needWidth, needHeight, background);
    }
    const int left = params_.GifFrameLeft, top = params_.GifFrameTop;
    if (frame) DrawFrame(canvas_, *frame, left, top);

    previousRect_ = {left, top, left + frameWidth, top + frameHeight};
    previousDisposal_ = params_.GifDisposal;
    // From here on the parameters describe the composite.
    params_.GifDisposal = kDisposeToBackground;
    params_.GifFrameLeft = 0;
    params_.GifFrameTop = 0;
    return true;
  }

  TLmBitmap& Canvas() { return canvas_; }

 private:
  TIOParamsVals& params_;
  int screenWidth_ = 0, screenHeight_ = 0;
  TLmBitmap canvas_;
  TRect previousRect_;
  int previousDisposal_ = 0;
};

}  // namespace

int GifLoadComposited(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  const int wanted = params.GifImageIndex;
  // Frame 0 reports the frame reader's progress; a later frame reports the
  // share of frames done, and the frame reader keeps quiet.
  TIOProgress quiet;
  TIOProgress& frameProgress = wanted == 0 ? progress : quiet;

  frameProgress.ReportPercent(0);
  if (progress.Aborting()) return 0;
  TGifFileScan scan;
  if (!GifReadHeader(stream, scan, progress, params)) return 0;
  const int64_t blocksStart = stream.Position();

  // The frame count decides whether frames are composited at all, so count first.
  TGifFileScan counting;
  GifWalkBlocks(stream, counting);
  const int frameCount = counting.FrameCount;
  stream.SetPosition(blocksStart);

  TCompositor compositor(scan.Screen, params);
  TLmBitmap frame;
  TLmPixelFormat frameFormat = pfNone;
  bool shown = false;
  GifWalkBlocks(stream, scan, [&](int index, const TGifFrameEntry& entry) {
    if (index > wanted || progress.Aborting()) return false;
    std::unique_ptr<TLmMask> mask;
    frame.FreeImage();
    const TGifFrameOutcome outcome =
        GifDecodeFrame(stream, scan.Screen, entry, frame, false, mask, false, frameProgress, params);
    if (quiet.Aborting()) progress.Abort();
    if (outcome == TGifFrameOutcome::kStop) return false;
    const bool hasPixels = outcome == TGifFrameOutcome::kDecoded;
    if (hasPixels) {
      frameFormat = frame.PixelFormat();
      if (mask) frame.SetAlphaFromMask(mask.get());
    }
    if (frameCount > 1) {
      if (!compositor.Add(hasPixels ? &frame : nullptr, progress)) return false;
      shown = true;
      if (frameFormat == pfNone) frameFormat = pf24RGB;
    } else {
      shown = hasPixels;
    }
    if (wanted > 0) progress.ReportPercent(static_cast<int>(int64_t{index} * 100 / frameCount));
    return !progress.Aborting() && index + 1 < frameCount && index != wanted;
  });

  // The counting walk saw every comment; this one may have stopped early.
  GifAppendComments(params, std::move(counting.Comments));
  GifStoreFrameCount(params, frameCount);
  params.GifImageIndex = wanted;
  if (progress.Aborting()) return frameCount;
  if (!shown) {
    progress.Abort();  // no frame, or an empty one: nothing to show
    return frameCount;
  }
  if (frameCount > 1) {
    compositor.Canvas().SwapTo(bitmap);
    bitmap.SetPixelFormat(frameFormat);
    params.Width = params.OriginalWidth = bitmap.Width();
    params.Height = params.OriginalHeight = bitmap.Height();
  } else {
    frame.SwapTo(bitmap);
  }
  if (wanted == 0) progress.ReportPercent(100);
  return frameCount;
}

void ReadGif(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  if (paramsOnly) {
    std::unique_ptr<TLmMask> mask;
    GifReadFrame(stream, bitmap, true, mask, true, progress, params);
    return;
  }
  GifLoadComposited(stream, bitmap, params, progress);
}

std::string DescribeGif(const TIOParamsVals& params) { return params.GifInterlaced ? " Interlaced" : ""; }

bool GifLoadedBackground(const TIOParamsVals& params, TLmColor& background) {
  background = (params.GifHasTransparency ? params.GifTransparentColor : params.GifBackgroundColor).ToColor();
  return true;
}

}  // namespace lumora
