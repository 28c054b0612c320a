#include "codecs/png/png_library.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

// Ancillary chunks (text, ICC profiles, ...) are read whole and, when
// compressed, inflated whole; this caps both, so a zlib bomb in a zTXt or
// iCCP chunk stops at this size. libpng's own default is 8 000 000.
constexpr uint64_t kMaxPngChunkBytes = 8'000'000;
// libpng keeps at most this many text, sPLT and unknown chunks (its default).
constexpr png_uint_32 kMaxPngCachedChunks = 1000;
// libpng asks the stream for image data in pieces of this size (8192 by
// default). A piece that the stream cannot fill ends the read, so smaller
// pieces let a truncated file show more of its rows.
constexpr size_t kPngImageDataReadSize = 1024;

// libpng calls this for fatal errors; returning is not allowed, so jump
// back to the PngGuarded frame (libpng would otherwise print the message
// and then jump).
[[noreturn]] void PNGCBAPI PngErrorHandler(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}

// Warnings do not change the outcome of a read or write.
void PNGCBAPI PngWarningHandler(png_structp /*png*/, png_const_charp /*message*/) {}

TPngCallbackState& StateOf(png_structp png) { return *static_cast<TPngCallbackState*>(png_get_io_ptr(png)); }

// The stream calls live in their own functions so that no try block and no
// exception object is alive in the frame that calls png_error.
bool ReadFromStream(TPngCallbackState& state, png_bytep data, size_t length) noexcept {
  try {
    return state.Stream->ReadExact(data, length);
  } catch (...) {
    state.StreamError = std::current_exception();
    return false;
  }
}

bool WriteToStream(TPngCallbackState& state, png_bytep data, size_t length) noexcept {
  try {
    if (!state.Stream->WriteExact(data, length)) state.ShortWrite = true;
    return true;
  } catch (...) {
    state.StreamError = std::current_exception();
    return false;
  }
}

// Whether the chunk whose 8-byte header was just read can be complete: its
// data and CRC must lie within the stream. libpng 1.6 only warns about a
// chunk longer than its chunk limit and then allocates (and clears) a buffer
// of the claimed length for text and profile chunks, so a few bytes could
// ask for gigabytes. Image data is exempt: libpng streams it, and the rows a
// truncated file holds are worth showing.
bool ChunkFitsInStream(TPngCallbackState& state, const png_byte* header) noexcept {
  if (std::memcmp(header + 4, "IDAT", 4) == 0) return true;
  try {
    uint64_t needed = uint64_t{ReadBE32(header)} + 4;  // data and CRC
    int64_t left = state.Stream->BytesLeft();
    return left >= 0 && needed <= static_cast<uint64_t>(left);
  } catch (...) {
    state.StreamError = std::current_exception();
    return false;
  }
}

bool IsChunkHeader(png_structp png, size_t length) {
  return length == 8 && (png_get_io_state(png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_HDR;
}

// Exactly the requested bytes, or a fatal error: a file that ends early is
// a broken file.
void PNGCBAPI PngReadData(png_structp png, png_bytep data, size_t length) {
  TPngCallbackState& state = StateOf(png);
  if (!ReadFromStream(state, data, length)) png_error(png, "unexpected end of data");
  if (IsChunkHeader(png, length) && !ChunkFitsInStream(state, data)) png_error(png, "chunk runs past the end of the data");
}

// A short write is recorded and the writer stops at its next row; a stream
// that raises ends the write at once.
void PNGCBAPI PngWriteData(png_structp png, png_bytep data, size_t length) {
  if (!WriteToStream(StateOf(png), data, length)) png_error(png, "stream write failed");
}

void PNGCBAPI PngFlushData(png_structp /*png*/) {}

void ApplyReadSettings(png_structp png) {
  const TImageLimits& limits = ImageLimits();
  auto side = static_cast<png_uint_32>(std::clamp<int64_t>(limits.MaxDimension, 1, PNG_UINT_31_MAX));
  png_set_user_limits(png, side, side);
  png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(std::min(limits.MaxReadBlock, kMaxPngChunkBytes)));
  png_set_chunk_cache_max(png, kMaxPngCachedChunks);
  png_set_compression_buffer_size(png, kPngImageDataReadSize);
#ifdef LUMORA_FUZZING
  // Mutated inputs almost never carry valid CRCs; checking them would stop
  // the fuzzer at the first chunk.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
}

}  // namespace

TPngReadStruct::TPngReadStruct(TPngCallbackState& state) {
  png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler, PngWarningHandler);
  if (png_ == nullptr) return;
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return;
  png_set_read_fn(png_, &state, PngReadData);
  ApplyReadSettings(png_);
}

TPngReadStruct::~TPngReadStruct() {
  if (png_ != nullptr) png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
}

TPngWriteStruct::TPngWriteStruct(TPngCallbackState& state) {
  png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler, PngWarningHandler);
  if (png_ == nullptr) return;
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return;
  png_set_write_fn(png_, &state, PngWriteData, PngFlushData);
}

TPngWriteStruct::~TPngWriteStruct() {
  if (png_ != nullptr) png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
}

}  // namespace lumora
