#include "imageio/bitmap.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>

#include "imageio/bitmap_sys.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/colorconv.h"
#include "imageio/osfile.h"
#include "imageio/quantize.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace lumora {

// ---- Pixel formats ----------------------------------------------------------

namespace {

struct TFormatInfo {
  int bits, channels;
  const char* name;
};
constexpr TFormatInfo kFormats[kPixelFormatCount] = {
    {0, 0, "none"},     {1, 1, "pf1g"},     {8, 1, "pf8p"},   {8, 1, "pf8g"},
    {16, 1, "pf16g"},   {24, 3, "pf24RGB"}, {32, 1, "pf32f"}, {32, 4, "pfCMYK"},
    {48, 3, "pfRGB48"}, {24, 3, "pfCIELab"}, {32, 4, "pf32RGB"},
};

bool ValidFormat(TLmPixelFormat f) { return f > pfNone && f < kPixelFormatCount; }

}  // namespace

int PixelFormatBits(TLmPixelFormat format) { return format < kPixelFormatCount ? kFormats[format].bits : 0; }
int PixelFormatChannels(TLmPixelFormat format) {
  return format < kPixelFormatCount ? kFormats[format].channels : 0;
}
const char* PixelFormatName(TLmPixelFormat format) {
  return format < kPixelFormatCount ? kFormats[format].name : "?";
}

// ---- Process policy ---------------------------------------------------------

namespace {

TLmBitmapPolicy gPolicy;

// Small blocks come from the heap, large ones straight from the system
// allocator; on both platforms malloc does this split itself.
constexpr uint64_t kBlockSlack = 128;  // 64 to align the start, 64 spare at the end
constexpr size_t kBlockAlignment = 64;

// In a 32-bit process the address space, not physical memory, is the limit:
// above this size an image goes to a temporary file so that the viewer keeps
// room for everything else.
constexpr int64_t kMaxFileThreshold32 = int64_t{512} << 20;
// When the system does not say how much memory it has.
constexpr int64_t kFallbackFileThreshold = 0x2000000;  // 32 MB

// Temporary files: tries before giving up on finding a free name.
constexpr int kTempNameTries = 64;
// Piece size of file-to-file copies.
constexpr size_t kCopyPiece = size_t{1} << 20;

}  // namespace

void SetBitmapPolicy(const TLmBitmapPolicy& policy) { gPolicy = policy; }
const TLmBitmapPolicy& BitmapPolicy() { return gPolicy; }

int64_t AutomaticFileThreshold() {
  static const int64_t threshold = [] {
    uint64_t memory = detail::TotalPhysicalMemory();
    int64_t t = memory == 0 ? kFallbackFileThreshold : static_cast<int64_t>(static_cast<double>(memory) / 1.3);
    if constexpr (sizeof(void*) == 4) t = std::min(t, kMaxFileThreshold32);
    return t;
  }();
  return threshold;
}

#ifndef _WIN32
uint64_t detail::TotalPhysicalMemory() {
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}
#endif

// ---- Storage ----------------------------------------------------------------

namespace {

// One owned block whose usable start is 64-byte aligned.
class TAlignedBlock {
 public:
  TAlignedBlock() = default;
  ~TAlignedBlock() { std::free(raw_); }
  TAlignedBlock(TAlignedBlock&& other) noexcept : raw_(other.raw_), data_(other.data_) {
    other.raw_ = other.data_ = nullptr;
  }
  TAlignedBlock& operator=(TAlignedBlock&&) = delete;
  TAlignedBlock(const TAlignedBlock&) = delete;

  // False when `size` plus the slack cannot be had.
  bool Allocate(uint64_t size) {
    auto total = CheckedAdd(size, kBlockSlack);
    if (!total || *total > BitmapPolicy().MaxBlockSize || !ToSizeT(*total)) return false;
    raw_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(*total)));
    if (!raw_) return false;
    auto address = reinterpret_cast<uintptr_t>(raw_);
    data_ = raw_ + ((kBlockAlignment - address % kBlockAlignment) % kBlockAlignment);
    return true;
  }
  uint8_t* Data() const { return data_; }

 private:
  uint8_t* raw_ = nullptr;   // owned (malloc)
  uint8_t* data_ = nullptr;  // aligned start inside raw_
};

// A DIB section the bitmap owns or has adopted.
struct TSysBitmap {
  void* handle = nullptr;  // HBITMAP; destroyed here only when owned
  bool owned = false;
  uint8_t* bits = nullptr;  // not owned: the section's pixels

  TSysBitmap() = default;
  TSysBitmap(const TSysBitmap&) = delete;
  TSysBitmap& operator=(const TSysBitmap&) = delete;
  ~TSysBitmap() {
#ifdef _WIN32
    if (owned && handle) detail::DestroyDib(handle);
#endif
  }
};

// Draws numbers for temporary-file names; seeded per thread from the clock
// and the system's entropy, since names only need to differ, not be secret.
uint32_t RandomBelow2To31() {
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), static_cast<uint32_t>(now), static_cast<uint32_t>(now >> 32)};
    return std::mt19937(seed);
  }();
  return static_cast<uint32_t>(engine() & 0x7FFFFFFF);
}

// A new, unshared temporary file that the system deletes when it is closed:
// "IMG-XXXXXXXX.tmp" in the policy's folder or the system temporary folder.
TOsFile CreateImageTempFile() {
  std::filesystem::path dir = BitmapPolicy().TempDirectory;
  if (dir.empty()) dir = SystemTemporaryDirectory();
  std::filesystem::path name;
  int error = 0;
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, "IMG-%08X.tmp", static_cast<unsigned>(RandomBelow2To31()));
    name = dir / leaf;
    if (IsExistingFile(name)) continue;
    TOsFile file = TOsFile::CreateTemporary(name, error);
    if (file.IsOpen()) return file;
    if (!IsExistingFile(name)) break;  // not a name clash: the folder refuses
  }
  throw ELmFileError("Unable to create " + PathToUtf8(name), error);
}

std::string SizeText(int width, int height, TLmPixelFormat format) {
  return std::to_string(width) + " x " + std::to_string(height) + " " + PixelFormatName(format);
}

// Sets a bitmap's access for a scope and puts it back on every path.
class TAccessScope {
 public:
  TAccessScope(TLmAccess& access, TLmAccess temporary) : access_(access), saved_(access) { access = temporary; }
  ~TAccessScope() { access_ = saved_; }
  TAccessScope(const TAccessScope&) = delete;
  TAccessScope& operator=(const TAccessScope&) = delete;

 private:
  TLmAccess& access_;  // not owned: the bitmap's field
  TLmAccess saved_;
};

// Whole-image operations report every allocation failure, their working
// buffers' std::bad_alloc included, as ELmOutOfMemory (function-try-blocks
// below), so that callers catching the I/O layer's exceptions see them.
[[noreturn]] void ThrowOutOfMemory(int width, int height, TLmPixelFormat format) {
  throw ELmOutOfMemory("Not enough memory or disk space for a " + SizeText(width, height, format) + " image");
}

bool SysBitmapFormatAllowed(TLmPixelFormat format) {
  return format == pf1g || format == pf8p || format == pf8g || format == pf16g || format == pf24RGB ||
         format == pf32RGB;
}

[[noreturn]] void ThrowSysBitmapFormat(TLmPixelFormat format) {
  switch (format) {
    case pf32f:
      throw ELmBitmapError(
          "pf32f pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false.");
    case pfCMYK:
      throw ELmBitmapError(
          "pfCMYK pixel format not allowed when Location=locSysBitmap. Please set TImageView.LegacyBitmap=false.");
    case pfRGB48:
      throw ELmBitmapError(
          "pfRGB48 pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false.");
    default:
      throw ELmBitmapError(
          "pfCIELab pixel format not allowed when Location=locSysBitmap Please set TImageView.LegacyBitmap=false.");
  }
}

}  // namespace

// Where the pixels of a bitmap are. Exactly one of the parts is in use.
struct TLmBitmap::TStore {
  TAlignedBlock block;                  // locMemory, one block (rows bottom-up)
  std::vector<TAlignedBlock> segments;  // locMemory, segments (rows top-down)
  int rowsPerSegment = 0;
  uint8_t* external = nullptr;          // WrapMemory: not owned
  TOsFile file;                         // locFile: rows top-down
  std::vector<uint8_t> rowBuffer;       // locFile: the one row in memory
  std::vector<uint8_t> rowAsRead;       // locFile: the row as read, to skip unchanged write-backs
  bool rowAsReadValid = false;
  int bufferedRow = -1;
  TSysBitmap sys;                       // locSysBitmap
};

// ---- TLmBitmap: allocation --------------------------------------------------

TLmBitmap::TLmBitmap()
    : fileThreshold_(BitmapPolicy().FileThreshold != -1 ? BitmapPolicy().FileThreshold : AutomaticFileThreshold()) {}

TLmBitmap::~TLmBitmap() = default;

void TLmBitmap::ResetGeometry() {
  width_ = height_ = 0;
  format_ = pfNone;
  rowLen_ = 0;
  rowOrigin_ = nullptr;
  rowStep_ = 0;
}

void TLmBitmap::ReleaseStorage() {
  store_.reset();
  rowOrigin_ = nullptr;
  rowStep_ = 0;
}

void TLmBitmap::FreeImage(bool withAlpha) {
  ReleaseStorage();
  ResetGeometry();
  palette_.clear();
  sizeChanged_ = true;
  if (withAlpha) alpha_.reset();
}

bool TLmBitmap::Allocate(int width, int height, TLmPixelFormat format) {
  if (!sizeChanged_ && !IsEmpty() && width == width_ && height == height_ && format == format_) return true;

  std::vector<TLmRGBTriple> keptPalette;
  if (format == pf8p) keptPalette.swap(palette_);
  FreeImage(true);
  if (width <= 0 || height <= 0 || !ValidFormat(format)) return false;
  if (CheckImageDimensions(width, height, static_cast<uint32_t>(PixelFormatBits(format))) != TSizeCheck::Ok)
    return false;
  if (location_ == locSysBitmap && !SysBitmapFormatAllowed(format)) ThrowSysBitmapFormat(format);

  width_ = width;
  height_ = height;
  format_ = format;
  try {
    if (format == pf8p) {
      keptPalette.resize(256);
      palette_.swap(keptPalette);
    }
    if (!AllocateStorage()) {
      FreeImage(true);
      return false;
    }
  } catch (const std::bad_alloc&) {
    FreeImage(true);
    return false;
  }
  sizeChanged_ = false;
  return true;
}

// Chooses the location by size and gets the storage, falling back from one
// block to segments to a temporary file. Width, height and format are set.
bool TLmBitmap::AllocateStorage() {
#ifdef _WIN32
  if (location_ == locSysBitmap && format_ == pf16g) format_ = pf8g;  // a DIB has no 16-bit gray
#endif
  const int alignment = location_ == locSysBitmap ? 32 : rowAlignment_;
  auto rowLen = PaddedRowLength(static_cast<uint64_t>(width_), static_cast<uint32_t>(BitCount()),
                                static_cast<uint32_t>(alignment));
  if (!rowLen || !ToSizeT(*rowLen)) return false;
  auto size = ImageByteSize(*rowLen, static_cast<uint64_t>(height_));
  if (!size) return false;
  rowLen_ = static_cast<size_t>(*rowLen);
  store_ = std::make_unique<TStore>();

  if (location_ == locSysBitmap) {
#ifdef _WIN32
    if (AllocateSysBitmap()) return true;
    return false;
#else
    location_ = locMemory;  // no system bitmaps here: plain memory serves
#endif
  }
  const int64_t threshold = fileThreshold_;
  const bool overThreshold = threshold >= 0 && *size > static_cast<uint64_t>(threshold);
  if (location_ == locFile && !overThreshold && *size != static_cast<uint64_t>(threshold)) location_ = locMemory;
  if (location_ == locMemory && overThreshold) location_ = locFile;

  bool triedFile = false;
  if (location_ == locFile) {
    if (AllocateFile(*size)) return true;
    triedFile = true;
  }
  location_ = locMemory;
  if (AllocateMemory(*size)) return true;
  if (BitmapPolicy().UseSegments && AllocateSegments()) return true;
  if (BitmapPolicy().UseFileFallback && !triedFile && AllocateFile(*size)) return true;
  return false;
}

bool TLmBitmap::AllocateMemory(uint64_t size) {
  if (!store_->block.Allocate(size)) return false;
  location_ = locMemory;
  UpdateRowAccess();
  return true;
}

// s = 4, 8, 16, ... segments of ceil(height / s) rows each; a segment below
// the policy's minimum is not worth it once more than four are needed.
bool TLmBitmap::AllocateSegments() {
  const auto& policy = BitmapPolicy();
  for (int64_t s = 4; s < height_; s *= 2) {
    const int64_t rows = (height_ + s - 1) / s;
    const uint64_t segmentSize = static_cast<uint64_t>(rows) * rowLen_;
    if (s > 4 && segmentSize < policy.MinSegmentSize) break;
    const int64_t count = (height_ + rows - 1) / rows;
    std::vector<TAlignedBlock> segments;
    segments.reserve(static_cast<size_t>(count));
    bool ok = true;
    for (int64_t i = 0; i < count && ok; ++i) {
      segments.emplace_back();
      ok = segments.back().Allocate(segmentSize);
    }
    if (ok) {
      store_->segments = std::move(segments);
      store_->rowsPerSegment = static_cast<int>(rows);
      location_ = locMemory;
      UpdateRowAccess();
      return true;
    }
  }
  return false;
}

bool TLmBitmap::AllocateFile(uint64_t size) {
  try {
    TOsFile file = CreateImageTempFile();
    file.SetSize(static_cast<int64_t>(size));
    store_->rowBuffer.assign(rowLen_ + kBlockSlack, 0);
    store_->rowAsRead.assign(rowLen_, 0);
    store_->file = std::move(file);
    store_->bufferedRow = -1;
  } catch (const ELmIOError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  location_ = locFile;
  UpdateRowAccess();
  return true;
}

#ifdef _WIN32
bool TLmBitmap::AllocateSysBitmap() {
  const uint64_t size = static_cast<uint64_t>(rowLen_) * static_cast<uint64_t>(height_);
  const uint64_t memory = detail::TotalPhysicalMemory();
  if (memory != 0 && memory < size) return false;
  int bits = BitCount();
  std::vector<TLmRGBTriple> table;
  if (format_ == pf1g) {
    table = {TLmRGBTriple::FromRGB(0, 0, 0), TLmRGBTriple::FromRGB(255, 255, 255)};
  } else if (format_ == pf8g) {
    table.resize(256);
    for (int i = 0; i < 256; ++i) table[i] = TLmRGBTriple::FromRGB(i, i, i);
    palette_ = table;
  } else if (format_ == pf8p) {
    table = palette_;
  }
  uint8_t* pixels = nullptr;
  void* dib = detail::CreateDib(width_, height_, bits, table.data(), static_cast<int>(table.size()), &pixels);
  if (!dib) return false;
  store_->sys.handle = dib;
  store_->sys.owned = true;
  store_->sys.bits = pixels;
  location_ = locSysBitmap;
  UpdateRowAccess();
  return true;
}
#else
bool TLmBitmap::AllocateSysBitmap() { return false; }
#endif

void TLmBitmap::UpdateRowAccess() {
  rowOrigin_ = nullptr;
  rowStep_ = 0;
  if (!store_ || height_ == 0) return;
  const auto step = static_cast<ptrdiff_t>(rowLen_);
  uint8_t* bottomUp = nullptr;
  if (store_->block.Data()) bottomUp = store_->block.Data();
  if (store_->sys.bits) bottomUp = store_->sys.bits;
  if (bottomUp) {
    rowOrigin_ = bottomUp + step * (height_ - 1);
    rowStep_ = -step;
  }
}

uint8_t* TLmBitmap::ScanLineSlow(int row) const {
  if (!store_) return nullptr;
  TStore& s = *store_;
  if (!s.segments.empty()) {
    const int k = s.rowsPerSegment;
    return s.segments[static_cast<size_t>(row / k)].Data() + static_cast<size_t>(row % k) * rowLen_;
  }
  if (s.file.IsOpen()) {
    if (row == s.bufferedRow) return s.rowBuffer.data();
    FlushRow();
    s.rowAsReadValid = false;
    if (access_ & accRead) {
      size_t got = s.file.ReadAt(static_cast<int64_t>(row) * static_cast<int64_t>(rowLen_), s.rowBuffer.data(),
                                 rowLen_);
      if (got < rowLen_) std::memset(s.rowBuffer.data() + got, 0, rowLen_ - got);
      // Readers of the image (writers, conversions) leave rows unchanged:
      // remembering the row spares writing it back.
      if (access_ & accWrite) {
        std::memcpy(s.rowAsRead.data(), s.rowBuffer.data(), rowLen_);
        s.rowAsReadValid = true;
      }
    }
    s.bufferedRow = row;
    return s.rowBuffer.data();
  }
  return nullptr;
}

void TLmBitmap::FlushRow() const {
  if (!store_ || !store_->file.IsOpen() || store_->bufferedRow < 0) return;
  TStore& s = *store_;
  const int row = s.bufferedRow;
  const bool unchanged = s.rowAsReadValid && std::memcmp(s.rowAsRead.data(), s.rowBuffer.data(), rowLen_) == 0;
  s.bufferedRow = -1;  // a failed write must not be retried on every call
  s.rowAsReadValid = false;
  if ((access_ & accWrite) && !unchanged)
    s.file.WriteAt(static_cast<int64_t>(row) * static_cast<int64_t>(rowLen_), s.rowBuffer.data(), rowLen_);
}

void TLmBitmap::SetFileThreshold(int64_t bytes) {
  fileThreshold_ = bytes;
  if (alpha_) alpha_->fileThreshold_ = bytes;
}

void TLmBitmap::SetAccess(TLmAccess access) {
  FlushRow();
  access_ = access;
}

// ---- TLmBitmap: moving images between bitmaps ------------------------------

std::unique_ptr<TLmBitmap> TLmBitmap::MakeSibling(TLmLocation location) const {
  auto sibling = std::make_unique<TLmBitmap>();
  sibling->location_ = location;
  sibling->fileThreshold_ = fileThreshold_;
  sibling->rowAlignment_ = rowAlignment_;
  sibling->isAlphaChannel_ = isAlphaChannel_;
  sibling->OneBitConversion = OneBitConversion;
  sibling->TargetColorCount = TargetColorCount;
  return sibling;
}

// Takes the image (pixels, palette, geometry, location) of `other`, which is
// left empty; the alpha channels of both stay where they are.
void TLmBitmap::TakeImage(TLmBitmap& other) {
  other.FlushRow();
  ReleaseStorage();
  width_ = other.width_;
  height_ = other.height_;
  format_ = other.format_;
  rowLen_ = other.rowLen_;
  rowAlignment_ = other.rowAlignment_;
  location_ = other.location_;
  sizeChanged_ = other.sizeChanged_;
  palette_ = std::move(other.palette_);
  store_ = std::move(other.store_);
  rowOrigin_ = other.rowOrigin_;
  rowStep_ = other.rowStep_;
  other.palette_.clear();
  other.ResetGeometry();
  other.sizeChanged_ = true;
}

void TLmBitmap::SwapTo(TLmBitmap& target) {
  if (&target == this) return;
  target.FreeImage(true);
  target.TakeImage(*this);
  target.alpha_ = std::move(alpha_);
}

// Copies the rows of a bitmap of the same size (the row lengths may differ
// when the alignments do; the formats only when a location changed it).
void TLmBitmap::CopyRowsFrom(const TLmBitmap& source) {
  if (format_ != source.format_) {  // a DIB section holds pf16g as pf8g
    CopyAndConvertFormat(source);
    return;
  }
  source.FlushRow();
  const size_t bytes = std::min(rowLen_, source.rowLen_);
  const bool fileToFile = store_ && source.store_ && store_->file.IsOpen() && source.store_->file.IsOpen() &&
                          rowLen_ == source.rowLen_;
  if (fileToFile) {
    FlushRow();
    std::vector<uint8_t> piece(kCopyPiece);
    const int64_t total = static_cast<int64_t>(rowLen_) * height_;
    for (int64_t done = 0; done < total;) {
      size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kCopyPiece), total - done));
      size_t got = source.store_->file.ReadAt(done, piece.data(), n);
      if (got < n) std::memset(piece.data() + got, 0, n - got);
      store_->file.WriteAt(done, piece.data(), n);
      done += static_cast<int64_t>(n);
    }
    return;
  }
  TAccessScope writeOnly(access_, accWrite);  // rows are overwritten whole: no need to read them first
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), source.ScanLine(y), bytes);
  FlushRow();
}

void TLmBitmap::Assign(const TLmBitmap& source) try {
  if (&source == this) return;
  OneBitConversion = source.OneBitConversion;
  TargetColorCount = source.TargetColorCount;
  if (source.IsEmpty()) {
    FreeImage(true);
    return;
  }
  rowAlignment_ = source.rowAlignment_;
  sizeChanged_ = true;
  if (!Allocate(source.width_, source.height_, source.format_))
    ThrowOutOfMemory(source.width_, source.height_, source.format_);
  CopyRowsFrom(source);
  palette_ = source.palette_;
  if (source.alpha_)
    AlphaChannel().Assign(*source.alpha_);
  else
    alpha_.reset();
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

void TLmBitmap::SetLocation(TLmLocation location) try {
  if (location > locSysBitmap) return;
  if (IsEmpty()) {
    location_ = location;
    sizeChanged_ = true;
    return;
  }
  if (location == location_) return;
  auto moved = MakeSibling(location);
  if (!moved->Allocate(width_, height_, format_)) ThrowOutOfMemory(width_, height_, format_);
  moved->CopyRowsFrom(*this);
  if (!palette_.empty()) moved->palette_ = palette_;
  TakeImage(*moved);
#ifdef _WIN32
  if (location_ == locSysBitmap && store_->sys.handle && !palette_.empty())
    detail::WriteDibPalette(store_->sys.handle, palette_.data(), static_cast<int>(palette_.size()));
#endif
  if (alpha_) alpha_->SetLocation(location);
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

void TLmBitmap::SetRowAlignment(int bits) try {
  if (bits < 8 || bits > 512 || bits % 8 != 0 || bits == rowAlignment_) return;
  if (IsEmpty() || location_ == locSysBitmap) {
    rowAlignment_ = bits;  // a DIB keeps 32-bit rows; the next allocation elsewhere uses this
    sizeChanged_ = true;
    return;
  }
  auto relaid = MakeSibling(location_);
  relaid->rowAlignment_ = bits;
  if (!relaid->Allocate(width_, height_, format_)) ThrowOutOfMemory(width_, height_, format_);
  relaid->CopyRowsFrom(*this);
  relaid->palette_ = palette_;
  TakeImage(*relaid);
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

void TLmBitmap::WrapMemory(int width, int height, TLmPixelFormat format, void* block, bool topDown) {
  FreeImage(true);
  if (!block || width <= 0 || height <= 0 || !ValidFormat(format)) return;
  auto rowLen = PaddedRowLength(static_cast<uint64_t>(width), static_cast<uint32_t>(PixelFormatBits(format)),
                                static_cast<uint32_t>(rowAlignment_));
  if (!rowLen || !ToSizeT(*rowLen) || !ImageByteSize(*rowLen, static_cast<uint64_t>(height)) ||
      !ToSizeT(*rowLen * static_cast<uint64_t>(height)))
    return;
  width_ = width;
  height_ = height;
  format_ = format;
  rowLen_ = static_cast<size_t>(*rowLen);
  location_ = locMemory;
  store_ = std::make_unique<TStore>();
  store_->external = static_cast<uint8_t*>(block);
  const auto step = static_cast<ptrdiff_t>(rowLen_);
  rowOrigin_ = topDown ? store_->external : store_->external + step * (height - 1);
  rowStep_ = topDown ? step : -step;
  if (format == pf8p) palette_.resize(256);
  sizeChanged_ = false;
}

// ---- TLmBitmap: palette -----------------------------------------------------

TLmRGBTriple TLmBitmap::GetPaletteColor(int index) const {
  if (index < 0 || index >= PaletteLength()) return {};
  return palette_[static_cast<size_t>(index)];
}

void TLmBitmap::SetPaletteColor(int index, TLmRGBTriple color) {
  if (index < 0 || index >= PaletteLength()) return;
  palette_[static_cast<size_t>(index)] = color;
#ifdef _WIN32
  if (location_ == locSysBitmap && store_ && store_->sys.handle)
    detail::WriteDibPalette(store_->sys.handle, palette_.data(), PaletteLength());
#endif
}

void TLmBitmap::SetPalette(const TLmRGBTriple* colors, int count) {
  count = std::clamp(count, 0, 256);
  palette_.assign(colors, colors + count);
  if (format_ == pf8p && palette_.size() < 256) palette_.resize(256);
#ifdef _WIN32
  if (location_ == locSysBitmap && store_ && store_->sys.handle && !palette_.empty())
    detail::WriteDibPalette(store_->sys.handle, palette_.data(), PaletteLength());
#endif
}

void TLmBitmap::CopyPaletteTo(TLmBitmap& target) const {
  if (&target == this) return;
  target.SetPalette(palette_.data(), PaletteLength());
  target.TargetColorCount = TargetColorCount;
}

// ---- TLmBitmap: conversion --------------------------------------------------

namespace {

bool IsGrayFormat(TLmPixelFormat f) { return f == pf1g || f == pf8g || f == pf16g || f == pf32f; }

// Gray formats and RGB48 as 16-bit levels, so that conversions among them
// keep their precision instead of passing through 8-bit colour.
void PixelRowToGray16(TLmPixelFormat format, const uint8_t* src, uint16_t* gray, int width) {
  for (int x = 0; x < width; ++x) {
    switch (format) {
      case pf1g: gray[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 65535 : 0; break;
      case pf8g: gray[x] = static_cast<uint16_t>(src[x] * 257); break;
      case pf16g: gray[x] = ReadLE16(src + x * 2); break;
      case pf32f: {
        float f;
        std::memcpy(&f, src + x * 4, 4);
        gray[x] = !(f > 0.0f) ? 0 : f >= 1.0f ? 65535 : static_cast<uint16_t>(std::lround(f * 65535.0f));
        break;
      }
      case pfRGB48: {
        const uint8_t* p = src + x * 6;
        uint32_t v = (ReadLE16(p) * 2126u + ReadLE16(p + 2) * 7152u + ReadLE16(p + 4) * 722u) / 10000u;
        gray[x] = static_cast<uint16_t>(v);
        break;
      }
      default: gray[x] = 0; break;
    }
  }
}

void Gray16ToPixelRow(TLmPixelFormat format, const uint16_t* gray, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    switch (format) {
      case pf8g: dst[x] = static_cast<uint8_t>(gray[x] >> 8); break;
      case pf16g: WriteLE16(dst + x * 2, gray[x]); break;
      case pf32f: {
        float f = static_cast<float>(gray[x] / 65535.0);
        std::memcpy(dst + x * 4, &f, 4);
        break;
      }
      case pfRGB48:
        WriteLE16(dst + x * 6, gray[x]);
        WriteLE16(dst + x * 6 + 2, gray[x]);
        WriteLE16(dst + x * 6 + 4, gray[x]);
        break;
      default: break;
    }
  }
}

bool UsesGray16Path(TLmPixelFormat from, TLmPixelFormat to) {
  const bool toGray = to == pf8g || to == pf16g || to == pf32f;
  return (IsGrayFormat(from) && (toGray || to == pfRGB48)) || (from == pfRGB48 && toGray);
}

}  // namespace

void TLmBitmap::CopyAndConvertFormat(const TLmBitmap& source) try {
  if (&source == this || source.IsEmpty() || IsEmpty() || source.width_ != width_ || source.height_ != height_)
    return;
  source.FlushRow();
  const TLmPixelFormat from = source.format_, to = format_;
  const int w = width_;
  TAccessScope writeOnly(access_, accWrite);  // every destination row is written whole

  if (from == to) {
    CopyRowsFrom(source);
    if (to == pf8p) palette_ = source.palette_;
  } else if (to == pf8p) {
    std::vector<TLmRGBTriple> table(256);
    if (from == pf1g) {
      table[1] = TLmRGBTriple::FromRGB(255, 255, 255);
      for (int y = 0; y < height_; ++y) {
        const uint8_t* s = source.ScanLine(y);
        uint8_t* d = ScanLine(y);
        for (int x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
      }
    } else {
      const int n = std::clamp(TargetColorCount, 2, 256);
      TLmQuantizer quantizer(source, n, table.data());
      std::vector<uint8_t> bgr(static_cast<size_t>(w) * 3);
      for (int y = 0; y < height_; ++y) {
        PixelRowToBGR(from, source.ScanLine(y), bgr.data(), w, source.Palette(), source.PaletteLength());
        uint8_t* d = ScanLine(y);
        const auto* px = reinterpret_cast<const TLmRGBTriple*>(bgr.data());
        for (int x = 0; x < w; ++x) d[x] = static_cast<uint8_t>(std::max(quantizer.Index(px[x]), 0));
      }
    }
    SetPalette(table.data(), 256);
  } else if (to == pf1g) {
    std::vector<uint8_t> gray(static_cast<size_t>(w));
    int threshold = 127;
    if (OneBitConversion != 0) {
      uint64_t histogram[256] = {};
      for (int y = 0; y < height_; ++y) {
        PixelRowToGray(from, source.ScanLine(y), gray.data(), w, source.Palette(), source.PaletteLength());
        for (uint8_t v : gray) ++histogram[v];
      }
      threshold = OtsuThreshold(histogram);
    }
    for (int y = 0; y < height_; ++y) {
      PixelRowToGray(from, source.ScanLine(y), gray.data(), w, source.Palette(), source.PaletteLength());
      if (OneBitConversion == 0)
        DitherGrayRow(gray.data(), ScanLine(y), w, y);
      else
        ThresholdGrayRow(gray.data(), ScanLine(y), w, threshold);
    }
  } else if (UsesGray16Path(from, to)) {
    std::vector<uint16_t> gray(static_cast<size_t>(w));
    for (int y = 0; y < height_; ++y) {
      PixelRowToGray16(from, source.ScanLine(y), gray.data(), w);
      Gray16ToPixelRow(to, gray.data(), ScanLine(y), w);
    }
  } else {
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * 3);
    for (int y = 0; y < height_; ++y) {
      PixelRowToBGR(from, source.ScanLine(y), bgr.data(), w, source.Palette(), source.PaletteLength());
      BGRToPixelRow(to, bgr.data(), ScanLine(y), w);
    }
  }
  FlushRow();
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

void TLmBitmap::SetPixelFormat(TLmPixelFormat format) try {
  if (format == format_ || IsEmpty() || !ValidFormat(format)) return;
  auto converted = MakeSibling(location_);
  if (!converted->Allocate(width_, height_, format)) ThrowOutOfMemory(width_, height_, format);
  converted->CopyAndConvertFormat(*this);
  TakeImage(*converted);
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format);
}

void TLmBitmap::Fill(TLmColor value) try {
  if (IsEmpty()) return;
  // One row of the pattern, then every row gets it.
  std::vector<uint8_t> pattern(rowLen_, 0);
  const size_t w = static_cast<size_t>(width_);
  switch (format_) {
    case pf1g: std::memset(pattern.data(), value ? 0xFF : 0, rowLen_); break;
    case pf8p:
    case pf8g: std::memset(pattern.data(), static_cast<uint8_t>(value), w); break;
    case pf16g:
      for (size_t x = 0; x < w; ++x) WriteLE16(pattern.data() + x * 2, static_cast<uint16_t>(value));
      break;
    case pf32f: {
      float f = static_cast<float>((value & 0xFF) / 255.0);
      for (size_t x = 0; x < w; ++x) std::memcpy(pattern.data() + x * 4, &f, 4);
      break;
    }
    default: {
      TLmRGBTriple c = TLmRGBTriple::FromColor(value);
      std::vector<uint8_t> bgr(w * 3);
      for (size_t x = 0; x < w; ++x) std::memcpy(bgr.data() + x * 3, &c, 3);
      BGRToPixelRow(format_, bgr.data(), pattern.data(), width_);
      break;
    }
  }
  if (store_ && store_->file.IsOpen()) {
    // Straight to the file: nothing needs reading.
    store_->bufferedRow = -1;
    store_->rowAsReadValid = false;
    for (int y = 0; y < height_; ++y)
      store_->file.WriteAt(static_cast<int64_t>(y) * static_cast<int64_t>(rowLen_), pattern.data(), rowLen_);
    return;
  }
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), pattern.data(), rowLen_);
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

bool TLmBitmap::Resize(int width, int height) try {
  if (IsEmpty()) return false;
  if (width == width_ && height == height_) return true;
  auto resized = MakeSibling(location_);
  try {
    if (!resized->Allocate(width, height, format_)) return false;
  } catch (const ELmBitmapError&) {
    return false;
  }
  resized->Fill(0);
  const int rows = std::min(height, height_);
  const size_t commonBits = static_cast<size_t>(std::min(width, width_)) * static_cast<size_t>(BitCount());
  const size_t wholeBytes = commonBits / 8;
  const int spareBits = static_cast<int>(commonBits % 8);
  FlushRow();
  for (int y = 0; y < rows; ++y) {
    const uint8_t* s = ScanLine(y);
    uint8_t* d = resized->ScanLine(y);
    std::memcpy(d, s, wholeBytes);
    if (spareBits) d[wholeBytes] = static_cast<uint8_t>(s[wholeBytes] & (0xFF << (8 - spareBits)));
  }
  resized->FlushRow();
  resized->palette_ = palette_;
  if (format_ == pf8p) resized->palette_.resize(256);

  std::unique_ptr<TLmBitmap> alpha;
  if (alpha_) {
    alpha = std::move(alpha_);
    TLmBitmap& a = *alpha;
    auto newAlpha = a.MakeSibling(a.location_);
    bool ok = false;
    try {
      ok = newAlpha->Allocate(width, height, pf8g);
    } catch (const ELmIOError&) {
    }
    if (!ok) {
      alpha_ = std::move(alpha);
      return false;
    }
    newAlpha->Fill(255);
    for (int y = 0; y < rows; ++y)
      std::memcpy(newAlpha->ScanLine(y), a.ScanLine(y), static_cast<size_t>(std::min(width, width_)));
    newAlpha->FlushRow();
    alpha = std::move(newAlpha);
  }
  TakeImage(*resized);
  alpha_ = std::move(alpha);
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

void TLmBitmap::SetWidth(int width) {
  if (!Resize(width, height_)) ThrowOutOfMemory(width, height_, format_);
}

void TLmBitmap::SetHeight(int height) {
  if (!Resize(width_, height)) ThrowOutOfMemory(width_, height, format_);
}

// ---- TLmBitmap: alpha channel -----------------------------------------------

TLmBitmap& TLmBitmap::AlphaChannel() try {
  if (isAlphaChannel_) return *this;  // an alpha channel has none of its own
  if (!alpha_) {
    auto alpha = MakeSibling(location_);
    alpha->isAlphaChannel_ = true;
    alpha->rowAlignment_ = 32;
    if (IsEmpty()) {
      alpha_ = std::move(alpha);
      return *alpha_;
    }
    bool ok = false;
    try {
      ok = alpha->Allocate(width_, height_, pf8g);
    } catch (const ELmIOError&) {
    }
    if (!ok) ThrowOutOfMemory(width_, height_, pf8g);
    alpha->Fill(255);
    alpha_ = std::move(alpha);
  }
  return *alpha_;
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

uint8_t TLmBitmap::Alpha(int x, int y) const {
  if (!alpha_ || alpha_->IsEmpty()) return 255;
  return alpha_->ScanLine(y)[x];
}

void TLmBitmap::SetAlpha(int x, int y, uint8_t value) { AlphaChannel().ScanLine(y)[x] = value; }

void TLmBitmap::RemoveAlphaChannel(bool merge, TLmColor background) try {
  if (!alpha_) return;
  if (merge && !alpha_->IsEmpty() && (format_ == pf24RGB || format_ == pf32RGB) && alpha_->width_ == width_ &&
      alpha_->height_ == height_) {
    const TLmRGBTriple bg = TLmRGBTriple::FromColor(background);
    const int bgc[3] = {bg.b, bg.g, bg.r};
    const int step = format_ == pf24RGB ? 3 : 4;
    // Blending by alpha / 255, rounded, so that opaque pixels keep their
    // colour and transparent ones become the background exactly.
    std::vector<uint8_t> alphaRow(static_cast<size_t>(width_));
    for (int y = 0; y < height_; ++y) {
      std::memcpy(alphaRow.data(), alpha_->ScanLine(y), alphaRow.size());
      uint8_t* p = ScanLine(y);
      for (int x = 0; x < width_; ++x, p += step) {
        const int a = alphaRow[static_cast<size_t>(x)];
        for (int c = 0; c < 3; ++c) {
          const int diff = (p[c] - bgc[c]) * a;
          p[c] = static_cast<uint8_t>(bgc[c] + (diff >= 0 ? (diff + 127) / 255 : -((-diff + 127) / 255)));
        }
      }
    }
    FlushRow();
  }
  alpha_.reset();
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

void TLmBitmap::SetAlphaFromMask(const TLmMask* mask) try {
  if (IsEmpty() || isAlphaChannel_) return;
  TLmBitmap& alpha = AlphaChannel();
  alpha.Fill(255);
  if (!mask || mask->IsEmpty()) return;
  const int rows = std::min(height_, mask->Height());
  const int cols = std::min(width_, mask->Width());
  for (int y = 0; y < rows; ++y) {
    uint8_t* d = alpha.ScanLine(y);
    const uint8_t* s = mask->ScanLine(y);
    if (mask->BitsPerPixel() == 8)
      std::memcpy(d, s, static_cast<size_t>(cols));
    else
      for (int x = 0; x < cols; ++x) d[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
  }
  alpha.FlushRow();
} catch (const std::bad_alloc&) {
  ThrowOutOfMemory(width_, height_, format_);
}

bool TLmBitmap::AlphaIsOpaque() const {
  if (!alpha_ || alpha_->IsEmpty()) return true;
  const size_t w = static_cast<size_t>(alpha_->width_);
  for (int y = 0; y < alpha_->height_; ++y) {
    const uint8_t* row = alpha_->ScanLine(y);
    for (size_t x = 0; x < w; ++x)
      if (row[x] != 255) return false;
  }
  return true;
}

// ---- TLmBitmap: system bitmaps ----------------------------------------------

#ifdef _WIN32
void TLmBitmap::EncapsulateTBitmap(void* dibSection, bool freeFirst) {
  detail::TDibInfo info;
  if (!dibSection || !detail::QueryDib(dibSection, info) || !info.Bits) {
    if (freeFirst) FreeImage(true);
    throw ELmBitmapError("The system bitmap is not a device-independent bitmap");
  }
  TLmPixelFormat format;
  std::vector<TLmRGBTriple> table(256);
  int entries = 0;
  switch (info.BitCount) {
    case 1: format = pf1g; break;
    case 8: {
      entries = detail::ReadDibPalette(dibSection, table.data(), 256);
      bool grayRamp = entries == 256;
      for (int i = 0; i < entries && grayRamp; ++i) grayRamp = table[i] == TLmRGBTriple::FromRGB(i, i, i);
      format = (grayRamp || isAlphaChannel_) ? pf8g : pf8p;
      break;
    }
    case 24: format = pf24RGB; break;
    case 32: format = pf32RGB; break;
    default: throw ELmBitmapError("Unsupported system bitmap depth " + std::to_string(info.BitCount));
  }
  FreeImage(true);
  width_ = info.Width;
  height_ = info.Height;
  format_ = format;
  rowLen_ = static_cast<size_t>(*PaddedRowLength(static_cast<uint64_t>(width_), static_cast<uint32_t>(info.BitCount)));
  location_ = locSysBitmap;
  store_ = std::make_unique<TStore>();
  store_->sys.handle = dibSection;
  store_->sys.owned = false;
  store_->sys.bits = info.Bits;
  const auto step = static_cast<ptrdiff_t>(rowLen_);
  rowOrigin_ = info.TopDown ? info.Bits : info.Bits + step * (height_ - 1);
  rowStep_ = info.TopDown ? step : -step;
  if (format == pf8p || format == pf8g) {
    table.resize(256);
    palette_ = table;
  }
  sizeChanged_ = false;
}

void* TLmBitmap::VclBitmap() {
  if (IsEmpty()) return nullptr;
  if (location_ != locSysBitmap) SetLocation(locSysBitmap);
  return store_ ? store_->sys.handle : nullptr;
}
#endif

// ---- TLmMask ----------------------------------------------------------------

bool TLmMask::Allocate(int width, int height, int bitsPerPixel) {
  Free();
  if (bitsPerPixel != 1 && bitsPerPixel != 8) return false;
  if (CheckImageDimensions(width, height, static_cast<uint32_t>(bitsPerPixel)) != TSizeCheck::Ok) return false;
  auto rowLen = PaddedRowLength(static_cast<uint64_t>(width), static_cast<uint32_t>(bitsPerPixel));
  auto size = ImageByteSize(*rowLen, static_cast<uint64_t>(height));
  if (!size || !ToSizeT(*size)) return false;
  try {
    data_.assign(static_cast<size_t>(*size), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  width_ = width;
  height_ = height;
  bits_ = bitsPerPixel;
  rowLen_ = static_cast<size_t>(*rowLen);
  Full = false;
  BoundLeft = BoundTop = BoundRight = BoundBottom = 0;
  return true;
}

void TLmMask::Free() {
  data_.clear();
  data_.shrink_to_fit();
  width_ = height_ = bits_ = 0;
  rowLen_ = 0;
  Full = false;
  BoundLeft = BoundTop = BoundRight = BoundBottom = 0;
}

uint8_t TLmMask::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = ScanLine(y);
  if (bits_ == 8) return row[x];
  return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
}

void TLmMask::SetPixel(int x, int y, uint8_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* row = ScanLine(y);
  if (bits_ == 8) {
    row[x] = value;
  } else if (value) {
    row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  } else {
    row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
  }
}

void TLmMask::Fill(uint8_t value) {
  if (bits_ == 8)
    std::fill(data_.begin(), data_.end(), value);
  else
    std::fill(data_.begin(), data_.end(), value ? 0xFF : 0);
}

bool TLmMask::ScanOpacity() {
  bool full = width_ > 0;
  int left = width_, top = height_, right = 0, bottom = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const uint8_t v = Pixel(x, y);
      if (v != 255) full = false;
      if (v != 0) {
        left = std::min(left, x);
        right = std::max(right, x + 1);
        top = std::min(top, y);
        bottom = std::max(bottom, y + 1);
      }
    }
  }
  if (right == 0) left = top = 0;
  BoundLeft = left;
  BoundTop = top;
  BoundRight = right;
  BoundBottom = bottom;
  Full = full;
  return Full;
}

bool TLmMask::AssignAlpha(TLmBitmap& bitmap) {
  if (bitmap.IsEmpty() || !Allocate(bitmap.Width(), bitmap.Height(), 8)) return false;
  if (!bitmap.HasAlphaChannel()) {
    Fill(255);
    Full = true;
    return true;
  }
  TLmBitmap& alpha = bitmap.AlphaChannel();
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), alpha.ScanLine(y), static_cast<size_t>(width_));
  ScanOpacity();
  return true;
}

}  // namespace lumora
