#include "codecs/jpeg/jpeg_markers.h"

#include <algorithm>
#include <cstring>

#include "imageio/byteorder.h"

namespace lumora {

namespace {

constexpr char kPhotoshopId[] = "Photoshop 3.0";
constexpr uint8_t kIptcResource[] = {'8', 'B', 'I', 'M', 0x04, 0x04};
constexpr uint8_t kResolutionResource[] = {'8', 'B', 'I', 'M', 0x03, 0xED};
constexpr uint8_t kIptcTag = 0x1C;
// Bytes of an ICC chunk header: "ICC_PROFILE", 0, sequence number, count.
constexpr size_t kIccHeaderSize = 14;
// The identifier bytes that mark an XMP segment; a segment shorter than
// kXmpMinLength cannot hold the identifier and a packet.
constexpr size_t kXmpCompareLength = 24;
constexpr size_t kXmpMinLength = 30;

bool StartsWith(std::span<const uint8_t> data, std::span<const uint8_t> prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::span<const uint8_t> Bytes(const char* text, size_t count) {
  return {reinterpret_cast<const uint8_t*>(text), count};
}

// Offset of the first occurrence of `needle` in `data`, or data.size().
size_t Find(std::span<const uint8_t> data, std::span<const uint8_t> needle) {
  auto it = std::search(data.begin(), data.end(), needle.begin(), needle.end());
  return static_cast<size_t>(it - data.begin());
}

bool IsIccChunk(const TLmMarkerList::TMarker& m) {
  return m.Type == kJpegMarkerApp2 && m.Data.size() >= kIccHeaderSize &&
         JpegMarkerHasId(m.Data, "ICC_PROFILE");
}

void AppendBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  const size_t at = out.size();
  out.resize(at + bytes.size());
  if (!bytes.empty()) std::memcpy(out.data() + at, bytes.data(), bytes.size());
}

void AppendBE16(std::vector<uint8_t>& out, uint16_t v) {
  uint8_t b[2];
  WriteBE16(b, v);
  out.insert(out.end(), b, b + 2);
}

void AppendBE32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteBE32(b, v);
  out.insert(out.end(), b, b + 4);
}

}  // namespace

// --- TLmMarkerList -------------------------------------------------------------

int TLmMarkerList::IndexOf(uint8_t type) const {
  for (size_t i = 0; i < markers_.size(); ++i)
    if (markers_[i].Type == type) return static_cast<int>(i);
  return -1;
}

int TLmMarkerList::Add(uint8_t type, std::span<const uint8_t> data) {
  if (data.size() > kJpegMaxMarkerData) return -1;
  markers_.push_back({type, {data.begin(), data.end()}});
  return Count() - 1;
}

bool TLmMarkerList::Replace(int index, uint8_t type, std::span<const uint8_t> data) {
  if (index < 0 || index >= Count() || data.size() > kJpegMaxMarkerData) return false;
  markers_[static_cast<size_t>(index)] = {type, {data.begin(), data.end()}};
  return true;
}

void TLmMarkerList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  markers_.erase(markers_.begin() + index);
}

void TLmMarkerList::SortForWriting() {
  std::stable_sort(markers_.begin(), markers_.end(),
                   [](const TMarker& a, const TMarker& b) { return a.Type < b.Type; });

  // ICC chunks by sequence number, in the places the chunks already hold, so
  // other APP2 segments between them stay where they are.
  std::vector<size_t> slots;
  for (size_t i = 0; i < markers_.size(); ++i)
    if (IsIccChunk(markers_[i]) && markers_[i].Data.size() > 13) slots.push_back(i);
  std::vector<TMarker> chunks;
  for (size_t slot : slots) chunks.push_back(std::move(markers_[slot]));
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const TMarker& a, const TMarker& b) { return a.Data[12] < b.Data[12]; });
  for (size_t i = 0; i < slots.size(); ++i) markers_[slots[i]] = std::move(chunks[i]);

  auto isApp1 = [](const TMarker& m) { return m.Type == kJpegMarkerApp1; };
  auto firstApp1 = std::find_if(markers_.begin(), markers_.end(), isApp1);
  auto exif = std::find_if(markers_.begin(), markers_.end(),
                           [](const TMarker& m) { return IsExifMarker(m.Type, m.Data); });
  if (exif != markers_.end() && firstApp1 < exif) std::rotate(firstApp1, exif, exif + 1);
}

// --- Identification ------------------------------------------------------------

bool JpegMarkerHasId(std::span<const uint8_t> data, const char* id) {
  return StartsWith(data, Bytes(id, std::strlen(id) + 1));
}

bool IsExifMarker(uint8_t type, std::span<const uint8_t> data) {
  return type == kJpegMarkerApp1 && JpegMarkerHasId(data, "Exif");
}

bool IsXmpMarker(uint8_t type, std::span<const uint8_t> data) {
  return type == kJpegMarkerApp1 && data.size() >= kXmpMinLength &&
         StartsWith(data, Bytes(kXmpNamespaceId, kXmpCompareLength));
}

bool IsJfifMarker(uint8_t type, std::span<const uint8_t> data) {
  return type == kJpegMarkerApp0 && JpegMarkerHasId(data, "JFIF");
}

// --- ICC -------------------------------------------------------------------------

std::optional<std::vector<uint8_t>> CollectIccProfile(const TLmMarkerList& markers) {
  // Chunks are numbered from 1; the first chunk seen announces the count.
  std::vector<const TLmMarkerList::TMarker*> chunks;
  size_t found = 0;
  for (const auto& m : markers.Markers()) {
    if (!IsIccChunk(m)) continue;
    const size_t sequence = m.Data[12];
    const size_t count = m.Data[13];
    if (chunks.empty()) {
      if (count == 0) return std::nullopt;
      chunks.assign(count, nullptr);
    }
    if (sequence == 0 || sequence > chunks.size() || chunks[sequence - 1] != nullptr) continue;
    chunks[sequence - 1] = &m;
    if (++found == chunks.size()) break;
  }
  if (chunks.empty() || found != chunks.size()) return std::nullopt;
  std::vector<uint8_t> profile;
  for (const auto* chunk : chunks)
    profile.insert(profile.end(), chunk->Data.begin() + kIccHeaderSize, chunk->Data.end());
  return profile;
}

// --- IPTC ------------------------------------------------------------------------

bool ParseIptcApp13(std::span<const uint8_t> data, std::vector<TIptcRecord>& records) {
  size_t pos = 0;
  if (StartsWith(data, Bytes(kPhotoshopId, sizeof kPhotoshopId - 1))) {
    // A Photoshop block without an IPTC resource holds no records; scanning
    // its other resources for 0x1C bytes would only find noise.
    pos = Find(data, kIptcResource);
    if (pos == data.size()) return false;
    pos += sizeof kIptcResource;
  }
  while (pos < data.size() && data[pos] != kIptcTag) ++pos;
  while (pos + 1 < data.size() && data[pos + 1] == kIptcTag) ++pos;

  bool added = false;
  while (pos < data.size() && data[pos] == kIptcTag && data.size() - pos >= 5) {
    const uint8_t* p = data.data() + pos;
    uint64_t length;
    size_t header;
    if (p[3] & 0x80) {
      if (data.size() - pos < 9) break;
      length = ReadBE32(p + 5);
      header = 9;
    } else {
      length = ReadBE16(p + 3);
      header = 5;
    }
    if (length > data.size() - pos - header) break;
    TIptcRecord record;
    record.Record = p[1];
    record.Dataset = p[2];
    record.Data.assign(p + header, p + header + length);
    records.push_back(std::move(record));
    added = true;
    pos += header + static_cast<size_t>(length);
  }
  return added;
}

std::vector<uint8_t> BuildIptcApp13(std::span<const TIptcRecord> records) {
  std::vector<uint8_t> body;
  for (const TIptcRecord& r : records) {
    if ((r.Record == 2 && r.Dataset == 0) || r.Data.empty()) continue;
    body.push_back(kIptcTag);
    body.push_back(r.Record);
    body.push_back(r.Dataset);
    if (r.Data.size() < 0x8000) {
      AppendBE16(body, static_cast<uint16_t>(r.Data.size()));
    } else {
      body.push_back(0x80);
      body.push_back(0x04);
      AppendBE32(body, static_cast<uint32_t>(r.Data.size()));
    }
    body.insert(body.end(), r.Data.begin(), r.Data.end());
  }
  std::vector<uint8_t> block;
  AppendBytes(block, Bytes(kPhotoshopId, sizeof kPhotoshopId));  // with its zero
  AppendBytes(block, kIptcResource);
  block.push_back(0);  // empty resource name, padded to two bytes
  block.push_back(0);
  AppendBE32(block, static_cast<uint32_t>(body.size()));
  block.insert(block.end(), body.begin(), body.end());
  if (block.size() % 2 != 0) block.push_back(0);
  return block;
}

bool PatchApp13Resolution(std::vector<uint8_t>& data, int dpiX, int dpiY) {
  const size_t at = Find(data, kResolutionResource);
  // Resource id, empty name (two bytes), 32-bit size, then the data.
  const size_t sizeAt = at + sizeof kResolutionResource + 2;
  constexpr size_t kInfoSize = 16;
  if (at == data.size() || data.size() < sizeAt + 4) return false;
  const uint32_t size = ReadBE32(data.data() + sizeAt);
  const size_t infoAt = sizeAt + 4;
  if (size < kInfoSize || data.size() - infoAt < kInfoSize) return false;
  auto fixed = [](int dpi) { return static_cast<uint32_t>(std::clamp(dpi, 0, 0xFFFF)) << 16; };
  uint8_t* p = data.data() + infoAt;
  WriteBE32(p, fixed(dpiX));
  WriteBE16(p + 4, 1);  // resolution in pixels per inch
  WriteBE16(p + 6, 1);  // width shown in inches
  WriteBE32(p + 8, fixed(dpiY));
  WriteBE16(p + 12, 1);
  WriteBE16(p + 14, 1);
  return true;
}

// --- XMP -------------------------------------------------------------------------

std::optional<std::string> ExtractXmpPacket(uint8_t type, std::span<const uint8_t> data) {
  if (!IsXmpMarker(type, data)) return std::nullopt;
  const auto zero = std::find(data.begin(), data.end(), uint8_t{0});
  if (zero == data.end()) return std::nullopt;
  return std::string(zero + 1, data.end());
}

std::vector<uint8_t> BuildXmpApp1(const std::string& packet) {
  std::vector<uint8_t> data;
  AppendBytes(data, Bytes(kXmpNamespaceId, sizeof kXmpNamespaceId));  // with its zero
  AppendBytes(data, Bytes(packet.data(), packet.size()));
  return data;
}

// --- Scans -------------------------------------------------------------------------

int64_t FindJpegSignature(std::span<const uint8_t> head) {
  for (size_t i = 0; i < kJpegStartWindow && i + 2 < head.size(); ++i)
    if (head[i] == 0xFF && head[i + 1] == 0xD8 && head[i + 2] == 0xFF) return static_cast<int64_t>(i);
  return -1;
}

size_t TJpegLengthScanner::Feed(std::span<const uint8_t> data) {
  size_t i = 0;
  while (i < data.size() && state_ != TState::Done) {
    if (state_ == TState::Skip) {
      const uint64_t step = std::min<uint64_t>(skip_, data.size() - i);
      i += static_cast<size_t>(step);
      skip_ -= step;
      if (skip_ == 0) state_ = TState::Byte;
      continue;
    }
    const uint8_t b = data[i++];
    switch (state_) {
      case TState::Byte:
        if (b == 0xFF) state_ = TState::Marker;
        break;
      case TState::Marker:
        if (b == 0xD9) {
          state_ = TState::Done;
        } else if ((b >= 0xC0 && b <= 0xCF) || (b >= 0xDA && b <= 0xFE)) {
          state_ = TState::LengthHigh;
        } else if (b != 0xFF) {  // 0xFF is a fill byte before the marker
          state_ = TState::Byte;
        }
        break;
      case TState::LengthHigh:
        length_ = uint32_t{b} << 8;
        state_ = TState::LengthLow;
        break;
      case TState::LengthLow:
        length_ |= b;
        // The length counts its own two bytes.
        skip_ = length_ > 2 ? length_ - 2 : 0;
        state_ = skip_ > 0 ? TState::Skip : TState::Byte;
        break;
      default:
        break;
    }
  }
  consumed_ += i;
  return i;
}

}  // namespace lumora
