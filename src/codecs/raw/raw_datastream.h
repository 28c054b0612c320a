// LibRaw reads through our streams: its data-stream interface over a
// TLmStream. Content detection uses it for the camera identification step;
// the camera RAW codec decodes through it.
#pragma once

#include <cstdint>

#include <libraw/libraw_datastream.h>

namespace lumora {

class TLmStream;

// Presents [stream position at creation, end) as a LibRaw data stream.
// Errors of the underlying stream read as the end of the data: LibRaw then
// fails on its own terms instead of receiving our exceptions.
class TLibRawStream : public LibRaw_abstract_datastream {
 public:
  explicit TLibRawStream(TLmStream& stream);

  int valid() override { return 1; }
  int read(void* buffer, size_t size, size_t count) override;
  int seek(INT64 offset, int whence) override;
  INT64 tell() override { return position_; }
  INT64 size() override { return size_; }
  int get_char() override;
  char* gets(char* text, int size) override;
  int scanf_one(const char* format, void* value) override;
  int eof() override { return position_ >= size_; }
  void* make_jas_stream() override { return nullptr; }

 private:
  size_t ReadAt(void* buffer, size_t count);

  TLmStream& stream_;  // not owned
  int64_t base_;
  int64_t size_;
  int64_t position_ = 0;
};

// Whether the camera-RAW decoder's identification step accepts the data at
// the stream's position. Never throws; the position is left undefined.
bool RawIdentifyStream(TLmStream& stream);

}  // namespace lumora
