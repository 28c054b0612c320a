#include "imageio/imageio.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "imageio/byteorder.h"
#include "imageio/formats.h"
#include "imageio/textutil.h"
#include "imageio/detect.h"
#include "imageio/errors.h"
#include "imageio/osfile.h"
#include "imageio/registry.h"
#include "imageio/resample.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// Readers that take their data in small pieces get a buffer of this size.
constexpr size_t kReadBufferSize = 8192;
// Size of the frame written before stream data when StreamHeaders is on:
// a 4-character tag, four zero bytes, the 32-bit little-endian data length.
constexpr size_t kStreamHeaderSize = 12;
// Resolutions below this are "not stored" and become the default.
constexpr int kMinUsableDpi = 2;

void RemovePartialFile(const std::filesystem::path& name) {
  std::error_code ignored;
  std::filesystem::remove(name, ignored);
}

}  // namespace

// One asynchronous operation (TLmIOThread).
struct TImageIO::TWorker {
  std::thread Thread;
  std::thread::id Id;  // set by the thread itself before the operation runs
  bool Done = false;   // guarded by threadsLock_
};

// Runs DoFinishWork exactly once per operation: explicitly at the normal
// end, or on the way out of an exception (which then also sets Aborting).
class TImageIO::TFinishGuard {
 public:
  explicit TFinishGuard(TImageIO& io) : io_(io), exceptions_(std::uncaught_exceptions()) {}
  ~TFinishGuard() {
    if (done_) return;
    if (std::uncaught_exceptions() > exceptions_) io_.Fail(TIOFailureKind::IOError, "the file or stream failed");
    try {
      io_.DoFinishWork();
    } catch (...) {
    }
  }
  void Finish() {
    if (done_) return;
    done_ = true;
    io_.DoFinishWork();
  }
  TFinishGuard(const TFinishGuard&) = delete;
  TFinishGuard& operator=(const TFinishGuard&) = delete;

 private:
  TImageIO& io_;
  int exceptions_;
  bool done_ = false;
};

TImageIO::TImageIO() : ownBitmap_(std::make_unique<TLmBitmap>()), bitmap_(ownBitmap_.get()) {
  Params.SetDefaults(bitmap_->Width(), bitmap_->Height());
}

TImageIO::TImageIO(TLmBitmap& bitmap) : bitmap_(&bitmap) {
  Params.SetDefaults(bitmap_->Width(), bitmap_->Height());
}

TImageIO::~TImageIO() { WaitThreads(false); }

void TImageIO::SetAttachedView(TIOAttachedView* view) {
  view_ = view;
  if (view) {
    bitmap_ = &view->ViewBitmap();
    ownBitmap_.reset();
  } else if (!ownBitmap_) {
    ownBitmap_ = std::make_unique<TLmBitmap>();
    bitmap_ = ownBitmap_.get();
  }
}

TLmColor TImageIO::Background() const { return view_ ? view_->ViewBackground() : background_; }

void TImageIO::SetBackground(TLmColor color) {
  if (view_)
    view_->SetViewBackground(color);
  else
    background_ = color;
}

// ---- Loading -------------------------------------------------------------------

void TImageIO::LoadImage(const std::filesystem::path& name) {
  if (RunAsync([this, name] { LoadImage(name); })) return;
  TFileTypeId type = DetectFileType(name, false);
  if (type != ftUnknown)
    LoadImageAs(name, type);
  else
    LoadImageByExtension(name);
}

void TImageIO::LoadImageByExtension(const std::filesystem::path& name) {
  if (RunAsync([this, name] { LoadImageByExtension(name); })) return;
  const TLmFileFormatInfo* format = name.empty() ? nullptr : FindFormatByExtension(ExtractExtension(name, true));
  if (!format) {
    // No name, or an extension nobody reads (web addresses and video are
    // not handled by this I/O layer).
    TFinishGuard finish(*this);
    Fail(TIOFailureKind::Unsupported, "no reader for this file type");
    return;
  }
  LoadImageAs(name, format->FileTypeId);
}

void TImageIO::LoadImageAs(const std::filesystem::path& name, TFileTypeId fileType) {
  if (RunAsync([this, name, fileType] { LoadImageAs(name, fileType); })) return;
  TFinishGuard finish(*this);
  Aborting = true;
  TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
  LoadStream(file, fileType, finish);
  Params.FileName = name;
  finish.Finish();
}

void TImageIO::LoadImageFromStream(TLmStream& stream) {
  if (RunAsync([this, &stream] { LoadImageFromStream(stream); })) return;
  TFileTypeId type = DetectStreamType(stream);
  LoadImageFromStreamAs(stream, type);
}

void TImageIO::LoadImageFromStreamAs(TLmStream& stream, TFileTypeId fileType) {
  if (RunAsync([this, &stream, fileType] { LoadImageFromStreamAs(stream, fileType); })) return;
  TFinishGuard finish(*this);
  LoadStream(stream, fileType, finish);
  finish.Finish();
}

void TImageIO::LoadStream(TLmStream& stream, TFileTypeId fileType, TFinishGuard&) {
  TIOProgress progress = BeginOperation(true);
  Params.ClearImageInfo();
  bitmap_->RemoveAlphaChannel(false);

  RunReader(stream, fileType, false, progress);
  EndOperation(progress);
  if (const TFormatDescriptor* codec = FindBuiltInFormat(fileType); codec && codec->LoadedBackground) {
    TLmColor background = 0;
    if (codec->LoadedBackground(Params, background)) SetBackground(background);
  }

  if (Params.DpiX < kMinUsableDpi) Params.SetDpi(kDefaultDpi, Params.DpiYExact);
  if (Params.DpiY < kMinUsableDpi) Params.SetDpi(Params.DpiXExact, kDefaultDpi);
  AdjustDpi();
  if (view_) view_->SetViewDpi(Params.DpiX, Params.DpiY);
  Params.FileName.clear();
  Params.FileType = fileType;
  UpdateAfterLoad();
}

void TImageIO::RunReader(TLmStream& stream, TFileTypeId fileType, bool paramsOnly, TIOProgress& progress) {
  if (const TFormatDescriptor* codec = FindBuiltInFormat(fileType); codec && codec->Read) {
    TLmStream* source = &stream;
    std::optional<TLmSubStream> framed;
    int64_t afterFrame = -1;
    if (StreamHeaders && codec->StreamHeaderTag) {
      uint8_t header[kStreamHeaderSize];
      if (!stream.ReadExact(header, sizeof header) || std::memcmp(header, codec->StreamHeaderTag, 4) != 0) {
        progress.Fail(TIOFailureKind::InvalidData, "stream header missing");
        return;
      }
      const int64_t dataStart = stream.Position();
      const int64_t length = std::min<int64_t>(ReadLE32(header + 8), stream.Size() - dataStart);
      framed.emplace(stream, dataStart, length);
      source = &*framed;
      afterFrame = dataStart + length;
    }
    if (codec->Flags & cfBufferedRead) {
      TLmBufferedReadStream buffered(*source, kReadBufferSize, /*relative=*/true);
      codec->Read(buffered, *bitmap_, Params, paramsOnly, progress);
    } else {
      codec->Read(*source, *bitmap_, Params, paramsOnly, progress);
    }
    if (afterFrame >= 0) stream.SetPosition(afterFrame);
    return;
  }
  const TLmFileFormatInfo* format = FindFormatByType(fileType);
  if (format && !format->BuiltIn && format->Reader) {
    format->Reader(stream, *bitmap_, Params, paramsOnly, progress);
    return;
  }
  progress.Fail(TIOFailureKind::Unsupported, "no reader for this file type");
}

void TImageIO::AdjustDpi() {
  if (!AutoAdjustDPI || Aborting || bitmap_->IsEmpty()) return;
  const int dpiX = Params.DpiX, dpiY = Params.DpiY;
  if (dpiX <= 0 || dpiY <= 0 || dpiX == dpiY) return;
  int width = bitmap_->Width(), height = bitmap_->Height();
  if (height < width) {
    height = static_cast<int>(static_cast<double>(height) / dpiY * dpiX);
    Params.SetDpi(Params.DpiXExact, Params.DpiXExact);
  } else {
    width = static_cast<int>(static_cast<double>(width) / dpiX * dpiY);
    Params.SetDpi(Params.DpiYExact, Params.DpiYExact);
  }
  if (width < 1 || height < 1 || !ResampleBitmap(*bitmap_, width, height, FilteredAdjustDPI)) return;
  Params.Width = bitmap_->Width();
  Params.Height = bitmap_->Height();
}

void TImageIO::UpdateAfterLoad() {
  if (!view_) return;
  if (PostsToView())
    view_->PostRefresh();
  else
    view_->UpdateView();
}

// ---- Parameters only -------------------------------------------------------------

void TImageIO::ReadParams(const std::filesystem::path& name) { ReadParamsAs(name, DetectFileType(name, true)); }

void TImageIO::ReadParamsAs(const std::filesystem::path& name, TFileTypeId fileType) {
  int error = 0;
  TOsFile probe = TOsFile::TryOpen(name, TFileOpenMode::ReadDenyWrite, error);
  if (!probe.IsOpen()) {
    Fail(TIOFailureKind::IOError, "cannot open the file");
    Params.FileType = ftUnknown;
  } else {
    probe.Close();
    try {
      TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
      TLmBufferedReadStream buffered(file, kReadBufferSize);
      ReadParamsStream(buffered, fileType);
    } catch (...) {
      Fail(TIOFailureKind::IOError, "the file or stream failed");
      Params.FileType = ftUnknown;
    }
  }
  Params.FileName = name;
}

void TImageIO::ReadParamsFromStream(TLmStream& stream) { ReadParamsFromStreamAs(stream, DetectStreamType(stream)); }

void TImageIO::ReadParamsFromStreamAs(TLmStream& stream, TFileTypeId fileType) {
  try {
    // The caller may go on to load from the same place.
    TStreamPositionGuard keep(stream);
    ReadParamsStream(stream, fileType);
  } catch (...) {
    Fail(TIOFailureKind::IOError, "the file or stream failed");
    Params.FileType = ftUnknown;
  }
  Params.FileName.clear();
}

void TImageIO::ReadParamsStream(TLmStream& stream, TFileTypeId fileType) {
  TIOProgress progress = BeginOperation(false);
  Params.ClearImageInfo();
  RunReader(stream, fileType, true, progress);
  EndOperation(progress);
  if (Params.DpiX < kMinUsableDpi) Params.SetDpi(kDefaultDpi, Params.DpiYExact);
  if (Params.DpiY < kMinUsableDpi) Params.SetDpi(Params.DpiXExact, kDefaultDpi);
  Params.FileType = Aborting ? ftUnknown : fileType;
}

int TImageIO::CountImages(const std::filesystem::path& name) {
  const TLmFileFormatInfo* format = FindFormatByExtension(ExtractExtension(name, true));
  if (!format) return 0;
  const TFormatDescriptor* codec = FindBuiltInFormat(format->FileTypeId);
  if (!codec || !codec->Count) return 1;
  try {
    TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
    TLmBufferedReadStream buffered(file, kReadBufferSize);
    return std::max(0, codec->Count(buffered));
  } catch (...) {
    return 0;
  }
}

// ---- Saving ----------------------------------------------------------------------

void TImageIO::SaveImage(const std::filesystem::path& name) {
  if (name.empty()) return;
  const std::string extension = ExtractExtension(name, false);
  if (const TFormatDescriptor* codec = FindBuiltInWriter(extension)) {
    SaveImageAs(name, codec->FileType);
    return;
  }
  const TLmFileFormatInfo* format = FindFormatByExtension(extension);
  if (format && !format->BuiltIn && format->Writer) {
    if (RunAsync([this, name, format] { SaveExternal(name, *format); })) return;
    SaveExternal(name, *format);
    return;
  }
  if (RunAsync([this, name] { SaveImage(name); })) return;
  TFinishGuard finish(*this);
  Fail(TIOFailureKind::Unsupported, "no writer for this file type");  // and no file is created
}

void TImageIO::SaveImageAs(const std::filesystem::path& name, TFileTypeId fileType) {
  if (RunAsync([this, name, fileType] { SaveImageAs(name, fileType); })) return;
  TFinishGuard finish(*this);
  Fail(TIOFailureKind::Unsupported, "no writer for this file type");
  const TFormatDescriptor* codec = FindBuiltInFormat(fileType);
  if (!codec || !codec->Write) return;
  std::optional<TLmWideFileStream> file;
  file.emplace(name, TFileOpenMode::Create);
  try {
    SaveStream(*file, fileType);
  } catch (...) {
    file.reset();  // closed first: Windows cannot delete an open file
    RemovePartialFile(name);
    throw;
  }
  file.reset();
  // A failed write leaves no half-written file behind.
  if (Aborting) RemovePartialFile(name);
  Params.FileName = name;
  Params.FileType = fileType;
  finish.Finish();
}

void TImageIO::SaveImageToStreamAs(TLmStream& stream, TFileTypeId fileType) {
  if (RunAsync([this, &stream, fileType] { SaveImageToStreamAs(stream, fileType); })) return;
  TFinishGuard finish(*this);
  SaveStream(stream, fileType);
  Params.FileName.clear();
  Params.FileType = fileType;
  finish.Finish();
}

void TImageIO::SaveStream(TLmStream& stream, TFileTypeId fileType) {
  TIOProgress progress = BeginOperation(true);
  WriteStream(stream, fileType, progress);
  EndOperation(progress);
}

void TImageIO::WriteStream(TLmStream& stream, TFileTypeId fileType, TIOProgress& progress) {
  const TFormatDescriptor* codec = FindBuiltInFormat(fileType);
  if (!codec || !codec->Write) {
    progress.Fail(TIOFailureKind::Unsupported, "no writer for this file type");
    return;
  }
  if (bitmap_->IsEmpty()) {
    progress.Fail(TIOFailureKind::InvalidData, "the image is empty");
    return;
  }
  if (codec->Flags & cfTruncateBeforeStreamSave) stream.SetSize(0);
  if (!(StreamHeaders && codec->StreamHeaderTag)) {
    codec->Write(stream, *bitmap_, Params, progress);
    return;
  }
  const int64_t headerAt = stream.Position();
  uint8_t header[kStreamHeaderSize] = {};
  std::memcpy(header, codec->StreamHeaderTag, 4);
  if (!stream.WriteExact(header, sizeof header)) {
    progress.Fail(TIOFailureKind::IOError, "cannot write the stream header");
    return;
  }
  codec->Write(stream, *bitmap_, Params, progress);
  const int64_t end = stream.Position();
  WriteLE32(header + 8, static_cast<uint32_t>(end - headerAt - static_cast<int64_t>(kStreamHeaderSize)));
  stream.SetPosition(headerAt);
  if (!stream.WriteExact(header, sizeof header)) progress.Fail(TIOFailureKind::IOError, "cannot write the stream header");
  stream.SetPosition(end);
}

void TImageIO::SaveExternal(const std::filesystem::path& name, const TLmFileFormatInfo& format) {
  TFinishGuard finish(*this);
  Aborting = true;
  // Outside writers take pf24RGB or pf1g; the caller's image is not touched.
  TLmBitmap converted;
  TLmBitmap* source = bitmap_;
  if (source->PixelFormat() != pf24RGB && source->PixelFormat() != pf1g) {
    converted.Assign(*bitmap_);
    converted.SetPixelFormat(pf24RGB);
    source = &converted;
  }
  TLmWideFileStream file(name, TFileOpenMode::Create);
  Params.FileName = name;
  Params.FileType = format.FileTypeId;
  TIOProgress progress = BeginOperation(true);
  format.Writer(file, *source, Params, progress);
  EndOperation(progress);
  Params.FileName = name;
  Params.FileType = format.FileTypeId;
  finish.Finish();
}

// ---- Information -------------------------------------------------------------------

std::string TImageIO::FileTypeDescription() const {
  const TLmFileFormatInfo* format = FindFormatByType(Params.FileType);
  if (!format) return {};
  std::string text = format->DisplayName + " (" + AsciiUpper(FormatExtension(Params.FileType, 0)) + ")";
  if (const TFormatDescriptor* codec = FindBuiltInFormat(Params.FileType); codec && codec->Describe) text += codec->Describe(Params);
  return text;
}

// ---- Progress and finish -------------------------------------------------------------

bool TImageIO::PostsToView() const { return view_ && view_->HasParentWindow() && IsWorkerThread(); }

void TImageIO::DoProgress(int percent) {
  if (!OnProgress) return;
  if (PostsToView())
    view_->PostProgress(percent);
  else
    OnProgress(*this, percent);
}

void TImageIO::DoFinishWork() {
  DoProgress(100);
  if (!OnFinishWork) return;
  if (PostsToView())
    view_->PostFinishWork();
  else
    OnFinishWork(*this);
}

// ---- Threads ---------------------------------------------------------------------------

bool TImageIO::RunAsync(std::function<void()> operation) {
  if (!AsyncMode || ownBitmap_ || IsWorkerThread()) return false;
  std::lock_guard lock(threadsLock_);
  ReapFinishedWorkers();
  auto worker = std::make_unique<TWorker>();
  TWorker* self = worker.get();
  workers_.push_back(std::move(worker));
  self->Thread = std::thread([this, self, operation = std::move(operation)] {
    {
      std::lock_guard start(threadsLock_);
      self->Id = std::this_thread::get_id();
    }
    try {
      operation();
    } catch (...) {
      Fail(TIOFailureKind::IOError, "the file or stream failed");
    }
    std::lock_guard end(threadsLock_);
    self->Done = true;
    threadsDone_.notify_all();
  });
  return true;
}

bool TImageIO::IsWorkerThread() const {
  const auto me = std::this_thread::get_id();
  std::lock_guard lock(threadsLock_);
  for (const auto& worker : workers_)
    if (worker->Id == me && !worker->Done) return true;
  return false;
}

// Joins workers that have finished (called with threadsLock_ held; a
// finished worker no longer needs the lock, so joining cannot deadlock).
void TImageIO::ReapFinishedWorkers() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if ((*it)->Done) {
      if ((*it)->Thread.joinable()) (*it)->Thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

int TImageIO::RunningThreads() const {
  std::lock_guard lock(threadsLock_);
  return static_cast<int>(std::count_if(workers_.begin(), workers_.end(), [](const auto& w) { return !w->Done; }));
}

void TImageIO::WaitThreads(bool abort) {
  // A worker cannot wait for itself.
  if (IsWorkerThread()) return;
  std::unique_lock lock(threadsLock_);
  if (abort) {
    cancel_ = true;
    Aborting = true;
  }
  threadsDone_.wait(lock, [this] {
    return std::none_of(workers_.begin(), workers_.end(), [](const auto& w) { return !w->Done; });
  });
  ReapFinishedWorkers();
  cancel_ = false;
}

// ---- Outcome ---------------------------------------------------------------------------

void TImageIO::Fail(TIOFailureKind kind, std::string_view text) {
  lastFailure_ = {kind, std::string(text)};
  Aborting = true;
}

void TImageIO::EndOperation(const TIOProgress& progress) {
  lastFailure_ = progress.Failure();
  if (lastFailure_) Aborting = true;  // a cancelled operation failed too
}

TIOProgress TImageIO::BeginOperation(bool reportProgress) {
  Aborting = false;
  lastFailure_ = {};
  if (!reportProgress) return TIOProgress(Aborting, {}, &cancel_, outsideCancel_);
  return TIOProgress(Aborting, [this](int percent) { DoProgress(percent); }, &cancel_, outsideCancel_);
}

}  // namespace lumora
