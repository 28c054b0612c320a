// Little- and big-endian reads and writes on byte buffers, and a bounded
// cursor for parsing headers held in memory. Every codec uses these instead
// of casting buffers to integer pointers (alignment and host byte order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace lumora {

inline uint16_t ReadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t ReadLE64(const uint8_t* p) { return uint64_t{ReadLE32(p)} | (uint64_t{ReadLE32(p + 4)} << 32); }
inline uint16_t ReadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline uint64_t ReadBE64(const uint8_t* p) { return (uint64_t{ReadBE32(p)} << 32) | uint64_t{ReadBE32(p + 4)}; }

inline void WriteLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void WriteBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void WriteBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Reads a header from memory without ever passing its end: a read beyond the
// data yields zeros and clears Ok(), so a parser can read a whole record and
// test once at the end. Little-endian unless BigEndian is set (TIFF "MM").
class TByteCursor {
 public:
  explicit TByteCursor(std::span<const uint8_t> data, bool bigEndian = false)
      : data_(data), bigEndian_(bigEndian) {}

  bool Ok() const { return ok_; }
  size_t Position() const { return pos_; }
  size_t Size() const { return data_.size(); }
  size_t Left() const { return data_.size() - pos_; }
  bool BigEndian() const { return bigEndian_; }
  void SetBigEndian(bool bigEndian) { bigEndian_ = bigEndian; }

  // Moves to an absolute offset; past the end fails and stays put.
  bool Seek(uint64_t offset) {
    if (offset > data_.size()) return ok_ = false;
    pos_ = static_cast<size_t>(offset);
    return true;
  }
  bool Skip(uint64_t count) {
    if (count > Left()) {
      pos_ = data_.size();
      return ok_ = false;
    }
    pos_ += static_cast<size_t>(count);
    return true;
  }

  // Pointer to the next `count` bytes, or nullptr (and !Ok) when fewer are left.
  const uint8_t* Take(size_t count) {
    if (count > Left()) {
      ok_ = false;
      pos_ = data_.size();
      return nullptr;
    }
    const uint8_t* p = data_.data() + pos_;
    pos_ += count;
    return p;
  }
  bool Copy(void* out, size_t count) {
    const uint8_t* p = Take(count);
    if (!p) {
      std::memset(out, 0, count);
      return false;
    }
    std::memcpy(out, p, count);
    return true;
  }

  uint8_t U8() {
    const uint8_t* p = Take(1);
    return p ? *p : 0;
  }
  uint16_t U16() {
    const uint8_t* p = Take(2);
    return p ? (bigEndian_ ? ReadBE16(p) : ReadLE16(p)) : 0;
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return p ? (bigEndian_ ? ReadBE32(p) : ReadLE32(p)) : 0;
  }
  uint64_t U64() {
    const uint8_t* p = Take(8);
    return p ? (bigEndian_ ? ReadBE64(p) : ReadLE64(p)) : 0;
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  int32_t I32() { return static_cast<int32_t>(U32()); }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool bigEndian_;
  bool ok_ = true;
};

}  // namespace lumora
