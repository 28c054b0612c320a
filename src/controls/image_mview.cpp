#include "controls/image_mview.h"

#include <algorithm>
#include <cstdlib>

#include "draw/gdi.h"
#include "imageio/imageio.h"
#include "imageio/thumbnail.h"

namespace lumora {

namespace {

// Posted by a worker when results are waiting; the window thread drains them.
constexpr UINT kThumbnailsReady = WM_APP + 0x31;
constexpr int kWheelStep = 60;
constexpr int kLineStep = 20;

int PaddedRow(int width) { return (width * 3 + 3) & ~3; }

}  // namespace

namespace {
// Set while the library is being unloaded: nothing may wait for a thread.
std::atomic<bool> g_waitingForbidden{false};
}  // namespace

TImageMView::TPool::TPool() {
  InitializeCriticalSection(&lock);
  InitializeConditionVariable(&wake);
}
TImageMView::TPool::~TPool() { DeleteCriticalSection(&lock); }

// The pool's lock for one scope.
class TImageMView::TPoolLock {
 public:
  explicit TPoolLock(TPool& pool) : pool_(pool) { EnterCriticalSection(&pool_.lock); }
  ~TPoolLock() { LeaveCriticalSection(&pool_.lock); }
  TPoolLock(const TPoolLock&) = delete;
  TPoolLock& operator=(const TPoolLock&) = delete;

 private:
  TPool& pool_;
};

TImageMView::TImageMView(const CreateArgs& args) : pool_(std::make_shared<TPool>()) {
  TCreateArgs create;
  create.parent = args.parent;
  create.style |= WS_VSCROLL | WS_TABSTOP;
  CreateHandle(L"LumoraImageMView", create);
  pool_->window = Handle();
}

TImageMView::~TImageMView() { StopWorkers(); }

void TImageMView::ForbidWaiting() { g_waitingForbidden = true; }

void TImageMView::StopWorkers() {
  const bool park = g_waitingForbidden;
  std::shared_ptr<TPool> old = pool_;
  {
    TPoolLock lock(*old);
    old->stopping = true;
    old->park = park;
    old->jobs.clear();
    old->results.clear();
    old->window = nullptr;
    for (std::atomic<bool>* aborting : old->running) *aborting = true;
  }
  WakeAllConditionVariable(&old->wake);
  // Workers started from now on share a fresh pool.
  pool_ = std::make_shared<TPool>();
  pool_->window = Handle();
  for (TItem& item : items_) {
    if (item.state == TItem::TState::Queued) item.state = TItem::TState::Empty;
  }
  planDirty_ = true;
  for (TWorker& worker : workers_) {
    if (park) {
      // Its loads are told to stop; the bound only guards against a load
      // that ignores that.
      WaitForSingleObject(worker.parked, 10000);
      // A parked thread and its handles stay: closing the event would not
      // matter, but the thread must never be woken.
      continue;
    }
    WaitForSingleObject(worker.thread, INFINITE);
    CloseHandle(worker.thread);
    CloseHandle(worker.parked);
  }
  workers_.clear();
}

int TImageMView::PoolLimit() const { return std::clamp(threadPoolSize_, 1, 64); }

int TImageMView::LoadedCount() const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(),
                                        [](const TItem& item) { return item.state == TItem::TState::Done; }));
}

int TImageMView::VisibleCount() const {
  TRange visible = VisibleRange();
  return visible.last - visible.first;
}

int TImageMView::VisibleLoadedCount() const {
  TRange visible = VisibleRange();
  int loaded = 0;
  for (int i = visible.first; i < visible.last; ++i) loaded += items_[i].state == TItem::TState::Done ? 1 : 0;
  return loaded;
}

UINT TImageMView::CountMessage() {
  static const UINT message = RegisterWindowMessageW(L"LumoraThumbnailCount");
  return message;
}

void TImageMView::SetThumbWidth(int width) {
  width = std::max(1, width);
  if (width == thumbWidth_) return;
  thumbWidth_ = width;
  DropThumbnails();
  Relayout();
}

void TImageMView::SetThumbHeight(int height) {
  height = std::max(1, height);
  if (height == thumbHeight_) return;
  thumbHeight_ = height;
  DropThumbnails();
  Relayout();
}

// ---- Items -----------------------------------------------------------------

void TImageMView::UnlockPaint() {
  if (lockCount_ > 0 && --lockCount_ == 0) Relayout();
}

void TImageMView::Clear() {
  {
    TPoolLock lock(*pool_);
    pool_->jobs.clear();
  }
  items_.clear();
  planDirty_ = true;
  selected_ = -1;
  viewY_ = 0;
  Relayout();
}

int TImageMView::AppendImage() {
  TItem item;
  item.id = nextId_++;
  items_.push_back(std::move(item));
  planDirty_ = true;
  Relayout();
  return ImageCount() - 1;
}

void TImageMView::DeleteImage(int index) {
  if (index < 0 || index >= ImageCount()) return;
  items_.erase(items_.begin() + index);
  if (selected_ >= ImageCount()) selected_ = ImageCount() - 1;
  planDirty_ = true;
  Relayout();
}

void TImageMView::SetImageFileName(int index, const std::wstring& fileName) {
  if (index < 0 || index >= ImageCount()) return;
  items_[index].fileName = fileName;
  UpdateImage(index);
}

std::wstring TImageMView::ImageFileName(int index) const {
  return index >= 0 && index < ImageCount() ? items_[index].fileName : std::wstring();
}

void TImageMView::SetImageBottomText(int index, const std::wstring& text) {
  if (index < 0 || index >= ImageCount()) return;
  items_[index].bottomText = text;
  if (lockCount_ == 0) Invalidate();
}

std::wstring TImageMView::ImageBottomText(int index) const {
  return index >= 0 && index < ImageCount() ? items_[index].bottomText : std::wstring();
}

int TImageMView::ImageOriginalWidth(int index) const {
  return index >= 0 && index < ImageCount() ? items_[index].originalW : 0;
}

int TImageMView::ImageOriginalHeight(int index) const {
  return index >= 0 && index < ImageCount() ? items_[index].originalH : 0;
}

bool TImageMView::ImageLoaded(int index) const {
  return index >= 0 && index < ImageCount() && items_[index].state == TItem::TState::Done;
}

void TImageMView::UpdateImage(int index) {
  if (index < 0 || index >= ImageCount()) return;
  TItem& item = items_[index];
  if (item.fileName.empty()) return;
  // A new id: a result still on its way for the old one is dropped.
  item.id = nextId_++;
  item.state = TItem::TState::Empty;
  item.pixels.clear();
  item.thumbW = item.thumbH = 0;
  planDirty_ = true;
  if (lockCount_ == 0) Invalidate();
}

void TImageMView::DropThumbnails() {
  {
    TPoolLock lock(*pool_);
    pool_->jobs.clear();
  }
  for (int i = 0; i < ImageCount(); ++i) {
    bool hadFile = !items_[i].fileName.empty();
    UpdateImage(i);
    if (hadFile) items_[i].originalW = items_[i].originalH = 0;
  }
}

int TImageMView::IndexOfId(unsigned id) const {
  for (int i = 0; i < ImageCount(); ++i)
    if (items_[i].id == id) return i;
  return -1;
}

// ---- Geometry ----------------------------------------------------------------

int TImageMView::Columns() const {
  if (GridWidth > 0) return GridWidth;
  RECT client{};
  GetClientRect(Handle(), &client);
  return std::max(1, static_cast<int>((client.right - HorizBorder) / (HorizBorder + thumbWidth_)));
}

int TImageMView::ImageY(int index) const {
  return VertBorder + (index / Columns()) * (CellHeight() + VertBorder);
}

RECT TImageMView::ImageRect(int index) const {
  int left = HorizBorder + (index % Columns()) * (thumbWidth_ + HorizBorder);
  int top = ImageY(index) - viewY_;
  return {left, top, left + thumbWidth_, top + CellHeight()};
}

bool TImageMView::IsVisible(int index) const {
  if (index < 0 || index >= ImageCount()) return false;
  RECT client{}, cell = ImageRect(index), common{};
  GetClientRect(Handle(), &client);
  return IntersectRect(&common, &client, &cell) != FALSE;
}

int TImageMView::ImageAt(int x, int y) const {
  POINT point{x, y};
  int rowHeight = CellHeight() + VertBorder;
  int first = std::max(0, (viewY_ + y - VertBorder) / rowHeight) * Columns();
  for (int i = first; i < ImageCount() && i < first + Columns(); ++i) {
    RECT cell = ImageRect(i);
    if (PtInRect(&cell, point)) return i;
  }
  return -1;
}

int TImageMView::MaxViewY() const {
  RECT client{};
  GetClientRect(Handle(), &client);
  int rows = (ImageCount() + Columns() - 1) / Columns();
  int total = VertBorder + rows * (CellHeight() + VertBorder);
  return std::max(0, total - static_cast<int>(client.bottom));
}

void TImageMView::SetViewY(int y) {
  y = std::clamp(y, 0, MaxViewY());
  if (y == viewY_) return;
  viewY_ = y;
  Relayout();
}

void TImageMView::Relayout() {
  if (lockCount_ > 0 || !Handle()) return;
  viewY_ = std::clamp(viewY_, 0, MaxViewY());
  RECT client{};
  GetClientRect(Handle(), &client);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMax = MaxViewY() + client.bottom - 1;
  info.nPage = client.bottom;
  info.nPos = viewY_;
  SetScrollInfo(Handle(), SB_VERT, &info, TRUE);
  Invalidate();
}

void TImageMView::Resized(int width, int height) { Relayout(); }

// ---- Selection -----------------------------------------------------------------

void TImageMView::SetSelectedItem(int index) {
  if (index < 0 || index >= ImageCount() || index == selected_) return;
  selected_ = index;
  if (lockCount_ == 0) Invalidate();
}

void TImageMView::ScrollIntoView(int index) {
  RECT client{}, cell = ImageRect(index);
  GetClientRect(Handle(), &client);
  if (cell.top < 0) {
    SetViewY(viewY_ + cell.top - VertBorder);
  } else if (cell.bottom > client.bottom) {
    SetViewY(viewY_ + cell.bottom - client.bottom + VertBorder);
  }
}

void TImageMView::SelectByUser(int index) {
  if (index < 0 || index >= ImageCount()) return;
  SetSelectedItem(index);
  ScrollIntoView(index);
  if (OnImageSelect) OnImageSelect(*this, index);
}

void TImageMView::KeyDown(WORD key, TShiftState shift) {
  if (ImageCount() == 0) return;
  int current = std::max(0, selected_);
  int columns = Columns();
  RECT client{};
  GetClientRect(Handle(), &client);
  int pageRows = std::max(1, static_cast<int>(client.bottom) / (CellHeight() + VertBorder));
  int target = current;
  switch (key) {
    case VK_LEFT: target = current - 1; break;
    case VK_RIGHT: target = current + 1; break;
    case VK_UP: target = current - columns; break;
    case VK_DOWN: target = current + columns; break;
    case VK_PRIOR: target = current - columns * pageRows; break;
    case VK_NEXT: target = current + columns * pageRows; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = ImageCount() - 1; break;
    default: return;
  }
  SelectByUser(std::clamp(target, 0, ImageCount() - 1));
}

void TImageMView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  SetFocus();
  if (button == TMouseButton::mbLeft && (MouseInteract & mmiSelect)) SelectByUser(ImageAt(x, y));
  if (button == TMouseButton::mbLeft && (MouseInteract & mmiScroll)) {
    dragging_ = true;
    dragMoved_ = false;
    dragStart_ = POINT{x, y};
    dragStartViewY_ = viewY_;
    SetCapture(Handle());
  }
  if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

void TImageMView::MouseMove(TShiftState shift, int x, int y) {
  if (!dragging_) return;
  // A click that wobbles a pixel or two is still a click, not a scroll.
  if (!dragMoved_ && std::abs(y - dragStart_.y) < GetSystemMetrics(SM_CYDRAG)) return;
  if (!dragMoved_) {
    dragMoved_ = true;
    ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
  }
  SetViewY(dragStartViewY_ - (y - dragStart_.y));
}

void TImageMView::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != TMouseButton::mbLeft || !dragging_) return;
  dragging_ = false;
  if (GetCapture() == Handle()) ReleaseCapture();
}

void TImageMView::DblClick() {
  if (OnDblClick) OnDblClick(*this);
}

bool TImageMView::MouseWheel(int delta, TShiftState shift, POINT client) {
  SetViewY(viewY_ - delta * kWheelStep / WHEEL_DELTA);
  return true;
}

void TImageMView::Scrolled(int bar, int code) {
  if (bar != SB_VERT) return;
  RECT client{};
  GetClientRect(Handle(), &client);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_TRACKPOS;
  GetScrollInfo(Handle(), SB_VERT, &info);
  switch (code) {
    case SB_LINEUP: SetViewY(viewY_ - kLineStep); break;
    case SB_LINEDOWN: SetViewY(viewY_ + kLineStep); break;
    case SB_PAGEUP: SetViewY(viewY_ - client.bottom); break;
    case SB_PAGEDOWN: SetViewY(viewY_ + client.bottom); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetViewY(info.nTrackPos); break;
    case SB_TOP: SetViewY(0); break;
    case SB_BOTTOM: SetViewY(MaxViewY()); break;
    default: break;
  }
}

// ---- Painting ----------------------------------------------------------------

void TImageMView::Paint(HDC dc, const RECT& client) {
  HBRUSH background = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &client, background);
  if (lockCount_ > 0) return;
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, Font());
  TRange visible = VisibleRange();
  for (int i = visible.first; i < visible.last; ++i) {
    RECT cell = ImageRect(i);
    if (cell.bottom < client.top || cell.top > client.bottom) continue;
    const TItem& item = items_[i];
    RECT frame{cell.left, cell.top + UpperGap, cell.right, cell.top + UpperGap + thumbHeight_};
    if (ThumbnailsBorderWidth > 0) {
      ScopedBrush border(CreateSolidBrush(ThumbnailsBorderColor));
      for (int k = 0; k < ThumbnailsBorderWidth; ++k) {
        RECT r{frame.left - k - 1, frame.top - k - 1, frame.right + k + 1, frame.bottom + k + 1};
        FrameRect(dc, &r, border.Get());
      }
    }
    if (item.state == TItem::TState::Done && !item.pixels.empty()) {
      int x = frame.left + (thumbWidth_ - item.thumbW) / 2;
      int y = frame.top + (thumbHeight_ - item.thumbH) / 2;
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = item.thumbW;
      info.bmiHeader.biHeight = -item.thumbH;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      SetDIBitsToDevice(dc, x, y, item.thumbW, item.thumbH, 0, 0, 0, item.thumbH, item.pixels.data(), &info,
                        DIB_RGB_COLORS);
      if (ThumbnailsInternalBorder) {
        ScopedBrush inner(CreateSolidBrush(ThumbnailsInternalBorderColor));
        RECT r{x - 1, y - 1, x + item.thumbW + 1, y + item.thumbH + 1};
        FrameRect(dc, &r, inner.Get());
      }
    }
    if (i == selected_ && SelectionWidth > 0) {
      ScopedBrush selection(CreateSolidBrush(SelectionColor));
      int outside = ThumbnailsBorderWidth;
      for (int k = 0; k < SelectionWidth; ++k) {
        RECT r{frame.left - outside - k - 1, frame.top - outside - k - 1, frame.right + outside + k + 1,
               frame.bottom + outside + k + 1};
        FrameRect(dc, &r, selection.Get());
      }
    }
    if (!item.bottomText.empty()) {
      RECT text{cell.left, frame.bottom + ThumbnailsBorderWidth + 2, cell.right, cell.bottom};
      DrawTextW(dc, item.bottomText.c_str(), static_cast<int>(item.bottomText.size()), &text,
                DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
  }
  SelectObject(dc, oldFont);
  QueueWanted();
}

// ---- Loading -------------------------------------------------------------------

TImageMView::TRange TImageMView::VisibleRange() const {
  RECT client{};
  GetClientRect(Handle(), &client);
  int rowHeight = CellHeight() + VertBorder;
  int firstRow = std::max(0, (viewY_ - VertBorder) / rowHeight);
  int lastRow = std::max(firstRow, (viewY_ + static_cast<int>(client.bottom) - VertBorder) / rowHeight);
  int columns = Columns();
  long long first = static_cast<long long>(firstRow) * columns;
  long long last = (static_cast<long long>(lastRow) + 1) * columns;
  return {static_cast<int>(std::min<long long>(first, ImageCount())),
          static_cast<int>(std::min<long long>(last, ImageCount()))};
}

void TImageMView::QueueWanted() {
  if (lockCount_ > 0 || !Handle()) return;
  TRange visible = VisibleRange();
  if (!planDirty_ && visible == planned_) return;
  planDirty_ = false;
  planned_ = visible;
  int lookAhead = std::max(0, LookAhead);
  int keepFirst = std::max(0, visible.first - lookAhead);
  int keepLast = static_cast<int>(std::min<long long>(ImageCount(), static_cast<long long>(visible.last) + lookAhead));
  DropFarThumbnails(keepFirst, keepLast);

  // Visible cells top-left first, then the items below the view (where
  // scrolling usually goes), then those above it, nearest first.
  std::vector<int> order;
  for (int i = visible.first; i < visible.last; ++i) order.push_back(i);
  for (int i = visible.last; i < keepLast; ++i) order.push_back(i);
  for (int i = visible.first - 1; i >= keepFirst; --i) order.push_back(i);

  int toStart = 0;
  {
    TPoolLock lock(*pool_);
    // Jobs not yet taken by a worker are planned anew: those of items that
    // left the view go back to Empty, the rest are queued in the new order.
    // Items whose job a worker holds stay Queued; their result will come.
    std::vector<unsigned> waiting;
    for (const TJob& job : pool_->jobs) waiting.push_back(job.id);
    std::sort(waiting.begin(), waiting.end());
    pool_->jobs.clear();
    for (TItem& item : items_) {
      if (item.state == TItem::TState::Queued && std::binary_search(waiting.begin(), waiting.end(), item.id))
        item.state = TItem::TState::Empty;
    }
    bool exifThumbnail = EnableExifThumbnail;
    for (int i : order) {
      TItem& item = items_[i];
      if (item.state != TItem::TState::Empty || item.fileName.empty()) continue;
      item.state = TItem::TState::Queued;
      pool_->jobs.push_back({item.id, item.fileName, thumbWidth_, thumbHeight_, exifThumbnail});
    }
    // New workers only for the jobs the idle ones cannot take, up to the pool size.
    int busy = static_cast<int>(workers_.size()) - pool_->idle;
    toStart = std::min(PoolLimit(), busy + static_cast<int>(pool_->jobs.size())) - static_cast<int>(workers_.size());
  }
  WakeAllConditionVariable(&pool_->wake);
  if (toStart > 0) StartWorkers(toStart);
}

void TImageMView::StartWorkers(int count) {
  for (int i = 0; i < count; ++i) {
    HANDLE parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!parked) return;
    auto start = std::make_unique<TWorkerStart>(TWorkerStart{pool_, parked});
    HANDLE thread = CreateThread(nullptr, 0, &TImageMView::WorkerThread, start.get(), 0, nullptr);
    if (!thread) {
      CloseHandle(parked);
      return;  // the jobs wait for the workers there are
    }
    (void)start.release();  // the worker owns it now
    workers_.push_back({thread, parked});
  }
}

void TImageMView::DropFarThumbnails(int keepFirst, int keepLast) {
  for (int i = 0; i < ImageCount(); ++i) {
    if (i >= keepFirst && i < keepLast) continue;
    TItem& item = items_[i];
    if (item.state != TItem::TState::Done) continue;
    // The full size stays: it was read from the file and is still right.
    item.state = TItem::TState::Empty;
    item.pixels = {};
    item.thumbW = item.thumbH = 0;
  }
}

DWORD WINAPI TImageMView::WorkerThread(void* param) {
  std::unique_ptr<TWorkerStart> start(static_cast<TWorkerStart*>(param));
  std::shared_ptr<TPool> pool = std::move(start->pool);
  HANDLE parked = start->parked;
  start.reset();
  Work(*pool, parked);
  return 0;
}

void TImageMView::Park(HANDLE parked) {
  // Signalling and starting the endless wait are one call: once the
  // unloading sees the signal, this thread runs no code of the library.
  // The event waited on is never set.
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (;;) SignalObjectAndWait(parked, never ? never : GetCurrentProcess(), INFINITE, FALSE);
}

void TImageMView::Work(TPool& pool, HANDLE parked) {
  for (;;) {
    TJob job;
    bool park = false;
    {
      TPoolLock lock(pool);
      ++pool.idle;
      while (!pool.stopping && pool.jobs.empty()) SleepConditionVariableCS(&pool.wake, &pool.lock, INFINITE);
      --pool.idle;
      if (pool.stopping) {
        if (!pool.park) return;
        park = true;
      } else {
        job = std::move(pool.jobs.front());
        pool.jobs.pop_front();
      }
    }
    if (park) Park(parked);
    TResult result = LoadThumbnail(job, pool);
    TPoolLock lock(pool);
    if (pool.stopping) continue;
    pool.results.push_back(std::move(result));
    if (pool.results.size() == 1 && pool.window) PostMessageW(pool.window, kThumbnailsReady, 0, 0);
  }
}

TImageMView::TResult TImageMView::LoadThumbnail(const TJob& job, TPool& pool) {
  TResult result;
  result.id = job.id;
  // StopWorkers cancels this load through its flag.
  std::atomic<bool> cancel{false};
  {
    TPoolLock lock(pool);
    if (pool.stopping) return result;
    pool.running.push_back(&cancel);
  }
  struct TUnlist {
    TPool& pool;
    std::atomic<bool>* flag;
    ~TUnlist() {
      TPoolLock lock(pool);
      pool.running.erase(std::remove(pool.running.begin(), pool.running.end(), flag), pool.running.end());
    }
  } unlist{pool, &cancel};
  TThumbnailRequest request;
  request.Width = job.width;
  request.Height = job.height;
  request.AllowEmbedded = job.exifThumbnail;
  request.Cancel = &cancel;
  TThumbnail thumbnail;
  // An unreadable file keeps an empty cell; the grid goes on.
  if (!lumora::LoadThumbnail(std::filesystem::path(job.fileName), request, thumbnail)) return result;
  const TLmBitmap& bitmap = thumbnail.Bitmap;
  const int w = bitmap.Width(), h = bitmap.Height();
  result.originalW = thumbnail.OriginalWidth;
  result.originalH = thumbnail.OriginalHeight;
  const int rowLen = PaddedRow(w);
  result.pixels.assign(static_cast<size_t>(rowLen) * h, 0);
  for (int y = 0; y < h; ++y)
    std::copy_n(thumbnail.Bitmap.ScanLine(y), static_cast<size_t>(w) * 3,
                result.pixels.data() + static_cast<size_t>(rowLen) * y);
  result.width = w;
  result.height = h;
  return result;
}

void TImageMView::TakeResults() {
  std::vector<TResult> results;
  {
    TPoolLock lock(*pool_);
    results.swap(pool_->results);
  }
  for (TResult& result : results) {
    int index = IndexOfId(result.id);
    if (index < 0) continue;  // cleared, deleted or refreshed meanwhile
    TItem& item = items_[index];
    item.state = TItem::TState::Done;
    item.pixels = std::move(result.pixels);
    item.thumbW = result.width;
    item.thumbH = result.height;
    item.originalW = result.originalW;
    item.originalH = result.originalH;
  }
  if (!results.empty() && lockCount_ == 0) Invalidate();
}

LRESULT TImageMView::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == CountMessage()) {
    switch (wParam) {
      case 0: return LoadedCount();
      case 1: return ImageCount();
      case 2: return VisibleLoadedCount();
      case 3: return VisibleCount();
      default: return -1;
    }
  }
  switch (msg) {
    case kThumbnailsReady:
      TakeResults();
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_CAPTURECHANGED:
      dragging_ = false;
      return TControl::WndProc(msg, wParam, lParam);
    default:
      return TControl::WndProc(msg, wParam, lParam);
  }
}

}  // namespace lumora
