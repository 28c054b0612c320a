// TImageIO: loads and saves images. It chooses the codec for a file or
// stream (by content, or by extension), runs it with a progress context,
// records the outcome in Aborting and Params, and tells its attached view
// and its handlers when the work is done.
//
//   TImageIO io;                          // owns its bitmap
//   io.LoadImage(path);
//   if (io.Aborting) ...                  // the file could not be read
//   io.Bitmap() ... io.Params.Width, io.Params.BmpVersion ...
//   io.SaveImage(other);                  // format by extension
//
// Every load and save ends with progress 100 and exactly one OnFinishWork,
// on the failure paths too. Exceptions leave only for the medium (a file
// that cannot be opened or created, a failing stream) and after the finish.
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imageio/bitmap.h"
#include "imageio/filetypes.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"

namespace lumora {

class TLmStream;

// Messages a Windows view receives from asynchronous I/O (posted to its
// window by its TIOAttachedView implementation).
inline constexpr unsigned kIOMessageRefresh = 8024;
inline constexpr unsigned kIOMessageProgress = 8027;   // percent in the first parameter
inline constexpr unsigned kIOMessageFinishWork = 8028;

// What TImageIO needs from the view it is attached to. The view implements
// it; on Windows the Post* methods post the messages above to its window, so
// portable code never sees a window handle. A view that goes away detaches
// itself first (SetAttachedView(nullptr)).
class TIOAttachedView {
 public:
  virtual ~TIOAttachedView() = default;
  virtual TLmBitmap& ViewBitmap() = 0;
  virtual TLmColor ViewBackground() const = 0;
  virtual void SetViewBackground(TLmColor color) = 0;
  virtual void SetViewDpi(int dpiX, int dpiY) = 0;
  // Repaint and recompute the layout after a load (UI thread).
  virtual void UpdateView() = 0;
  // Whether the view has a parent window to post to (worker threads post
  // instead of calling).
  virtual bool HasParentWindow() const = 0;
  virtual void PostRefresh() = 0;
  virtual void PostProgress(int percent) = 0;
  virtual void PostFinishWork() = 0;
};

class TImageIO {
 public:
  TImageIO();                             // with a bitmap of its own
  explicit TImageIO(TLmBitmap& bitmap);   // on a caller's bitmap (not owned)
  ~TImageIO();                            // waits for running worker threads
  TImageIO(const TImageIO&) = delete;
  TImageIO& operator=(const TImageIO&) = delete;

  // ---- State ---------------------------------------------------------------

  TIOParamsVals Params;
  // Outcome of the last operation: false = success. Setting it while a load
  // runs cancels the load.
  std::atomic<bool> Aborting{false};
  // Why the last operation failed (Kind None after a success).
  const TIOFailure& LastFailure() const { return lastFailure_; }
  // A flag of the caller's that, once set, cancels this object's operations
  // (for loads run by another object's worker threads); not owned, may be null.
  void SetCancelFlag(const std::atomic<bool>* flag) { outsideCancel_ = flag; }
  // Operations run on their own worker thread (TLmIOThread) and return at once.
  bool AsyncMode = false;
  // Streams written by the TIFF, PCX and JPEG writers carry a 12-byte header.
  bool StreamHeaders = false;
  // After a load, resample so that both resolutions become equal.
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;

  std::function<void(TImageIO& sender, int percent)> OnProgress;
  std::function<void(TImageIO& sender)> OnFinishWork;

  TLmBitmap& Bitmap() { return *bitmap_; }
  TIOAttachedView* AttachedView() const { return view_; }
  // The view's bitmap becomes the target; nullptr goes back to an own bitmap.
  void SetAttachedView(TIOAttachedView* view);
  TLmColor Background() const;
  void SetBackground(TLmColor color);
  bool NativePixelFormat() const { return Params.NativePixelFormat; }
  void SetNativePixelFormat(bool on) { Params.NativePixelFormat = on; }

  // ---- Loading ---------------------------------------------------------------

  // By content, falling back to the extension when the content is unknown.
  void LoadImage(const std::filesystem::path& name);
  void LoadImageByExtension(const std::filesystem::path& name);
  void LoadImageAs(const std::filesystem::path& name, TFileTypeId fileType);
  // From the stream's position. In AsyncMode the stream must outlive the work.
  void LoadImageFromStream(TLmStream& stream);
  void LoadImageFromStreamAs(TLmStream& stream, TFileTypeId fileType);

  // Parameters only: Params is filled, the bitmap is untouched. FileType
  // is 0 when the read failed; FileName is always the name.
  void ReadParams(const std::filesystem::path& name);
  void ReadParamsAs(const std::filesystem::path& name, TFileTypeId fileType);
  void ReadParamsFromStream(TLmStream& stream);
  void ReadParamsFromStreamAs(TLmStream& stream, TFileTypeId fileType);

  // Images in the file, by its extension: multi-image formats count theirs,
  // other registered formats hold 1; 0 for an unknown extension or a failure.
  int CountImages(const std::filesystem::path& name);

  // ---- Saving ----------------------------------------------------------------

  // Format by the extension; an empty name does nothing; an extension no
  // writer takes sets Aborting and creates no file.
  void SaveImage(const std::filesystem::path& name);
  void SaveImageAs(const std::filesystem::path& name, TFileTypeId fileType);
  void SaveImageToStreamAs(TLmStream& stream, TFileTypeId fileType);

  // ---- Information -----------------------------------------------------------

  // "Windows Bitmap (BMP) ver.3": the display name, the first extension and
  // the format's suffix for the last load; empty for an unknown FileType.
  std::string FileTypeDescription() const;

  // ---- Threads ---------------------------------------------------------------

  // Waits until no worker thread of this object runs; with `abort` the
  // running and queued operations are cancelled (they end with Aborting set
  // and the reason Cancelled).
  void WaitThreads(bool abort);
  int RunningThreads() const;

 private:
  struct TWorker;
  class TFinishGuard;

  // Hands `operation` to a worker thread when AsyncMode asks for it;
  // answers false when the caller must run it here.
  bool RunAsync(std::function<void()> operation);
  bool IsWorkerThread() const;
  void ReapFinishedWorkers();

  void LoadFile(const std::filesystem::path& name, TFileTypeId fileType);
  void LoadStream(TLmStream& stream, TFileTypeId fileType, TFinishGuard& finish);
  void RunReader(TLmStream& stream, TFileTypeId fileType, bool paramsOnly, TIOProgress& progress);
  void ReadParamsStream(TLmStream& stream, TFileTypeId fileType);
  void SaveFile(const std::filesystem::path& name, TFileTypeId fileType);
  void SaveStream(TLmStream& stream, TFileTypeId fileType);
  void WriteStream(TLmStream& stream, TFileTypeId fileType, TIOProgress& progress);
  void SaveExternal(const std::filesystem::path& name, const struct TLmFileFormatInfo& format);
  void AdjustDpi();
  void UpdateAfterLoad();
  void DoProgress(int percent);
  // Sets Aborting with a reason of the I/O object's own.
  void Fail(TIOFailureKind kind, std::string_view text);
  // The progress context of one operation, reset to success.
  TIOProgress BeginOperation(bool reportProgress);
  // Records the outcome of the operation that `progress` ran.
  void EndOperation(const TIOProgress& progress);
  void DoFinishWork();
  bool PostsToView() const;

  std::unique_ptr<TLmBitmap> ownBitmap_;  // owned when we made the bitmap
  TLmBitmap* bitmap_;                     // the target: ownBitmap_ or a caller's/view's (not owned)
  TIOAttachedView* view_ = nullptr;       // not owned; detaches itself before it goes
  TLmColor background_ = 0;
  TIOFailure lastFailure_;
  // Set by WaitThreads(true) while it waits: every operation that runs
  // meanwhile stops, and none resets it (Aborting is reset by each start).
  std::atomic<bool> cancel_{false};
  const std::atomic<bool>* outsideCancel_ = nullptr;  // not owned

  mutable std::mutex threadsLock_;
  std::condition_variable threadsDone_;
  std::list<std::unique_ptr<TWorker>> workers_;  // guarded by threadsLock_
};

}  // namespace lumora
