// TImageView: shows one TLmBitmap with zoom, scrolling and a selection.
//
// The view owns its bitmap and a TImageIO attached to it, so loads and
// saves go straight to what is shown. Zoom is in percent (100 = one image
// pixel per screen pixel) and may differ between the two directions; the
// scroll position is in screen pixels of the zoomed image and is always
// kept within range. An image smaller than the view is centred.
//
// Events: OnProgress and OnFinishWork pass on those of the I/O object;
// OnZoomIn and OnZoomOut run only when the view changes the zoom itself
// (mouse wheel), never when the program sets it; OnDrawCanvas runs after
// each paint so the owner can draw on top; OnDblClick on a double click.
#pragma once

#include <functional>
#include <memory>

#include "controls/control.h"
#include "imageio/bitmap.h"
#include "imageio/imageio.h"

namespace lumora {

// Resampling used when a zoomed image is drawn.
enum class TResampleFilter { rfNone, rfFastLinear };

// What dragging with the left mouse button does (a set).
enum TMouseInteractItem : unsigned {
  miScroll = 1u << 0,  // moves the image
  miSelect = 1u << 1,  // draws a selection rectangle
};

class TDibSurface;

class TImageView : public TControl, public TIOAttachedView {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
  };
  explicit TImageView(const CreateArgs& args);
  ~TImageView() override;

  TImageIO& IO() { return io_; }
  TLmBitmap& Bitmap() { return bitmap_; }
  const TLmBitmap& Bitmap() const { return bitmap_; }

  // ---- Zoom ----------------------------------------------------------------
  double Zoom() const { return zoomX_; }  // the horizontal zoom
  double ZoomX() const { return zoomX_; }
  double ZoomY() const { return zoomY_; }
  // Values of 0 or less are ignored. The point in the middle of the view
  // stays in place.
  void SetZoom(double percent);
  void SetZoomX(double percent);
  void SetZoomY(double percent);
  // The zoom at which the whole image fits the view's outer size; 100 for
  // an empty image (nothing to fit).
  double FitZoom() const;
  // Sets both zooms to FitZoom.
  void Fit();

  // While on, a newly loaded image larger than the view is shown reduced to
  // fit it (and a smaller one at 100 percent).
  bool AutoShrink() const { return autoShrink_; }
  void SetAutoShrink(bool on) { autoShrink_ = on; }

  // ---- Scrolling -----------------------------------------------------------
  int ViewX() const { return viewX_; }
  int ViewY() const { return viewY_; }
  // Clamped to 0 .. MaxViewX / MaxViewY.
  void SetViewX(int x);
  void SetViewY(int y);
  void SetViewXY(int x, int y);
  int MaxViewX() const;
  int MaxViewY() const;

  // Size of the zoomed image in screen pixels.
  int ExtentX() const;
  int ExtentY() const;
  // Where the image is drawn, in client coordinates.
  RECT ImageRect() const;
  POINT BitmapToClient(POINT bitmapPoint) const;
  POINT ClientToBitmap(POINT clientPoint) const;

  // ---- Appearance and interaction ------------------------------------------
  COLORREF Background() const { return background_; }
  void SetBackground(COLORREF colour);
  TResampleFilter ZoomFilter() const { return zoomFilter_; }
  void SetZoomFilter(TResampleFilter filter);
  unsigned MouseInteract() const { return mouseInteract_; }
  void SetMouseInteract(unsigned items) { mouseInteract_ = items; }
  bool EnableInteractionHints = false;

  // ---- Selection (bitmap coordinates, right and bottom exclusive) ----------
  bool HasSelection() const { return hasSelection_; }
  RECT SelectionRect() const { return selection_; }
  // Clipped to the image; an empty result removes the selection.
  void Select(RECT bitmapRect);
  void Deselect();

  // Sets every pixel of the bitmap to the colour and repaints.
  void Fill(COLORREF colour);
  // Repaints from the bitmap's pixels. The view keeps the picture it shows
  // ready for the screen and renews it on its own after loads, zoom and
  // scroll changes; code that changes the bitmap's pixels in place calls this.
  void Update();

  std::function<void(TImageView& sender, int percent)> OnProgress;
  std::function<void(TImageView& sender)> OnFinishWork;
  std::function<void(TImageView& sender, double zoom)> OnZoomIn;
  std::function<void(TImageView& sender, double zoom)> OnZoomOut;
  std::function<void(TImageView& sender, HDC dc, const RECT& rect)> OnDrawCanvas;
  std::function<void(TImageView& sender)> OnDblClick;

  // ---- TIOAttachedView -----------------------------------------------------
  TLmBitmap& ViewBitmap() override { return bitmap_; }
  TLmColor ViewBackground() const override;
  void SetViewBackground(TLmColor color) override;
  void SetViewDpi(int dpiX, int dpiY) override;
  // A new image arrived: back to the top-left corner, AutoShrink applied,
  // scroll bars and picture renewed.
  void UpdateView() override;
  bool HasParentWindow() const override;
  void PostRefresh() override;
  void PostProgress(int percent) override;
  void PostFinishWork() override;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& client) override;
  void Resized(int width, int height) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  bool MouseWheel(int delta, TShiftState shift, POINT client) override;
  void Scrolled(int bar, int code) override;

 private:
  void ChangeZoom(double zoomX, double zoomY);
  void UpdateScrollBars();
  void DrawImage(HDC dc, const RECT& client);
  void RenderView(const RECT& client);
  void DrawSelection(HDC dc) const;
  void EndMouseAction();

  TLmBitmap bitmap_;
  TImageIO io_;  // attached to this view; declared after bitmap_ so it goes first
  double zoomX_ = 100;
  double zoomY_ = 100;
  int viewX_ = 0;
  int viewY_ = 0;
  bool autoShrink_ = false;
  COLORREF background_ = GetSysColor(COLOR_BTNFACE);
  TResampleFilter zoomFilter_ = TResampleFilter::rfNone;
  unsigned mouseInteract_ = miScroll;
  int dpiX_ = 300;
  int dpiY_ = 300;

  bool hasSelection_ = false;
  RECT selection_{0, 0, 0, 0};

  enum class TMouseAction { None, Scrolling, Selecting } mouseAction_ = TMouseAction::None;
  POINT actionStart_{0, 0};     // client point where the drag began
  POINT actionOrigin_{0, 0};    // view position (scrolling) or bitmap point (selecting) at the start
  bool updatingScrollBars_ = false;

  // The visible part of the image, converted, blended over the background
  // and zoomed: one blit per paint, rebuilt only when what it shows changes.
  struct TViewKey {
    RECT client{0, 0, 0, 0};
    RECT image{0, 0, 0, 0};
    TResampleFilter filter = TResampleFilter::rfNone;
    COLORREF background = 0;
    unsigned generation = 0;
    bool SameAs(const TViewKey& other) const;
  };
  std::unique_ptr<TDibSurface> viewCache_;
  TViewKey viewCacheKey_;
  unsigned generation_ = 1;  // bumped when the bitmap's pixels change
};

}  // namespace lumora
