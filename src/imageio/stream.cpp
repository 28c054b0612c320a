#include "imageio/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "imageio/errors.h"

namespace lumora {

namespace {

// New position for a seek, checked against negative results and overflow.
int64_t ResolveSeek(int64_t offset, TSeekOrigin origin, int64_t current, int64_t size) {
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? current : size;
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
    throw ELmStreamError("Invalid stream position");
  return base + offset;
}

}  // namespace

void TLmStream::SetSize(int64_t) { throw ELmStreamError("The stream cannot change its size"); }

int64_t TLmStream::BytesLeft() {
  int64_t left = Size() - Position();
  return left > 0 ? left : 0;
}

// --- file -------------------------------------------------------------------

TLmWideFileStream::TLmWideFileStream(const std::filesystem::path& name, TFileOpenMode mode)
    : file_(TOsFile::Open(name, mode)),
      writable_(mode == TFileOpenMode::ReadWrite || mode == TFileOpenMode::Create) {}

size_t TLmWideFileStream::Write(const void* buffer, size_t count) {
  if (!writable_) throw ELmStreamError("The file was opened for reading only");
  return file_.Write(buffer, count);
}

int64_t TLmWideFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == TSeekOrigin::Current && offset == 0) return file_.Position();
  int64_t current = origin == TSeekOrigin::Current ? file_.Position() : 0;
  int64_t size = origin == TSeekOrigin::End ? file_.Size() : 0;
  return file_.Seek(ResolveSeek(offset, origin, current, size), TSeekOrigin::Begin);
}

// --- memory -----------------------------------------------------------------

size_t TLmMemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= data_.size()) return 0;
  size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

size_t TLmMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (count > std::numeric_limits<size_t>::max() - position_) throw ELmStreamError("Memory stream too large");
  size_t end = position_ + count;
  if (end > data_.size()) {
    // Grow geometrically so that row-by-row writers stay linear.
    if (end > data_.capacity()) data_.reserve(std::max(end, data_.capacity() + data_.capacity() / 2));
    data_.resize(end);
  }
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = end;
  return count;
}

int64_t TLmMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t pos = ResolveSeek(offset, origin, static_cast<int64_t>(position_), Size());
  if (static_cast<uint64_t>(pos) > std::numeric_limits<size_t>::max()) throw ELmStreamError("Invalid stream position");
  position_ = static_cast<size_t>(pos);
  return pos;
}

void TLmMemoryStream::SetSize(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<size_t>::max())
    throw ELmStreamError("Invalid stream size");
  data_.resize(static_cast<size_t>(size));
  position_ = std::min(position_, data_.size());
}

// --- byte view --------------------------------------------------------------

size_t TLmByteViewStream::Read(void* buffer, size_t count) {
  if (position_ >= data_.size()) return 0;
  size_t n = std::min<uint64_t>(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

size_t TLmByteViewStream::Write(const void*, size_t) { throw ELmStreamError("The stream is read-only"); }

int64_t TLmByteViewStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = static_cast<uint64_t>(ResolveSeek(offset, origin, static_cast<int64_t>(position_), Size()));
  return static_cast<int64_t>(position_);
}

// --- buffered reader --------------------------------------------------------

TLmBufferedReadStream::TLmBufferedReadStream(TLmStream& source, size_t bufferSize, bool relative)
    : source_(source), origin_(relative ? source.Position() : 0), buffer_(std::max<size_t>(bufferSize, 1)) {
  size_ = std::max<int64_t>(0, source.Size() - origin_);
}

bool TLmBufferedReadStream::Fill(int64_t position) {
  source_.SetPosition(origin_ + position);
  size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buffer_.size()), size_ - position));
  bufferStart_ = position;
  bufferLength_ = source_.Read(buffer_.data(), want);
  return bufferLength_ > 0;
}

size_t TLmBufferedReadStream::Read(void* buffer, size_t count) {
  if (position_ >= size_) {
    endReached_ = count > 0;
    return 0;
  }
  size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
  if (n < count) endReached_ = true;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < n) {
    int64_t inBuffer = position_ - bufferStart_;
    if (inBuffer >= 0 && inBuffer < static_cast<int64_t>(bufferLength_)) {
      size_t take = std::min(n - done, bufferLength_ - static_cast<size_t>(inBuffer));
      std::memcpy(out + done, buffer_.data() + inBuffer, take);
      done += take;
      position_ += static_cast<int64_t>(take);
    } else if (n - done >= buffer_.size()) {
      // Large reads bypass the buffer.
      source_.SetPosition(origin_ + position_);
      size_t got = source_.Read(out + done, n - done);
      done += got;
      position_ += static_cast<int64_t>(got);
      if (got == 0) break;
    } else if (!Fill(position_)) {
      break;
    }
  }
  if (done < count) endReached_ = true;
  return done;
}

size_t TLmBufferedReadStream::Write(const void*, size_t) {
  throw ELmStreamError("TLmBufferedReadStream cannot write!");
}

int64_t TLmBufferedReadStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t pos = ResolveSeek(offset, origin, position_, size_);
  if (pos >= size_) {
    pos = size_;
    endReached_ = true;
  }
  position_ = pos;
  return position_;
}

// --- window -----------------------------------------------------------------

TLmSubStream::TLmSubStream(TLmStream& source, int64_t offset, int64_t length)
    : source_(source), offset_(offset), length_(std::max<int64_t>(0, length)) {}

size_t TLmSubStream::Read(void* buffer, size_t count) {
  if (position_ >= length_) return 0;
  size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), length_ - position_));
  source_.SetPosition(offset_ + position_);
  size_t got = source_.Read(buffer, n);
  position_ += static_cast<int64_t>(got);
  return got;
}

size_t TLmSubStream::Write(const void*, size_t) { throw ELmStreamError("The stream is read-only"); }

int64_t TLmSubStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ResolveSeek(offset, origin, position_, length_);
  return position_;
}

}  // namespace lumora
