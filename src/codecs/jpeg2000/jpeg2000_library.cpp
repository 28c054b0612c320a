// OpenJPEG glue: messages and stream callbacks over TLmStream.

#include "codecs/jpeg2000/jpeg2000_library.h"

#include <exception>

#include "codecs/jpeg2000/jpeg2000.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

// OpenJPEG's chunk size: it reads and writes through a buffer of this size.
constexpr OPJ_SIZE_T kStreamBufferSize = OPJ_J2K_STREAM_CHUNK_SIZE;

constexpr OPJ_SIZE_T kStreamFailed = static_cast<OPJ_SIZE_T>(-1);

std::string OneLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

TOpjStreamTarget& TargetOf(void* data) { return *static_cast<TOpjStreamTarget*>(data); }

OPJ_SIZE_T ReadCallback(void* buffer, OPJ_SIZE_T count, void* data) {
  TOpjStreamTarget& target = TargetOf(data);
  try {
    const size_t done = target.Stream->Read(buffer, count);
    return done == 0 ? kStreamFailed : done;
  } catch (const std::exception&) {
    target.MediumFailed = true;
    return kStreamFailed;
  }
}

OPJ_SIZE_T WriteCallback(void* buffer, OPJ_SIZE_T count, void* data) {
  TOpjStreamTarget& target = TargetOf(data);
  try {
    if (target.Stream->Write(buffer, count) == count) return count;
  } catch (const std::exception&) {
  }
  target.MediumFailed = true;
  return kStreamFailed;
}

OPJ_OFF_T SkipCallback(OPJ_OFF_T count, void* data) {
  TOpjStreamTarget& target = TargetOf(data);
  try {
    const int64_t position = target.Stream->Position();
    if (position + count < target.Origin) return -1;
    target.Stream->SetPosition(position + count);
    return count;
  } catch (const std::exception&) {
    target.MediumFailed = true;
    return -1;
  }
}

OPJ_BOOL SeekCallback(OPJ_OFF_T position, void* data) {
  TOpjStreamTarget& target = TargetOf(data);
  if (position < 0) return OPJ_FALSE;
  try {
    target.Stream->SetPosition(target.Origin + position);
    return OPJ_TRUE;
  } catch (const std::exception&) {
    target.MediumFailed = true;
    return OPJ_FALSE;
  }
}

TOpjStream OpenStream(TOpjStreamTarget& target, bool input) {
  TOpjStream stream(opj_stream_create(kStreamBufferSize, input ? OPJ_TRUE : OPJ_FALSE));
  if (!stream) return stream;
  opj_stream_set_user_data(stream.get(), &target, nullptr);
  if (input) {
    opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(target.Stream->BytesLeft()));
    opj_stream_set_read_function(stream.get(), ReadCallback);
  } else {
    opj_stream_set_write_function(stream.get(), WriteCallback);
  }
  opj_stream_set_skip_function(stream.get(), SkipCallback);
  opj_stream_set_seek_function(stream.get(), SeekCallback);
  return stream;
}

}  // namespace

void TOpjMessages::Attach(opj_codec_t* codec) {
  opj_set_error_handler(codec, OnError, this);
  opj_set_warning_handler(codec, OnWarning, this);
  opj_set_info_handler(codec, nullptr, nullptr);
}

void TOpjMessages::OnError(const char* message, void* self) {
  auto& messages = *static_cast<TOpjMessages*>(self);
  if (messages.firstError_.empty()) messages.firstError_ = OneLine(message);
}

void TOpjMessages::OnWarning(const char* message, void* self) {
  auto& messages = *static_cast<TOpjMessages*>(self);
  // Hostile streams can raise a warning per marker; the first few say enough.
  if (messages.warnings_.size() < 4096) messages.warnings_ += OneLine(message) + "\n";
}

std::string TOpjMessages::Reason(const char* fallback) const {
  return firstError_.empty() ? std::string(fallback) : firstError_;
}

bool TOpjMessages::HasWarning(const char* fragment) const { return warnings_.find(fragment) != std::string::npos; }

TOpjStream OpenReadStream(TOpjStreamTarget& target) {
  target.Origin = target.Stream->Position();
  return OpenStream(target, true);
}

TOpjStream OpenWriteStream(TOpjStreamTarget& target) {
  target.Origin = target.Stream->Position();
  return OpenStream(target, false);
}

const char* J2000LibraryVersion() { return opj_version(); }

}  // namespace lumora
