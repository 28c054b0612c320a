#include "codecs/tiff/tiff_directory.h"

#include <cstring>

#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/stream.h"

namespace lumora {

std::optional<TTiffHeader> ReadTiffHeader(TLmStream& stream, int64_t base) {
  uint8_t h[8];
  stream.SetPosition(base);
  if (!stream.ReadExact(h, sizeof h)) return std::nullopt;
  TTiffHeader header;
  if (h[0] == 'I' && h[1] == 'I') {
    header.BigEndian = false;
  } else if (h[0] == 'M' && h[1] == 'M') {
    header.BigEndian = true;
  } else {
    return std::nullopt;
  }
  header.Version = header.BigEndian ? ReadBE16(h + 2) : ReadLE16(h + 2);
  header.FirstIfdOffset = header.BigEndian ? ReadBE32(h + 4) : ReadLE32(h + 4);
  return header;
}

bool TTiffDirectory::Read(TLmStream& stream, int64_t base, uint32_t offset, bool bigEndian) {
  entries_.clear();
  nextOffset_ = 0;
  bigEndian_ = bigEndian;
  stream.SetPosition(base + offset);
  uint8_t countBytes[2];
  if (!stream.ReadExact(countBytes, 2)) return false;
  uint16_t count = bigEndian ? ReadBE16(countBytes) : ReadLE16(countBytes);
  if (count == 0) return false;
  // At most 65535 * 12 bytes, and never more than the stream holds.
  if (CheckReadBlock(count, 12, stream.BytesLeft()) != TSizeCheck::Ok) return false;
  std::vector<uint8_t> raw(size_t{count} * 12);
  if (!stream.ReadExact(raw.data(), raw.size())) return false;
  entries_.resize(count);
  TByteCursor cursor(raw, bigEndian);
  for (TTiffEntry& e : entries_) {
    e.Tag = cursor.U16();
    e.Type = cursor.U16();
    e.Count = cursor.U32();
    cursor.Copy(e.RawValue, 4);
    e.Value = bigEndian ? ReadBE32(e.RawValue) : ReadLE32(e.RawValue);
  }
  uint8_t next[4];
  if (stream.ReadExact(next, 4)) nextOffset_ = bigEndian ? ReadBE32(next) : ReadLE32(next);
  return true;
}

const TTiffEntry* TTiffDirectory::Find(uint16_t tag) const {
  for (const TTiffEntry& e : entries_)
    if (e.Tag == tag) return &e;
  return nullptr;
}

int64_t TTiffDirectory::Integer(uint16_t tag, int64_t fallback) const {
  const TTiffEntry* e = Find(tag);
  if (!e) return fallback;
  switch (e->Type) {
    case ttByte: return e->RawValue[0];
    case ttShort: return bigEndian_ ? ReadBE16(e->RawValue) : ReadLE16(e->RawValue);
    case ttLong: return e->Value;
    default: return fallback;
  }
}

}  // namespace lumora
