// TIFF image file directories (IFDs): the header and the entries of one
// directory, in native byte order. Content detection uses this to
// recognise TIFF, HD Photo and TIFF-structured camera RAW files; the TIFF
// reader and the EXIF reader build on it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lumora {

class TLmStream;

enum TTiffType : uint16_t {
  ttByte = 1,
  ttAscii = 2,
  ttShort = 3,
  ttLong = 4,
  ttRational = 5,
  ttSByte = 6,
  ttUndefined = 7,
  ttSShort = 8,
  ttSLong = 9,
  ttSRational = 10,
  ttFloat = 11,
  ttDouble = 12,
};

struct TTiffEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;      // value-or-offset field as a 32-bit number in native order
  uint8_t RawValue[4] = {};  // the same four bytes as stored in the file
};

struct TTiffHeader {
  bool BigEndian = false;    // "MM"
  uint16_t Version = 0;      // 42 for TIFF, others for TIFF-like RAW formats
  uint32_t FirstIfdOffset = 0;
};

// Reads the 8-byte header at `base`. Fails (nullopt) unless it starts with
// "II" or "MM" and all 8 bytes are there. The version is not checked.
std::optional<TTiffHeader> ReadTiffHeader(TLmStream& stream, int64_t base);

class TTiffDirectory {
 public:
  // Reads the directory at base + offset: its 16-bit entry count, the
  // 12-byte entries and the next-directory offset. Fails when the count is
  // 0 or the entries do not fit in the stream; a missing next offset reads
  // as 0.
  bool Read(TLmStream& stream, int64_t base, uint32_t offset, bool bigEndian);

  const std::vector<TTiffEntry>& Entries() const { return entries_; }
  uint32_t NextOffset() const { return nextOffset_; }
  bool BigEndian() const { return bigEndian_; }

  const TTiffEntry* Find(uint16_t tag) const;
  bool Has(uint16_t tag) const { return Find(tag) != nullptr; }
  // The single integer value of a BYTE, SHORT or LONG entry, taken from the
  // entry itself (a big-endian BYTE is the first byte, a SHORT the first
  // two); `fallback` when the tag is missing or of another type.
  int64_t Integer(uint16_t tag, int64_t fallback) const;

 private:
  std::vector<TTiffEntry> entries_;
  uint32_t nextOffset_ = 0;
  bool bigEndian_ = false;
};

}  // namespace lumora
