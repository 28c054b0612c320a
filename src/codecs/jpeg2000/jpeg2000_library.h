// Glue between OpenJPEG and the I/O layer: owning handles, the library's
// messages collected as a failure reason, and OpenJPEG streams whose
// callbacks read and write a TLmStream. Nothing here throws into the
// library: the stream callbacks turn exceptions of the medium into the
// library's own failure values and remember them.
#pragma once

#include <openjpeg.h>

#include <cstdint>
#include <memory>
#include <string>

namespace lumora {

class TLmStream;

struct TOpjCodecDeleter {
  void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct TOpjStreamDeleter {
  void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct TOpjImageDeleter {
  void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
struct TOpjCodestreamInfoDeleter {
  void operator()(opj_codestream_info_v2_t* info) const { opj_destroy_cstr_info(&info); }
};
using TOpjCodec = std::unique_ptr<opj_codec_t, TOpjCodecDeleter>;
using TOpjStream = std::unique_ptr<opj_stream_t, TOpjStreamDeleter>;
using TOpjImage = std::unique_ptr<opj_image_t, TOpjImageDeleter>;
using TOpjCodestreamInfo = std::unique_ptr<opj_codestream_info_v2_t, TOpjCodestreamInfoDeleter>;

// The library's error and warning texts for one codec.
class TOpjMessages {
 public:
  // Routes the codec's error and warning handlers here (info is dropped).
  void Attach(opj_codec_t* codec);
  // The first error the library gave, else `fallback`; short, one line.
  std::string Reason(const char* fallback) const;
  bool HasWarning(const char* fragment) const;

 private:
  static void OnError(const char* message, void* self);
  static void OnWarning(const char* message, void* self);

  std::string firstError_;
  std::string warnings_;
};

// Where an OpenJPEG stream reads or writes: the I/O layer's stream from its
// position at creation on (OpenJPEG's offsets are relative to it).
struct TOpjStreamTarget {
  TLmStream* Stream = nullptr;
  int64_t Origin = 0;
  bool MediumFailed = false;  // a read, write or seek of the medium raised or fell short
};

// Streams over `target`, which must outlive them. Null when the library
// cannot create one.
TOpjStream OpenReadStream(TOpjStreamTarget& target);
TOpjStream OpenWriteStream(TOpjStreamTarget& target);

}  // namespace lumora
