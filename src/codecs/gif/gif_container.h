// The GIF block structure: header and logical screen, colour tables, the
// graphic control extension, image descriptors, and one walk over a whole
// file that the reader, the composited load and the frame counter share.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imageio/stream.h"

namespace lumora {

inline constexpr std::uint8_t kGifExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kGifImageIntroducer = 0x2C;
inline constexpr std::uint8_t kGifTrailer = 0x3B;
inline constexpr std::uint8_t kGifControlLabel = 0xF9;
inline constexpr std::uint8_t kGifCommentLabel = 0xFE;
inline constexpr std::size_t kGifHeaderSize = 13;
inline constexpr std::size_t kGifDescriptorSize = 9;

struct TGifRgb {
  std::uint8_t Red = 0, Green = 0, Blue = 0;
  bool operator==(const TGifRgb&) const = default;
};

// A global or local colour table: 2^(SizeExponent + 1) entries.
struct TGifColorTable {
  bool Present = false;
  int SizeExponent = 0;  // 0 to 7, the 3-bit field of the packed byte
  std::array<TGifRgb, 256> Entries{};

  int Count() const { return 2 << SizeExponent; }
  // Reads Count() entries; a short read leaves the missing ones black.
  void Read(TLmStream& stream);
};

// Header and logical screen descriptor.
struct TGifScreen {
  std::string Version;  // signature and version, 6 characters as read
  int Width = 0;
  int Height = 0;
  std::uint8_t Packed = 0;
  std::uint8_t BackgroundIndex = 0;
  std::uint8_t AspectRatio = 0;
  TGifColorTable GlobalTable;
};

// Values of a graphic control extension; all 0 for a frame without one.
struct TGifControl {
  std::uint8_t Packed = 0;  // bit 0 transparency, bits 2-4 disposal method
  int Delay = 0;            // hundredths of a second
  std::uint8_t TransparentIndex = 0;

  bool HasTransparency() const { return (Packed & 1) != 0; }
  int Disposal() const { return (Packed >> 2) & 7; }
};

struct TGifDescriptor {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::uint8_t Packed = 0;
  bool Interlaced() const { return (Packed & 0x40) != 0; }
  bool HasLocalTable() const { return (Packed & 0x80) != 0; }
};

// One frame as the walk found it. The local table stays in the stream
// (ReadLocalTable) so that a file of many frames costs no memory per frame.
struct TGifFrameEntry {
  TGifDescriptor Descriptor;
  TGifControl Control;
  std::int64_t LocalTablePosition = -1;  // -1: no local table
  std::int64_t DataPosition = 0;         // the LZW minimum code size byte
  std::int64_t DataLength = 0;           // bytes of the data sub-blocks, length bytes excluded

  TGifColorTable ReadLocalTable(TLmStream& stream) const;
};

struct TGifFileScan {
  TGifScreen Screen;
  int FrameCount = 0;
  std::vector<std::string> Comments;  // one per non-empty comment sub-block
  bool HeaderEndsStream = false;      // nothing follows the header and global table
};

// Called for each frame with its 0-based index once the walk has passed its
// data; may move the stream (the walk puts it back). Returning false ends
// the walk there.
using TGifFrameVisitor = std::function<bool(int index, const TGifFrameEntry& frame)>;

// Reads the 13-byte header and the global colour table. False when the
// signature is not "GIF" or the header is cut short.
bool GifReadScreen(TLmStream& stream, TGifScreen& screen);

// Walks the blocks after the header to the trailer or the end of the stream,
// seeking over image data, counting frames and collecting comments. The
// stream must stand after the global table.
void GifWalkBlocks(TLmStream& stream, TGifFileScan& scan, const TGifFrameVisitor& visit = {});

// Bytes of data sub-blocks that can describe at most this many pixels each:
// a 12-bit code stands for a string of at most 4096 pixels, so one bit of
// code data yields at most 4096 / 12 pixels. A frame that claims more pixels
// than its data can describe is not plausible.
inline constexpr std::uint64_t kGifMaxPixelsPerDataByte = 4096 * 8 / 12 + 1;
// Frames this small are accepted whatever their data (an empty frame, a
// frame whose data is missing), so only large claims need the data.
inline constexpr std::uint64_t kGifPixelsWithoutData = 4096;

// Whether the frame's data could describe its pixels (see above).
bool GifFrameIsPlausible(const TGifFrameEntry& frame);

}  // namespace lumora
