#include "codecs/raw/raw_datastream.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imageio/stream.h"

namespace lumora {

TLibRawStream::TLibRawStream(TLmStream& stream) : stream_(stream) {
  base_ = stream.Position();
  size_ = std::max<int64_t>(0, stream.Size() - base_);
}

size_t TLibRawStream::ReadAt(void* buffer, size_t count) {
  if (position_ >= size_ || count == 0) return 0;
  count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
  try {
    stream_.SetPosition(base_ + position_);
    size_t got = stream_.Read(buffer, count);
    position_ += static_cast<int64_t>(got);
    return got;
  } catch (...) {
    return 0;
  }
}

int TLibRawStream::read(void* buffer, size_t size, size_t count) {
  if (size == 0 || count == 0) return 0;
  if (count > SIZE_MAX / size) count = SIZE_MAX / size;
  size_t got = ReadAt(buffer, size * count);
  return static_cast<int>(got / size);
}

int TLibRawStream::seek(INT64 offset, int whence) {
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position_ : size_;
  int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = target;  // past the end is allowed; reads then give nothing
  return 0;
}

int TLibRawStream::get_char() {
  unsigned char c;
  return ReadAt(&c, 1) == 1 ? c : -1;
}

char* TLibRawStream::gets(char* text, int size) {
  if (size <= 0 || position_ >= size_) return nullptr;
  int n = 0;
  while (n < size - 1) {
    int c = get_char();
    if (c < 0) break;
    text[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  text[n] = 0;
  return text;
}

int TLibRawStream::scanf_one(const char* format, void* value) {
  if (position_ >= size_) return EOF;
  // LibRaw scans single numbers: a short window is enough.
  char window[32] = {};
  int64_t start = position_;
  size_t got = ReadAt(window, sizeof window - 1);
  position_ = start;
  int result = std::sscanf(window, format, value);
  if (result > 0) {
    size_t skip = 0;
    while (skip < got) {
      ++skip;
      char c = skip < got ? window[skip] : 0;
      if (c == 0 || c == ' ' || c == '\t' || c == '\n' || skip > 24) break;
    }
    position_ = start + static_cast<int64_t>(skip);
  }
  return result;
}

bool RawIdentifyStream(TLmStream& stream) {
  try {
    TLibRawStream data(stream);
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    return raw->open_datastream(&data) == LIBRAW_SUCCESS;
  } catch (...) {
    return false;
  }
}

}  // namespace lumora
