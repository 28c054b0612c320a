#include "codecs/gif/gif_container.h"

#include <algorithm>

#include "codecs/gif/gif_lzw_routines.h"
#include "imageio/byteorder.h"

namespace lumora {

void TGifColorTable::Read(TLmStream& stream) {
  std::array<std::uint8_t, 3 * 256> raw{};
  stream.Read(raw.data(), 3 * static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) Entries[i] = {raw[3 * i], raw[3 * i + 1], raw[3 * i + 2]};
}

bool GifReadScreen(TLmStream& stream, TGifScreen& screen) {
  std::array<std::uint8_t, kGifHeaderSize> h{};
  if (!stream.ReadExact(h.data(), h.size())) return false;
  if (h[0] != 'G' || h[1] != 'I' || h[2] != 'F') return false;
  screen.Version.assign(reinterpret_cast<const char*>(h.data()), 6);
  screen.Width = ReadLE16(&h[6]);
  screen.Height = ReadLE16(&h[8]);
  screen.Packed = h[10];
  screen.BackgroundIndex = h[11];
  screen.AspectRatio = h[12];
  screen.GlobalTable.Present = (screen.Packed & 0x80) != 0;
  screen.GlobalTable.SizeExponent = screen.Packed & 7;
  if (screen.GlobalTable.Present) screen.GlobalTable.Read(stream);
  return true;
}

namespace {

// Reads a graphic control extension after its label: its first sub-block
// holds the packed byte, the delay and the transparent index (a shorter
// block leaves the missing values 0); further sub-blocks are skipped.
TGifControl ReadControl(TLmStream& stream) {
  TGifControl control;
  std::uint8_t length = 0;
  if (stream.Read(&length, 1) != 1 || length == 0) return control;
  std::array<std::uint8_t, 255> block{};
  const std::size_t got = stream.Read(block.data(), length);
  if (got >= 1) control.Packed = block[0];
  if (got >= 3) control.Delay = ReadLE16(&block[1]);
  if (got >= 4) control.TransparentIndex = block[3];
  if (got == length) GifSkipSubBlocks(stream);
  return control;
}

void ReadComments(TLmStream& stream, std::vector<std::string>& comments) {
  std::uint8_t length = 0;
  std::array<char, 255> block{};
  while (stream.Read(&length, 1) == 1 && length != 0) {
    const std::size_t got = stream.Read(block.data(), length);
    if (got > 0) comments.emplace_back(block.data(), got);
    if (got < length) break;
  }
}

// Walks the data sub-blocks without reading them, adding up their lengths.
std::int64_t SkipImageData(TLmStream& stream) {
  const std::int64_t size = stream.Size();
  std::int64_t total = 0;
  std::uint8_t length = 0;
  while (stream.Read(&length, 1) == 1 && length != 0) {
    const std::int64_t next = stream.Seek(length, TSeekOrigin::Current);
    total += std::min<std::int64_t>(length, size - (next - length));
    if (next >= size) break;
  }
  return total;
}

}  // namespace

TGifColorTable TGifFrameEntry::ReadLocalTable(TLmStream& stream) const {
  TGifColorTable table;
  table.SizeExponent = Descriptor.Packed & 7;
  if (LocalTablePosition >= 0) {
    table.Present = true;
    stream.SetPosition(LocalTablePosition);
    table.Read(stream);
  }
  return table;
}

void GifWalkBlocks(TLmStream& stream, TGifFileScan& scan, const TGifFrameVisitor& visit) {
  const std::int64_t size = stream.Size();
  scan.HeaderEndsStream = stream.Position() >= size;
  TGifControl pendingControl;
  std::uint8_t introducer = 0;
  for (;;) {
    if (stream.Read(&introducer, 1) != 1 || stream.Position() >= size) return;  // a missing trailer is fine
    if (introducer == kGifTrailer) return;
    if (introducer == kGifExtensionIntroducer) {
      std::uint8_t label = 0;
      if (stream.Read(&label, 1) != 1) return;
      if (label == kGifControlLabel) {
        pendingControl = ReadControl(stream);
      } else if (label == kGifCommentLabel) {
        ReadComments(stream, scan.Comments);
      } else {
        GifSkipSubBlocks(stream);
      }
    } else if (introducer == kGifImageIntroducer) {
      TGifFrameEntry frame;
      std::array<std::uint8_t, kGifDescriptorSize> d{};
      stream.Read(d.data(), d.size());
      frame.Descriptor = {ReadLE16(&d[0]), ReadLE16(&d[2]), ReadLE16(&d[4]), ReadLE16(&d[6]), d[8]};
      if (frame.Descriptor.HasLocalTable()) {
        frame.LocalTablePosition = stream.Position();
        stream.Seek(3 * (2 << (frame.Descriptor.Packed & 7)), TSeekOrigin::Current);
      }
      frame.Control = pendingControl;
      pendingControl = {};
      frame.DataPosition = stream.Position();
      std::uint8_t codeSize = 0;
      if (stream.Read(&codeSize, 1) == 1) frame.DataLength = SkipImageData(stream);
      const int index = scan.FrameCount++;
      if (visit) {
        const std::int64_t resume = stream.Position();
        const bool goOn = visit(index, frame);
        stream.SetPosition(resume);
        if (!goOn) return;
      }
    }
    // Any other byte is a stray one: the next byte is read as an introducer.
  }
}

bool GifFrameIsPlausible(const TGifFrameEntry& frame) {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(frame.Descriptor.Width) * static_cast<std::uint64_t>(frame.Descriptor.Height);
  return pixels <= kGifPixelsWithoutData ||
         pixels / kGifMaxPixelsPerDataByte <= static_cast<std::uint64_t>(frame.DataLength);
}

}  // namespace lumora
