// TImageMView: the thumbnail grid of the viewer's second page.
//
// Items are cells laid out row by row; each has a file name, a text drawn
// under its thumbnail and, once loaded, the thumbnail and the full size of
// the file's image. Thumbnails are loaded when their cell first needs
// painting, on at most ThreadPoolSize worker threads, each with a TImageIO
// of its own; a worker hands its result to the window thread through a
// posted message, so items are only ever touched on the window's thread.
// The visible cells come first; behind them LookAhead items on each side of
// the view are loaded in the background so that scrolling finds them ready.
// Thumbnails farther from the view than that are dropped again, which keeps
// the memory of a grid of any length bounded.
//
// The workers live until StopWorkers (the viewer's teardown) ends them and
// waits for them. While the library is being unloaded nothing may wait for
// a thread to end (that needs the loader's lock, which the unloading
// holds): the workers are then told to park instead, each signalling, in
// the same call that parks it for good, that it will run no more code of
// the library; the unloading waits only for that.
//
// OnImageSelect runs only for selections made by user input (mouse, keys),
// also when the item was selected already; the program's own
// SetSelectedItem never raises it.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/control.h"

namespace lumora {

enum class TGridStoreType { gsImage, gsThumb };
enum class TSelectionStyle { ssInvert, ssACD };
enum class TWallPaperStyle { woNone, woStretch, woTile };

// Mouse actions of the grid (a set).
enum TMultiMouseInteract : unsigned {
  mmiScroll = 1u << 0,
  mmiSelect = 1u << 1,
};

class TImageMView : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
  };
  explicit TImageMView(const CreateArgs& args);
  // Stops the workers (StopWorkers); results still on their way are dropped.
  ~TImageMView() override;

  // Ends the loading: queued jobs are dropped, loads in progress are asked
  // to stop, and the call waits until every worker has ended (parked, once
  // ForbidWaiting was called). Later painting starts new workers.
  void StopWorkers();
  // The library is being unloaded: from now on StopWorkers parks the
  // workers instead of waiting for them to end.
  static void ForbidWaiting();

  // Items whose thumbnail has arrived (loaded or failed), and how many of
  // them lie in the visible part of the grid, out of VisibleCount.
  int LoadedCount() const;
  int VisibleLoadedCount() const;
  int VisibleCount() const;
  // Registered window message answered by the grid's window, for programs
  // that only see windows (the stand-in Lister, benchmarks): wParam 0 gives
  // LoadedCount, 1 ImageCount, 2 VisibleLoadedCount, 3 VisibleCount.
  static UINT CountMessage();

  TGridStoreType StoreType = TGridStoreType::gsThumb;
  int HorizBorder = 4;
  int VertBorder = 4;
  int UpperGap = 0;
  int BottomGap = 0;
  // -1: as many columns as fit the client width.
  int GridWidth = -1;
  unsigned MouseInteract = mmiScroll | mmiSelect;
  int SelectionWidth = 2;
  COLORREF SelectionColor = RGB(255, 0, 0);
  TSelectionStyle SelectionStyle = TSelectionStyle::ssInvert;
  int ThumbnailsBorderWidth = 0;
  COLORREF ThumbnailsBorderColor = RGB(0, 0, 0);
  bool ThumbnailsInternalBorder = false;
  COLORREF ThumbnailsInternalBorderColor = RGB(0, 0, 0);
  TWallPaperStyle WallPaperStyle = TWallPaperStyle::woNone;
  // Whether a JPEG's own EXIF thumbnail may stand in for the image when
  // the thumbnail size is at most 200 x 200.
  bool EnableExifThumbnail = true;
  // Items on each side of the visible ones whose thumbnails are loaded (and
  // kept) in the background.
  int LookAhead = 0;

  int ThumbWidth() const { return thumbWidth_; }
  int ThumbHeight() const { return thumbHeight_; }
  // A new size drops the loaded thumbnails (they are made again at it).
  void SetThumbWidth(int width);
  void SetThumbHeight(int height);

  // Number of worker threads loading thumbnails at once. The value is kept
  // as set (it is a stored setting); the pool uses it clamped to 1..64.
  int ThreadPoolSize() const { return threadPoolSize_; }
  void SetThreadPoolSize(int size) { threadPoolSize_ = size; }

  // ---- Items ---------------------------------------------------------------
  int ImageCount() const { return static_cast<int>(items_.size()); }
  // Suspends layout and painting while above zero; the unlock that brings
  // the counter to zero lays out and repaints.
  void LockPaint() { ++lockCount_; }
  void UnlockPaint();
  void Clear();
  // An empty item at the end; its index.
  int AppendImage();
  void DeleteImage(int index);
  void SetImageFileName(int index, const std::wstring& fileName);
  std::wstring ImageFileName(int index) const;
  void SetImageBottomText(int index, const std::wstring& text);
  std::wstring ImageBottomText(int index) const;
  // Full size of the item's image; 0 until its thumbnail has been loaded.
  int ImageOriginalWidth(int index) const;
  int ImageOriginalHeight(int index) const;
  // Whether the item's thumbnail has arrived (loaded or failed).
  bool ImageLoaded(int index) const;
  // Drops the item's thumbnail so that it is loaded again; repaints.
  void UpdateImage(int index);

  // ---- Selection and geometry ----------------------------------------------
  int SelectedItem() const { return selected_; }
  // Out-of-range indices are ignored; OnImageSelect does not run.
  void SetSelectedItem(int index);
  // Cell rectangle of an item in client coordinates.
  RECT ImageRect(int index) const;
  // Top of the item's cell in grid coordinates (independent of scrolling).
  int ImageY(int index) const;
  bool IsVisible(int index) const;
  // The item whose cell holds the client point; -1 for none.
  int ImageAt(int x, int y) const;
  // Selects the item under the client point as a click would, OnImageSelect
  // included (for a click the grid did not see itself, like the right button's).
  void SelectAt(int x, int y) { SelectByUser(ImageAt(x, y)); }
  int Columns() const;
  int ViewY() const { return viewY_; }
  void SetViewY(int y);  // clamped to 0 .. MaxViewY
  int MaxViewY() const;

  std::function<void(TImageMView& sender, int index)> OnImageSelect;
  std::function<void(TImageMView& sender)> OnDblClick;
  std::function<void(TImageMView& sender, TMouseButton button, TShiftState shift, int x, int y)> OnMouseDown;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& client) override;
  void Resized(int width, int height) override;
  void KeyDown(WORD key, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  bool MouseWheel(int delta, TShiftState shift, POINT client) override;
  void Scrolled(int bar, int code) override;

 private:
  struct TItem {
    unsigned id = 0;  // stays with the item while indices shift
    std::wstring fileName;
    std::wstring bottomText;
    enum class TState { Empty, Queued, Done } state = TState::Empty;
    int thumbW = 0, thumbH = 0;  // size of `pixels` (24-bit, top-down, rows padded to 4)
    std::vector<uint8_t> pixels;
    int originalW = 0, originalH = 0;
  };
  struct TJob {
    unsigned id;
    std::wstring fileName;
    int width, height;
    bool exifThumbnail;
  };
  struct TResult {
    unsigned id;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    int originalW = 0, originalH = 0;
  };
  // What the window thread and the workers share, guarded by `lock`.
  struct TPool {
    TPool();
    ~TPool();
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE wake;
    std::deque<TJob> jobs;
    std::vector<TResult> results;
    std::vector<std::atomic<bool>*> running;  // Aborting flags of the loads in progress
    int idle = 0;                             // workers waiting for a job
    bool stopping = false;
    bool park = false;  // stopping for the library's unloading: park, do not end
    HWND window = nullptr;
  };
  class TPoolLock;
  struct TWorker {
    HANDLE thread = nullptr;  // owned
    HANDLE parked = nullptr;  // owned: set by the worker as it parks
  };
  struct TWorkerStart {
    std::shared_ptr<TPool> pool;
    HANDLE parked;
  };

  // Items [first, last) whose rows reach into the client area.
  struct TRange {
    int first = 0, last = 0;
    bool operator==(const TRange&) const = default;
  };

  static DWORD WINAPI WorkerThread(void* start);
  // Returns when the pool stops; parks the thread for good when it stops
  // for the library's unloading.
  static void Work(TPool& pool, HANDLE parked);
  static TResult LoadThumbnail(const TJob& job, TPool& pool);
  static void Park(HANDLE parked);
  void StartWorkers(int count);
  int PoolLimit() const;
  TRange VisibleRange() const;
  // Re-plans the loading when the view moved or the items changed since
  // the last plan.
  void QueueWanted();
  void DropFarThumbnails(int keepFirst, int keepLast);
  void TakeResults();
  void DropThumbnails();
  void Relayout();
  void SelectByUser(int index);
  void ScrollIntoView(int index);
  int CellHeight() const { return UpperGap + thumbHeight_ + BottomGap; }
  int IndexOfId(unsigned id) const;

  std::vector<TItem> items_;
  unsigned nextId_ = 1;
  int lockCount_ = 0;
  int selected_ = -1;
  int viewY_ = 0;
  int thumbWidth_ = 100;
  int thumbHeight_ = 100;
  int threadPoolSize_ = 10;
  // The view the current loading plan was made for; planDirty_ forces a new one.
  TRange planned_;
  bool planDirty_ = true;
  // Dragging with the left button scrolls (mmiScroll).
  bool dragging_ = false;
  bool dragMoved_ = false;
  POINT dragStart_{};
  int dragStartViewY_ = 0;
  std::shared_ptr<TPool> pool_;
  std::vector<TWorker> workers_;
};

}  // namespace lumora
