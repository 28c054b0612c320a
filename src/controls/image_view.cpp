#include "controls/image_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

namespace {

constexpr int kLineScroll = 20;        // pixels per scroll-bar arrow click
constexpr double kWheelStep = 1.25;    // zoom factor per wheel notch
constexpr double kMinZoom = 0.1;       // percent; keeps the extent computable
constexpr double kMaxZoom = 100000.0;

// A BITMAPINFO with room for a full colour table.
struct TDibHeader {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

// Describes the bitmap's rows as a DIB; false for formats that need a
// conversion first.
bool DescribeAsDib(const TLmBitmap& bitmap, TDibHeader& dib) {
  dib = TDibHeader{};
  dib.header.biSize = sizeof(BITMAPINFOHEADER);
  dib.header.biWidth = bitmap.Width();
  dib.header.biPlanes = 1;
  dib.header.biCompression = BI_RGB;
  switch (bitmap.PixelFormat()) {
    case pf1g:
      dib.header.biBitCount = 1;
      dib.header.biClrUsed = 2;
      dib.colors[1] = RGBQUAD{255, 255, 255, 0};
      return true;
    case pf8g:
      dib.header.biBitCount = 8;
      dib.header.biClrUsed = 256;
      for (int i = 0; i < 256; ++i) {
        auto v = static_cast<BYTE>(i);
        dib.colors[i] = RGBQUAD{v, v, v, 0};
      }
      return true;
    case pf8p: {
      dib.header.biBitCount = 8;
      int count = std::min(bitmap.PaletteLength(), 256);
      dib.header.biClrUsed = static_cast<DWORD>(std::max(count, 1));
      for (int i = 0; i < count; ++i) {
        TLmRGBTriple c = bitmap.Palette()[i];
        dib.colors[i] = RGBQUAD{c.b, c.g, c.r, 0};
      }
      return true;
    }
    case pf24RGB:
      dib.header.biBitCount = 24;
      return true;
    case pf32RGB:
      dib.header.biBitCount = 32;
      return true;
    default:
      return false;
  }
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
  FillSolidRect(dc, client, background_);
  DrawImage(dc);
  if (hasSelection_) DrawSelection(dc);
  if (OnDrawCanvas) OnDrawCanvas(*this, dc, client);
}

void TImageView::DrawImage(HDC dc) const {
  if (bitmap_.IsEmpty()) return;
  TDibHeader dib;
  if (!DescribeAsDib(bitmap_, dib)) return;
  const int width = bitmap_.Width();
  const int height = bitmap_.Height();
  const auto rowLen = static_cast<ptrdiff_t>(bitmap_.RowLen());
  RECT image = ImageRect();
  SetStretchBltMode(dc, zoomFilter_ == TResampleFilter::rfFastLinear ? HALFTONE : COLORONCOLOR);
  SetBrushOrgEx(dc, 0, 0, nullptr);

  // One call when every row lies in one block, top-down or bottom-up.
  const uint8_t* first = bitmap_.ScanLine(0);
  ptrdiff_t step = height > 1 ? bitmap_.ScanLine(1) - first : rowLen;
  bool oneBlock = bitmap_.Location() != locFile && (step == rowLen || step == -rowLen);
  for (int y = 2; oneBlock && y < height; ++y) oneBlock = bitmap_.ScanLine(y) == first + step * y;
  if (oneBlock) {
    const uint8_t* lowest = step > 0 ? first : first + step * (height - 1);
    dib.header.biHeight = step > 0 ? -height : height;
    StretchDIBits(dc, image.left, image.top, image.right - image.left, image.bottom - image.top, 0, 0, width, height,
                  lowest, reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS, SRCCOPY);
    return;
  }
  // Rows that live apart (a temporary file): one row at a time, only those
  // that reach the view.
  RECT client = ClientRect();
  dib.header.biHeight = 1;
  for (int y = 0; y < height; ++y) {
    int top = image.top + static_cast<int>(std::lround(y * zoomY_ / 100.0));
    int bottom = image.top + static_cast<int>(std::lround((y + 1) * zoomY_ / 100.0));
    if (bottom <= top || bottom <= 0) continue;
    if (top >= client.bottom) break;
    StretchDIBits(dc, image.left, top, image.right - image.left, bottom - top, 0, 0, width, 1, bitmap_.ScanLine(y),
                  reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS, SRCCOPY);
  }
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
