// GifCountFrames: counts the frames of a GIF file without decoding pixels,
// and can drop one frame and rewrite the file.

#include <array>
#include <filesystem>
#include <cstdint>
#include <system_error>

#include "codecs/gif/gif.h"
#include "codecs/gif/gif_container.h"
#include "codecs/gif/gif_lzw_routines.h"
#include "imageio/errors.h"
#include "imageio/osfile.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// Collects the copy in memory, or only counts when there is no copy.
class TCopyBuffer {
 public:
  explicit TCopyBuffer(bool keep) : keep_(keep) {}
  bool Keeps() const { return keep_; }
  size_t Size() const { return bytes_.size(); }
  void Put(const uint8_t* data, size_t count) {
    if (keep_) bytes_.insert(bytes_.end(), data, data + count);
  }
  void Put(uint8_t b) { Put(&b, 1); }
  void TruncateTo(size_t size) { bytes_.resize(size); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  bool keep_;
  std::vector<uint8_t> bytes_;
};

// Copies `count` bytes as far as the source holds them; false when it ran out.
bool CopyBytes(TLmStream& source, TCopyBuffer& out, size_t count) {
  if (!out.Keeps()) {
    const int64_t left = source.BytesLeft();
    source.Seek(static_cast<int64_t>(count), TSeekOrigin::Current);
    return left >= static_cast<int64_t>(count);
  }
  std::array<uint8_t, 768> buffer;
  while (count > 0) {
    const size_t want = std::min(count, buffer.size());
    const size_t got = source.Read(buffer.data(), want);
    out.Put(buffer.data(), got);
    if (got < want) return false;
    count -= got;
  }
  return true;
}

// Copies data sub-blocks up to and including the zero-length terminator.
void CopySubBlocks(TLmStream& source, TCopyBuffer& out) {
  if (!out.Keeps()) {
    GifSkipSubBlocks(source);
    return;
  }
  uint8_t length = 0;
  while (source.Read(&length, 1) == 1) {
    out.Put(length);
    if (length == 0 || !CopyBytes(source, out, length)) return;
  }
}

}  // namespace

int GifCopyFrames(TLmStream& source, int dropIndex, TLmStream* copy) {
  std::array<uint8_t, kGifHeaderSize> header{};
  if (!source.ReadExact(header.data(), header.size()) || header[0] != 'G' || header[1] != 'I' || header[2] != 'F')
    return 0;
  TCopyBuffer out(copy != nullptr);
  header[3] = '8';
  header[4] = '9';
  header[5] = 'a';
  out.Put(header.data(), header.size());
  if (header[10] & 0x80) CopyBytes(source, out, 3 * (size_t{2} << (header[10] & 7)));

  const int64_t size = source.Size();
  int count = 0;
  int frameIndex = 0;
  constexpr size_t kNoControl = SIZE_MAX;
  size_t controlStart = kNoControl;  // where the control extension of the next frame begins in the copy
  uint8_t introducer = 0;
  while (source.Read(&introducer, 1) == 1 && source.Position() < size && introducer != kGifTrailer) {
    if (introducer == kGifExtensionIntroducer) {
      uint8_t label = 0;
      if (source.Read(&label, 1) != 1) break;
      if (label == kGifControlLabel) controlStart = out.Size();
      out.Put(introducer);
      out.Put(label);
      CopySubBlocks(source, out);
    } else if (introducer == kGifImageIntroducer) {
      const bool drop = frameIndex++ == dropIndex;
      const size_t frameStart = out.Size();
      out.Put(introducer);
      std::array<uint8_t, kGifDescriptorSize> d{};
      const size_t got = source.Read(d.data(), d.size());
      out.Put(d.data(), got);
      if (got == d.size()) {
        if (d[8] & 0x80) CopyBytes(source, out, 3 * (size_t{2} << (d[8] & 7)));
        uint8_t codeSize = 0;
        if (source.Read(&codeSize, 1) == 1) {
          out.Put(codeSize);
          CopySubBlocks(source, out);
        }
      }
      if (drop) {
        out.TruncateTo(controlStart != kNoControl ? controlStart : frameStart);
      } else {
        ++count;
      }
      controlStart = kNoControl;
    }
    // Stray bytes between blocks are not copied.
  }
  out.Put(kGifTrailer);
  if (copy) {
    if (!copy->WriteExact(out.Bytes().data(), out.Bytes().size())) throw ELmStreamError("Short write of GIF copy");
  }
  return count;
}

int GifCountFrames(const std::filesystem::path& name, int dropIndex, bool rewrite) {
  if (!rewrite) {
    TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
    TLmBufferedReadStream buffered(file);
    return GifCopyFrames(buffered, dropIndex, nullptr);
  }
  TLmMemoryStream copy;
  int count = 0;
  {
    TLmWideFileStream file(name, TFileOpenMode::ReadDenyWrite);
    TLmBufferedReadStream buffered(file);
    count = GifCopyFrames(buffered, dropIndex, &copy);
  }
  if (copy.Data().empty()) return count;  // not a GIF: the file stays as it is
  // The copy goes to a file beside the original, which it then replaces, so
  // that a failed write never leaves half a file behind.
  std::filesystem::path temporary = name;
  temporary += ".lumora-tmp";
  try {
    TLmWideFileStream out(temporary, TFileOpenMode::Create);
    if (!out.WriteExact(copy.Data().data(), copy.Data().size())) throw ELmStreamError("Short write of GIF copy");
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
  std::error_code error;
  std::filesystem::rename(temporary, name, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw ELmFileError("Cannot replace file \"" + PathToUtf8(ExpandFileName(name)) + "\"", 0);
  }
  return count;
}

int CountGif(TLmStream& stream) {
  try {
    return GifCopyFrames(stream, -1, nullptr);
  } catch (...) {
    return 0;
  }
}

}  // namespace lumora
