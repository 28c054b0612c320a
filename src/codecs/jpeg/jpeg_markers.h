// JPEG marker segments and the metadata kept in them: the list of APPn and
// COM segments that a load keeps and a save writes back, the ICC profile
// chunks of APP2, IPTC records and the resolution resource of the Photoshop
// APP13 block, and the XMP packet of APP1. Everything here works on bytes in
// memory; the codec feeds it the segments that the library saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumora {

inline constexpr uint8_t kJpegMarkerApp0 = 0xE0;
inline constexpr uint8_t kJpegMarkerApp1 = 0xE1;
inline constexpr uint8_t kJpegMarkerApp2 = 0xE2;
inline constexpr uint8_t kJpegMarkerApp13 = 0xED;
inline constexpr uint8_t kJpegMarkerApp14 = 0xEE;
inline constexpr uint8_t kJpegMarkerCom = 0xFE;

// A segment's data after its two length bytes; the length counts itself, so
// 65535 - 2 bytes is the most one segment can carry.
inline constexpr size_t kJpegMaxMarkerData = 65533;

// The APPn (0xE0..0xEF) and COM (0xFE) segments of a file, in file order.
class TLmMarkerList {
 public:
  struct TMarker {
    uint8_t Type = 0;
    std::vector<uint8_t> Data;
  };

  int Count() const { return static_cast<int>(markers_.size()); }
  uint8_t MarkerType(int index) const { return markers_.at(static_cast<size_t>(index)).Type; }
  std::span<const uint8_t> MarkerData(int index) const { return markers_.at(static_cast<size_t>(index)).Data; }
  int MarkerLength(int index) const { return static_cast<int>(MarkerData(index).size()); }
  // Index of the first segment of `type`, or -1.
  int IndexOf(uint8_t type) const;

  // Appends a segment and returns its index; -1 when the data does not fit
  // in one segment (more than kJpegMaxMarkerData bytes), which adds nothing.
  int Add(uint8_t type, std::span<const uint8_t> data);
  // Replaces segment `index`; false (nothing changed) for a bad index or
  // data that does not fit in one segment.
  bool Replace(int index, uint8_t type, std::span<const uint8_t> data);
  void Delete(int index);
  void Clear() { markers_.clear(); }
  void Assign(const TLmMarkerList& other) { markers_ = other.markers_; }

  // The order in which a save writes the segments: ascending by type, the
  // chunks of an ICC profile in their sequence order, and the EXIF block in
  // front of any other APP1 segment (readers expect it first).
  void SortForWriting();

  const std::vector<TMarker>& Markers() const { return markers_; }

 private:
  std::vector<TMarker> markers_;
};

// True when `data` begins with the zero-terminated identifier `id`
// (e.g. "Exif", "ICC_PROFILE", "JFIF").
bool JpegMarkerHasId(std::span<const uint8_t> data, const char* id);

// An APP1 segment holding an EXIF block ("Exif", 0, 0, then a TIFF structure).
bool IsExifMarker(uint8_t type, std::span<const uint8_t> data);
// An APP1 segment holding an XMP packet (the XMP namespace identifier).
bool IsXmpMarker(uint8_t type, std::span<const uint8_t> data);
// An APP0 segment holding the JFIF header.
bool IsJfifMarker(uint8_t type, std::span<const uint8_t> data);

// --- ICC profile (APP2 "ICC_PROFILE" chunks) -------------------------------

// Joins the ICC chunks of the list in their sequence order. nullopt when the
// list has none, or when a chunk of the announced sequence is missing.
std::optional<std::vector<uint8_t>> CollectIccProfile(const TLmMarkerList& markers);

// --- IPTC (Photoshop APP13) --------------------------------------------------

struct TIptcRecord {
  uint8_t Record = 0;
  uint8_t Dataset = 0;
  std::vector<uint8_t> Data;
};

// Parses the IPTC records of an APP13 segment into `records` (appending).
// True when at least one record was found.
bool ParseIptcApp13(std::span<const uint8_t> data, std::vector<TIptcRecord>& records);

// The APP13 segment that stores `records`: "Photoshop 3.0", one 8BIM IPTC
// resource with the records (except record 2 dataset 0 and empty ones),
// padded to an even length.
std::vector<uint8_t> BuildIptcApp13(std::span<const TIptcRecord> records);

// Writes the horizontal and vertical resolution (dots per inch) into the
// resolution resource (8BIM 0x03ED) of an APP13 segment, when it has one of
// at least 16 bytes. False when there is none.
bool PatchApp13Resolution(std::vector<uint8_t>& data, int dpiX, int dpiY);

// --- XMP (APP1) --------------------------------------------------------------

// The namespace identifier that begins an XMP APP1 segment, with its
// terminating zero (29 bytes).
inline constexpr char kXmpNamespaceId[] = "http://ns.adobe.com/xap/1.0/";

// The XMP packet of an APP1 XMP segment (the bytes after the identifier).
std::optional<std::string> ExtractXmpPacket(uint8_t type, std::span<const uint8_t> data);
// The APP1 segment data for an XMP packet.
std::vector<uint8_t> BuildXmpApp1(const std::string& packet);

// --- Byte-level scans of a JPEG datastream ------------------------------------

// How many bytes before the start of image a reader tolerates (junk written
// by some cameras and wrappers): the signature must begin within the first
// kJpegStartWindow positions.
inline constexpr size_t kJpegStartWindow = 150;

// Offset of the first 0xFF 0xD8 0xFF within the first kJpegStartWindow
// positions of `head` (which needs kJpegStartWindow + 2 bytes to test them
// all), or -1.
int64_t FindJpegSignature(std::span<const uint8_t> head);

// Walks a datastream segment by segment to its end-of-image marker, the way
// an embedding format (old-style JPEG in TIFF) measures it: feed the bytes
// in pieces; Finished() tells when the walk reached 0xFF 0xD9, and
// Consumed() how many bytes from the start belong to the walk.
class TJpegLengthScanner {
 public:
  // Returns the number of bytes of `data` that the walk used; fewer than
  // data.size() only when it finished inside this piece.
  size_t Feed(std::span<const uint8_t> data);
  bool Finished() const { return state_ == TState::Done; }
  uint64_t Consumed() const { return consumed_; }

 private:
  enum class TState { Byte, Marker, LengthHigh, LengthLow, Skip, Done };
  TState state_ = TState::Byte;
  uint32_t length_ = 0;
  uint64_t skip_ = 0;
  uint64_t consumed_ = 0;
};

}  // namespace lumora
