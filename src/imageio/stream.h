// Streams of the I/O layer: a small abstract base and the implementations
// every caller needs (file, memory, read-only view, buffered reader, window).
//
// Conventions shared by every stream:
//  - Read returns the bytes transferred; fewer than asked means the end.
//  - Seek takes the usual origins: Begin + offset, Current + offset, End +
//    offset (negative to go back from the end); a negative result is an
//    ELmStreamError, a position past the end is allowed (reads give 0 bytes).
//  - Failures of the medium and impossible operations (writing to a
//    read-only stream) raise ELmStreamError or ELmFileError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "imageio/osfile.h"

namespace lumora {

class TLmStream {
 public:
  virtual ~TLmStream() = default;

  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Truncates or extends; streams that cannot raise ELmStreamError.
  virtual void SetSize(int64_t size);

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Begin); }
  // Bytes between the position and the end (0 when past the end).
  int64_t BytesLeft();
  bool ReadExact(void* buffer, size_t count) { return Read(buffer, count) == count; }
  bool WriteExact(const void* buffer, size_t count) { return Write(buffer, count) == count; }
};

// Puts a stream back where it was when the guard goes out of scope, also on
// the exception path (detection probes, parameters-only reads).
class TStreamPositionGuard {
 public:
  explicit TStreamPositionGuard(TLmStream& stream) : stream_(stream), position_(stream.Position()) {}
  ~TStreamPositionGuard() {
    try {
      stream_.SetPosition(position_);
    } catch (...) {
    }
  }
  int64_t Start() const { return position_; }
  TStreamPositionGuard(const TStreamPositionGuard&) = delete;
  TStreamPositionGuard& operator=(const TStreamPositionGuard&) = delete;

 private:
  TLmStream& stream_;
  int64_t position_;
};

// A file on disk. Opening failures raise ELmFileError with "Cannot open
// file \"%s\". %s" (or "Cannot create file ..." for TFileOpenMode::Create).
class TLmWideFileStream : public TLmStream {
 public:
  TLmWideFileStream(const std::filesystem::path& name, TFileOpenMode mode);

  size_t Read(void* buffer, size_t count) override { return file_.Read(buffer, count); }
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return file_.Size(); }
  void SetSize(int64_t size) override { file_.SetSize(size); }
  const std::filesystem::path& FileName() const { return file_.Name(); }

 private:
  TOsFile file_;
  bool writable_;
};

// A growable block of memory that the stream owns.
class TLmMemoryStream : public TLmStream {
 public:
  TLmMemoryStream() = default;
  explicit TLmMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;
  size_t position_ = 0;
};

// Read-only view of bytes owned by someone else (fuzzing, embedded data).
class TLmByteViewStream : public TLmStream {
 public:
  explicit TLmByteViewStream(std::span<const uint8_t> data) : data_(data) {}

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

 private:
  std::span<const uint8_t> data_;  // not owned
  uint64_t position_ = 0;
};

// Read-only buffering over another stream, for readers that take their data
// a few bytes at a time. With `relative` the source's position at creation
// is position 0 and the size is what lies after it; otherwise positions are
// the source's own. Positions at or past the end are clamped to the end and
// set EndReached(). The source's own position afterwards is wherever the
// last buffer fill left it: callers that go on using the source set it.
class TLmBufferedReadStream : public TLmStream {
 public:
  static constexpr size_t kDefaultBufferSize = 8192;

  TLmBufferedReadStream(TLmStream& source, size_t bufferSize = kDefaultBufferSize, bool relative = false);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;  // raises "TLmBufferedReadStream cannot write!"
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

  bool EndReached() const { return endReached_; }
  // Origin in the source (0 unless relative).
  int64_t SourceOrigin() const { return origin_; }

 private:
  bool Fill(int64_t position);

  TLmStream& source_;  // not owned; outlives this stream
  int64_t origin_;
  int64_t size_;
  int64_t position_ = 0;
  std::vector<uint8_t> buffer_;
  int64_t bufferStart_ = 0;
  size_t bufferLength_ = 0;
  bool endReached_ = false;
};

// A window [offset, offset + length) of another stream, seen as a stream of
// its own starting at 0 (data framed by a stream header). Read-only.
class TLmSubStream : public TLmStream {
 public:
  TLmSubStream(TLmStream& source, int64_t offset, int64_t length);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return length_; }

 private:
  TLmStream& source_;  // not owned
  int64_t offset_;
  int64_t length_;
  int64_t position_ = 0;
};

}  // namespace lumora
