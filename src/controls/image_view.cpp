#include "controls/image_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "controls/win_util.h"
#include "draw/dib_surface.h"
#include "draw/gdi.h"
#include "imageio/colorconv.h"

namespace lumora {

namespace {

constexpr int kLineScroll = 20;        // pixels per scroll-bar arrow click
constexpr double kWheelStep = 1.25;    // zoom factor per wheel notch
constexpr double kMinZoom = 0.1;       // percent; keeps the extent computable
constexpr double kMaxZoom = 100000.0;

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Source rows of the bitmap as blue, green, red bytes, already blended over
// the background, for the columns first .. last. Keeps the last two rows:
// zooming in reads each row many times, the bilinear filter two at a time.
class TSourceRows {
 public:
  TSourceRows(const TLmBitmap& bitmap, int first, int last, COLORREF background)
      : bitmap_(bitmap),
        first_(first),
        count_(last - first + 1),
        background_{GetBValue(background), GetGValue(background), GetRValue(background)} {
    // pf1g packs eight pixels in a byte: start converting at a byte boundary.
    start_ = bitmap.PixelFormat() == pf1g ? first & ~7 : first;
    raw_.resize(static_cast<size_t>(last - start_ + 1) * 3);
    for (auto& slot : slots_) slot.bgr.resize(static_cast<size_t>(count_) * 3);
  }

  const uint8_t* Row(int y) {
    for (int i = 0; i < 2; ++i) {
      if (slots_[i].y != y) continue;
      next_ = 1 - i;  // the other slot is now the older one
      return slots_[i].bgr.data();
    }
    Slot& slot = slots_[next_];
    next_ = 1 - next_;
    slot.y = y;
    Convert(y, slot.bgr.data());
    return slot.bgr.data();
  }

 private:
  struct Slot {
    int y = -1;
    std::vector<uint8_t> bgr;
  };

  void Convert(int y, uint8_t* out) {
    const int bits = bitmap_.BitCount();
    const uint8_t* src = bitmap_.ScanLine(y) + static_cast<size_t>(start_) * bits / 8;
    const int width = static_cast<int>(raw_.size() / 3);
    PixelRowToBGR(bitmap_.PixelFormat(), src, raw_.data(), width, bitmap_.Palette(), bitmap_.PaletteLength());
    std::copy_n(raw_.data() + static_cast<size_t>(first_ - start_) * 3, static_cast<size_t>(count_) * 3, out);
    if (!bitmap_.HasAlphaChannel()) return;
    const uint8_t* alpha = const_cast<TLmBitmap&>(bitmap_).AlphaChannel().ScanLine(y) + first_;
    for (int x = 0; x < count_; ++x) {
      const unsigned a = alpha[x];
      if (a == 255) continue;
      for (int c = 0; c < 3; ++c) {
        uint8_t& v = out[x * 3 + c];
        v = static_cast<uint8_t>((v * a + background_[c] * (255 - a) + 127) / 255);
      }
    }
  }

  const TLmBitmap& bitmap_;
  int first_;
  int count_;
  int start_;
  uint8_t background_[3];
  std::vector<uint8_t> raw_;
  Slot slots_[2];
  int next_ = 0;  // the slot to fill next: the one used least recently
};

// Where destination pixel d of an extent of `extent` pixels samples a source
// of `size` pixels: the source pixel and, for the bilinear filter, the weight
// (0..256) of the next one.
struct TSample {
  int index;
  int next;
  int weight;
};

TSample NearestSample(int64_t d, int64_t extent, int size) {
  int index = static_cast<int>((2 * d + 1) * size / (2 * extent));
  index = std::clamp(index, 0, size - 1);
  return TSample{index, index, 0};
}

TSample LinearSample(int64_t d, int64_t extent, int size) {
  // Pixel centres line up: (d + 0.5) * size / extent - 0.5, in 1/256 steps.
  int64_t pos = ((2 * d + 1) * size * 256) / (2 * extent) - 128;
  pos = std::clamp<int64_t>(pos, 0, static_cast<int64_t>(size - 1) * 256);
  int index = static_cast<int>(pos >> 8);
  int next = std::min(index + 1, size - 1);
  return TSample{index, next, static_cast<int>(pos & 255)};
}

}  // namespace

TImageView::TImageView(const CreateArgs& args) {
  TCreateArgs create;
  create.parent = args.parent;
  CreateHandle(L"LumoraImageView", create);
  io_.SetAttachedView(this);
  io_.OnProgress = [this](TImageIO&, int percent) {
    if (OnProgress) OnProgress(*this, percent);
  };
  io_.OnFinishWork = [this](TImageIO&) {
    if (OnFinishWork) OnFinishWork(*this);
  };
}

TImageView::~TImageView() {
  io_.WaitThreads(true);
  io_.SetAttachedView(nullptr);
}

// ---- Zoom ----------------------------------------------------------------------

void TImageView::SetZoom(double percent) {
  if (percent > 0) ChangeZoom(percent, percent);
}

void TImageView::SetZoomX(double percent) {
  if (percent > 0) ChangeZoom(percent, zoomY_);
}

void TImageView::SetZoomY(double percent) {
  if (percent > 0) ChangeZoom(zoomX_, percent);
}

double TImageView::FitZoom() const {
  if (bitmap_.IsEmpty()) return 100;
  double byWidth = 100.0 * Width() / bitmap_.Width();
  double byHeight = 100.0 * Height() / bitmap_.Height();
  return std::min(byWidth, byHeight);
}

void TImageView::Fit() {
  double zoom = FitZoom();
  if (zoom > 0) ChangeZoom(zoom, zoom);
}

void TImageView::ChangeZoom(double zoomX, double zoomY) {
  zoomX = std::clamp(zoomX, kMinZoom, kMaxZoom);
  zoomY = std::clamp(zoomY, kMinZoom, kMaxZoom);
  RECT client = ClientRect();
  POINT middle{client.right / 2, client.bottom / 2};
  // Bitmap point under the middle of the view, kept there.
  RECT image = ImageRect();
  double bitmapX = (middle.x - image.left) * 100.0 / zoomX_;
  double bitmapY = (middle.y - image.top) * 100.0 / zoomY_;
  zoomX_ = zoomX;
  zoomY_ = zoomY;
  UpdateScrollBars();
  SetViewXY(static_cast<int>(std::lround(bitmapX * zoomX_ / 100.0)) - client.right / 2,
            static_cast<int>(std::lround(bitmapY * zoomY_ / 100.0)) - client.bottom / 2);
  UpdateScrollBars();
  Invalidate();
}

// ---- Geometry ------------------------------------------------------------------

int TImageView::ExtentX() const { return static_cast<int>(std::lround(bitmap_.Width() * zoomX_ / 100.0)); }
int TImageView::ExtentY() const { return static_cast<int>(std::lround(bitmap_.Height() * zoomY_ / 100.0)); }

int TImageView::MaxViewX() const { return std::max(0, ExtentX() - static_cast<int>(ClientRect().right)); }
int TImageView::MaxViewY() const { return std::max(0, ExtentY() - static_cast<int>(ClientRect().bottom)); }

RECT TImageView::ImageRect() const {
  RECT client = ClientRect();
  int width = ExtentX();
  int height = ExtentY();
  int left = width < client.right ? (client.right - width) / 2 : -viewX_;
  int top = height < client.bottom ? (client.bottom - height) / 2 : -viewY_;
  return RECT{left, top, left + width, top + height};
}

POINT TImageView::BitmapToClient(POINT p) const {
  RECT image = ImageRect();
  return POINT{image.left + static_cast<LONG>(std::lround(p.x * zoomX_ / 100.0)),
               image.top + static_cast<LONG>(std::lround(p.y * zoomY_ / 100.0))};
}

POINT TImageView::ClientToBitmap(POINT p) const {
  RECT image = ImageRect();
  return POINT{static_cast<LONG>(std::floor((p.x - image.left) * 100.0 / zoomX_)),
               static_cast<LONG>(std::floor((p.y - image.top) * 100.0 / zoomY_))};
}

// ---- Scrolling -----------------------------------------------------------------

void TImageView::SetViewX(int x) { SetViewXY(x, viewY_); }
void TImageView::SetViewY(int y) { SetViewXY(viewX_, y); }

void TImageView::SetViewXY(int x, int y) {
  x = std::clamp(x, 0, MaxViewX());
  y = std::clamp(y, 0, MaxViewY());
  if (x == viewX_ && y == viewY_) return;
  viewX_ = x;
  viewY_ = y;
  UpdateScrollBars();
  Invalidate();
}

void TImageView::UpdateScrollBars() {
  if (!Handle() || updatingScrollBars_) return;
  updatingScrollBars_ = true;
  // Showing or hiding one bar changes the room for the other: two rounds.
  for (int round = 0; round < 2; ++round) {
    RECT client = ClientRect();
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, ExtentX() - 1);
    info.nPage = static_cast<UINT>(std::max(0L, client.right));  // a page as large as the range hides the bar
    viewX_ = std::clamp(viewX_, 0, MaxViewX());
    info.nPos = viewX_;
    SetScrollInfo(Handle(), SB_HORZ, &info, TRUE);
    client = ClientRect();
    info.nMax = std::max(0, ExtentY() - 1);
    info.nPage = static_cast<UINT>(std::max(0L, client.bottom));
    viewY_ = std::clamp(viewY_, 0, MaxViewY());
    info.nPos = viewY_;
    SetScrollInfo(Handle(), SB_VERT, &info, TRUE);
  }
  viewX_ = std::clamp(viewX_, 0, MaxViewX());
  viewY_ = std::clamp(viewY_, 0, MaxViewY());
  updatingScrollBars_ = false;
}

void TImageView::Scrolled(int bar, int code) {
  RECT client = ClientRect();
  int page = bar == SB_HORZ ? client.right : client.bottom;
  int position = bar == SB_HORZ ? viewX_ : viewY_;
  switch (code) {
    case SB_LINEUP: position -= kLineScroll; break;
    case SB_LINEDOWN: position += kLineScroll; break;
    case SB_PAGEUP: position -= page; break;
    case SB_PAGEDOWN: position += page; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = bar == SB_HORZ ? MaxViewX() : MaxViewY(); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(Handle(), bar, &info);
      position = info.nTrackPos;
      break;
    }
    default: return;
  }
  if (bar == SB_HORZ) {
    SetViewX(position);
  } else {
    SetViewY(position);
  }
}

void TImageView::Resized(int width, int height) {
  UpdateScrollBars();
  Invalidate();
}

// ---- Appearance ----------------------------------------------------------------

void TImageView::SetBackground(COLORREF colour) {
  if (background_ == colour) return;
  background_ = colour;
  Invalidate();
}

void TImageView::SetZoomFilter(TResampleFilter filter) {
  if (zoomFilter_ == filter) return;
  zoomFilter_ = filter;
  Invalidate();
}

void TImageView::Fill(COLORREF colour) {
  bitmap_.Fill(SwapRedBlue(colour));
  Update();
}

void TImageView::Update() {
  ++generation_;
  Invalidate();
}

// ---- Selection -----------------------------------------------------------------

void TImageView::Select(RECT r) {
  r.left = std::clamp<LONG>(r.left, 0, bitmap_.Width());
  r.right = std::clamp<LONG>(r.right, 0, bitmap_.Width());
  r.top = std::clamp<LONG>(r.top, 0, bitmap_.Height());
  r.bottom = std::clamp<LONG>(r.bottom, 0, bitmap_.Height());
  if (r.right <= r.left || r.bottom <= r.top) {
    Deselect();
    return;
  }
  hasSelection_ = true;
  selection_ = r;
  Invalidate();
}

void TImageView::Deselect() {
  if (!hasSelection_) return;
  hasSelection_ = false;
  selection_ = RECT{0, 0, 0, 0};
  Invalidate();
}

// ---- Painting ------------------------------------------------------------------

void TImageView::Paint(HDC dc, const RECT& client) {
  DrawImage(dc, client);
  if (hasSelection_) DrawSelection(dc);
  if (OnDrawCanvas) OnDrawCanvas(*this, dc, client);
}

void TImageView::DrawImage(HDC dc, const RECT& client) {
  TViewKey key{client, ImageRect(), zoomFilter_, background_, generation_};
  if (!viewCache_ || !key.SameAs(viewCacheKey_)) {
    RenderView(client);
    viewCacheKey_ = key;
  }
  viewCache_->Draw(dc, 0, 0);
}

bool TImageView::TViewKey::SameAs(const TViewKey& other) const {
  return SameRect(client, other.client) && SameRect(image, other.image) && filter == other.filter &&
         background == other.background && generation == other.generation;
}

void TImageView::RenderView(const RECT& client) {
  if (!viewCache_) viewCache_ = std::make_unique<TDibSurface>(client.right, client.bottom);
  viewCache_->SetWidth(client.right);
  viewCache_->SetHeight(client.bottom);
  viewCache_->Fill(background_);
  if (bitmap_.IsEmpty() || viewCache_->IsEmpty()) return;
  const RECT image = ImageRect();
  RECT visible;
  if (!IntersectRect(&visible, &image, &client)) return;
  const int64_t extentX = image.right - image.left;
  const int64_t extentY = image.bottom - image.top;
  const bool linear = zoomFilter_ == TResampleFilter::rfFastLinear;
  auto sample = [linear](int64_t d, int64_t extent, int size) {
    return linear ? LinearSample(d, extent, size) : NearestSample(d, extent, size);
  };

  std::vector<TSample> columns;
  columns.reserve(static_cast<size_t>(visible.right - visible.left));
  for (int x = visible.left; x < visible.right; ++x) columns.push_back(sample(x - image.left, extentX, bitmap_.Width()));
  const int first = columns.front().index;
  const int last = columns.back().next;
  for (TSample& c : columns) {
    c.index -= first;
    c.next -= first;
  }
  TSourceRows rows(bitmap_, first, last, background_);
  int previousIndex = -1, previousNext = -1, previousWeight = -1;
  uint8_t* previousOut = nullptr;
  for (int y = visible.top; y < visible.bottom; ++y) {
    TSample row = sample(y - image.top, extentY, bitmap_.Height());
    uint8_t* out = viewCache_->Row(y) + static_cast<size_t>(visible.left) * 4;
    if (previousOut && row.index == previousIndex && row.next == previousNext && row.weight == previousWeight) {
      std::copy_n(previousOut, columns.size() * 4, out);  // zoomed in: the same source row again
      continue;
    }
    const uint8_t* upper = rows.Row(row.index);
    const uint8_t* lower = row.weight ? rows.Row(row.next) : upper;
    uint8_t* p = out;
    for (const TSample& c : columns) {
      const uint8_t* a = upper + c.index * 3;
      if (!linear || (c.weight == 0 && row.weight == 0)) {
        p[0] = a[0];
        p[1] = a[1];
        p[2] = a[2];
      } else {
        const uint8_t* b = upper + c.next * 3;
        const uint8_t* d = lower + c.index * 3;
        const uint8_t* e = lower + c.next * 3;
        const int wx = c.weight, wy = row.weight;
        for (int k = 0; k < 3; ++k) {
          int top = a[k] * (256 - wx) + b[k] * wx;
          int bottom = d[k] * (256 - wx) + e[k] * wx;
          p[k] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
        }
      }
      p[3] = 0;
      p += 4;
    }
    previousIndex = row.index;
    previousNext = row.next;
    previousWeight = row.weight;
    previousOut = out;
  }
  GdiFlush();
}

void TImageView::DrawSelection(HDC dc) const {
  POINT topLeft = BitmapToClient(POINT{selection_.left, selection_.top});
  POINT bottomRight = BitmapToClient(POINT{selection_.right, selection_.bottom});
  RECT frame{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  DrawFocusRect(dc, &frame);
}

// ---- Mouse ---------------------------------------------------------------------

void TImageView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != TMouseButton::mbLeft) return;
  SetFocus();
  actionStart_ = POINT{x, y};
  if (mouseInteract_ & miSelect) {
    POINT p = ClientToBitmap(actionStart_);
    actionOrigin_ = POINT{std::clamp<LONG>(p.x, 0, bitmap_.Width()), std::clamp<LONG>(p.y, 0, bitmap_.Height())};
    Deselect();
    mouseAction_ = TMouseAction::Selecting;
  } else if (mouseInteract_ & miScroll) {
    actionOrigin_ = POINT{viewX_, viewY_};
    mouseAction_ = TMouseAction::Scrolling;
  } else {
    return;
  }
  SetCapture(Handle());
}

void TImageView::MouseMove(TShiftState shift, int x, int y) {
  switch (mouseAction_) {
    case TMouseAction::Scrolling:
      SetViewXY(actionOrigin_.x - (x - actionStart_.x), actionOrigin_.y - (y - actionStart_.y));
      break;
    case TMouseAction::Selecting: {
      POINT p = ClientToBitmap(POINT{x, y});
      Select(RECT{std::min(actionOrigin_.x, p.x), std::min(actionOrigin_.y, p.y), std::max(actionOrigin_.x, p.x),
                  std::max(actionOrigin_.y, p.y)});
      break;
    }
    case TMouseAction::None:
      break;
  }
}

void TImageView::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft) EndMouseAction();
}

void TImageView::EndMouseAction() {
  if (mouseAction_ == TMouseAction::None) return;
  mouseAction_ = TMouseAction::None;
  if (GetCapture() == Handle()) ReleaseCapture();
}

void TImageView::DblClick() {
  if (OnDblClick) OnDblClick(*this);
}

bool TImageView::MouseWheel(int delta, TShiftState shift, POINT client) {
  if (bitmap_.IsEmpty() || delta == 0) return true;
  double factor = std::pow(kWheelStep, delta / static_cast<double>(WHEEL_DELTA));
  POINT anchor = ClientToBitmap(client);
  double oldZoom = zoomX_;
  ChangeZoom(zoomX_ * factor, zoomY_ * factor);
  // Keep the image point under the pointer where it was.
  SetViewXY(static_cast<int>(std::lround(anchor.x * zoomX_ / 100.0)) - client.x,
            static_cast<int>(std::lround(anchor.y * zoomY_ / 100.0)) - client.y);
  if (zoomX_ > oldZoom && OnZoomIn) OnZoomIn(*this, zoomX_);
  if (zoomX_ < oldZoom && OnZoomOut) OnZoomOut(*this, zoomX_);
  return true;
}

// ---- The attached I/O object ------------------------------------------------------

TLmColor TImageView::ViewBackground() const { return SwapRedBlue(background_); }

void TImageView::SetViewBackground(TLmColor color) { SetBackground(SwapRedBlue(color)); }

void TImageView::SetViewDpi(int dpiX, int dpiY) {
  dpiX_ = dpiX;
  dpiY_ = dpiY;
}

void TImageView::UpdateView() {
  ++generation_;
  viewX_ = 0;
  viewY_ = 0;
  if (hasSelection_) Select(selection_);  // clipped to the new image
  if (autoShrink_) {
    double zoom = std::min(100.0, FitZoom());
    zoomX_ = zoom;
    zoomY_ = zoom;
  }
  UpdateScrollBars();
  Invalidate();
}

bool TImageView::HasParentWindow() const { return Handle() && GetParent(Handle()); }

void TImageView::PostRefresh() { PostMessageW(Handle(), kIOMessageRefresh, 0, 0); }
void TImageView::PostProgress(int percent) { PostMessageW(Handle(), kIOMessageProgress, static_cast<WPARAM>(percent), 0); }
void TImageView::PostFinishWork() { PostMessageW(Handle(), kIOMessageFinishWork, 0, 0); }

LRESULT TImageView::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case kIOMessageRefresh:
      UpdateView();
      return 0;
    case kIOMessageProgress:
      if (OnProgress) OnProgress(*this, static_cast<int>(wParam));
      return 0;
    case kIOMessageFinishWork:
      if (OnFinishWork) OnFinishWork(*this);
      return 0;
    case WM_CAPTURECHANGED:
      mouseAction_ = TMouseAction::None;
      return 0;
  }
  return TControl::WndProc(msg, wParam, lParam);
}

}  // namespace lumora
