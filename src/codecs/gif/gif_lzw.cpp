#include "codecs/gif/gif_lzw.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <memory>
#include <vector>

namespace lumora {

// ---------------------------------------------------------------------------
// Row order

GifRowSequence::GifRowSequence(int height, bool interlaced)
    : height_(std::max(height, 0)), interlaced_(interlaced), step_(interlaced ? 8 : 1) {
  SkipEmptyPasses();
}

void GifRowSequence::Next() {
  if (Done()) return;
  row_ += step_;
  SkipEmptyPasses();
}

void GifRowSequence::SkipEmptyPasses() {
  if (!interlaced_) return;
  // Passes 2, 3 and 4 start at half their step: 4 (step 8), 2 (step 4), 1 (step 2).
  while (row_ >= height_ && pass_ < 3) {
    ++pass_;
    if (pass_ > 1) step_ /= 2;
    row_ = step_ / 2;
  }
}

// ---------------------------------------------------------------------------
// Decoder

namespace {

// Codes are packed least significant bit first.
class CodeReader {
 public:
  explicit CodeReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool Read(int width, int& code) {
    while (bits_ < width) {
      if (next_ == data_.size()) return false;
      acc_ |= std::uint32_t{data_[next_++]} << bits_;
      bits_ += 8;
    }
    code = static_cast<int>(acc_ & ((1u << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return true;
  }

  // Only padding bits of the last byte read are left.
  bool AllConsumed() const { return next_ == data_.size(); }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t next_ = 0;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
};

class PixelPlacer {
 public:
  PixelPlacer(std::span<std::uint8_t> pixels, int width, int height, bool interlaced)
      : pixels_(pixels), width_(width), rows_(height, interlaced) {}

  bool Full() const { return width_ <= 0 || rows_.Done(); }

  void Put(std::uint8_t index) {
    if (Full()) return;
    pixels_[static_cast<std::size_t>(rows_.Row()) * static_cast<std::size_t>(width_) + column_] = index;
    if (++column_ == width_) {
      column_ = 0;
      rows_.Next();
    }
  }

 private:
  std::span<std::uint8_t> pixels_;
  int width_;
  int column_ = 0;
  GifRowSequence rows_;
};

struct DecoderTable {
  std::array<std::uint16_t, kGifLzwMaxCodes> prefix;
  std::array<std::uint8_t, kGifLzwMaxCodes> suffix;
  // Longest possible string: one literal plus one byte per table entry.
  std::array<std::uint8_t, kGifLzwMaxCodes + 1> stack;
};

}  // namespace

GifLzwResult GifLzwDecodeCodes(std::span<const std::uint8_t> data, int minCodeSize, int width,
                               int height, bool interlaced, std::span<std::uint8_t> pixels) {
  if (minCodeSize < kGifLzwMinCodeSizeLow || minCodeSize > kGifLzwMinCodeSizeHigh) {
    return GifLzwResult::kFailed;
  }
  if (width > 0 && height > 0 &&
      pixels.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) {
    assert(false && "pixel buffer smaller than the frame");
    return GifLzwResult::kFailed;
  }

  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  const int firstFree = clearCode + 2;

  auto table = std::make_unique_for_overwrite<DecoderTable>();  // every entry is written before it is read
  CodeReader reader(data);
  PixelPlacer out(pixels, width, height, interlaced);

  int codeWidth = 0;
  int nextFree = 0;
  int widthLimit = 0;
  int previous = -1;           // -1: the next code starts afresh (after a clear)
  std::uint8_t previousFirst = 0;  // first byte of the previous code's string

  auto resetTable = [&] {
    codeWidth = minCodeSize + 1;
    nextFree = firstFree;
    widthLimit = 1 << codeWidth;
    previous = -1;
  };

  // Once every code has been given, the table stays as it is until the next
  // clear code (a "deferred clear"): encoders may go on using the full table.
  auto addEntry = [&](int prefix, std::uint8_t suffix) {
    if (nextFree >= kGifLzwMaxCodes) return;
    table->prefix[nextFree] = static_cast<std::uint16_t>(prefix);
    table->suffix[nextFree] = suffix;
    ++nextFree;
    if (nextFree == widthLimit && codeWidth < kGifLzwMaxCodeBits) {
      ++codeWidth;
      widthLimit <<= 1;
    }
  };

  // Pushes the string of `code` (last byte first) and returns its length.
  auto pushString = [&](int code) {
    std::size_t depth = 0;
    while (code >= firstFree) {
      table->stack[depth++] = table->suffix[code];
      code = table->prefix[code];
    }
    table->stack[depth++] = static_cast<std::uint8_t>(code);
    return depth;
  };

  resetTable();
  int code = 0;
  while (!out.Full()) {
    if (!reader.Read(codeWidth, code)) return GifLzwResult::kOk;  // data ends without end code
    if (code == clearCode) {
      resetTable();
      continue;
    }
    if (previous < 0) {
      if (code == endCode) return reader.AllConsumed() ? GifLzwResult::kOk : GifLzwResult::kFailed;
      if (code >= firstFree) code = 0;
      out.Put(static_cast<std::uint8_t>(code));
      previous = code;
      previousFirst = static_cast<std::uint8_t>(code);
      continue;
    }
    if (code == endCode) return GifLzwResult::kOk;

    std::size_t depth = 0;
    if (code < nextFree) {
      depth = pushString(code);
      addEntry(previous, table->stack[depth - 1]);
    } else if (code == nextFree && nextFree < kGifLzwMaxCodes) {
      addEntry(previous, previousFirst);
      depth = pushString(code);
    } else {
      return GifLzwResult::kFailed;
    }
    previousFirst = table->stack[depth - 1];
    previous = code;
    while (depth > 0) out.Put(table->stack[--depth]);
  }
  return GifLzwResult::kOk;
}

// ---------------------------------------------------------------------------
// Encoder: the classic open-addressing hash of compress(1), as GIF encoders
// have used it since 1987.

namespace {

constexpr int kHashSize = 5003;  // prime, about 80 % occupancy for 4096 codes
constexpr int kHashShift = 4;
constexpr std::size_t kPacketSize = 254;

class CodeWriter {
 public:
  CodeWriter(int initialWidth, const GifByteSink& sink)
      : initialWidth_(initialWidth), width_(initialWidth), maxCode_((1 << initialWidth) - 1), sink_(sink) {}

  // `nextFree` is the encoder's next free code after the entry for this code
  // was (or was not) added: the width grows once it no longer fits.
  void Emit(int code, int nextFree, bool& resetPending) {
    acc_ |= static_cast<std::uint32_t>(code) << bits_;
    bits_ += width_;
    while (bits_ >= 8) {
      PutByte(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
    if (nextFree > maxCode_ || resetPending) {
      if (resetPending) {
        width_ = initialWidth_;
        maxCode_ = (1 << width_) - 1;
        resetPending = false;
      } else {
        ++width_;
        maxCode_ = width_ == kGifLzwMaxCodeBits ? kGifLzwMaxCodes : (1 << width_) - 1;
      }
    }
  }

  void Finish() {
    if (bits_ > 0) PutByte(static_cast<std::uint8_t>(acc_));
    acc_ = 0;
    bits_ = 0;
    FlushPacket();
    const std::uint8_t terminator = 0;
    sink_(std::span(&terminator, 1));
  }

 private:
  void PutByte(std::uint8_t b) {
    packet_[1 + packetLength_++] = b;
    if (packetLength_ == kPacketSize) FlushPacket();
  }

  void FlushPacket() {
    if (packetLength_ == 0) return;
    packet_[0] = static_cast<std::uint8_t>(packetLength_);
    sink_(std::span(packet_.data(), packetLength_ + 1));
    packetLength_ = 0;
  }

  int initialWidth_;
  int width_;
  int maxCode_;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
  std::array<std::uint8_t, kPacketSize + 1> packet_{};
  std::size_t packetLength_ = 0;
  const GifByteSink& sink_;
};

}  // namespace

void GifLzwEncodeCodes(std::span<const std::uint8_t> pixels, int width, int height, int colorBits,
                       bool interlaced, const GifByteSink& sink) {
  const int codeSize = std::clamp(colorBits, 2, 8);
  const std::uint8_t codeSizeByte = static_cast<std::uint8_t>(codeSize);
  sink(std::span(&codeSizeByte, 1));

  const int clearCode = 1 << codeSize;
  const int endCode = clearCode + 1;
  const int largestLiteral = clearCode - 1;
  const std::uint8_t literalLimit = static_cast<std::uint8_t>(std::min(largestLiteral, 255));

  std::vector<std::int32_t> keys(kHashSize, -1);
  std::vector<std::uint16_t> codes(kHashSize, 0);
  CodeWriter writer(codeSize + 1, sink);
  int nextFree = clearCode + 2;
  bool resetPending = false;

  writer.Emit(clearCode, nextFree, resetPending);

  const std::size_t rowLength = width > 0 ? static_cast<std::size_t>(width) : 0;
  const bool hasPixels = rowLength > 0 && height > 0 &&
                         pixels.size() / rowLength >= static_cast<std::size_t>(height);
  if (!hasPixels) {
    writer.Emit(endCode, nextFree, resetPending);
    writer.Finish();
    return;
  }

  int prefix = -1;
  for (GifRowSequence rows(height, interlaced); !rows.Done(); rows.Next()) {
    const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(rows.Row()) * rowLength;
    for (std::size_t x = 0; x < rowLength; ++x) {
      const int k = std::min(row[x], literalLimit);
      if (prefix < 0) {
        prefix = k;
        continue;
      }
      const std::int32_t key = (k << kGifLzwMaxCodeBits) + prefix;
      int slot = (k << kHashShift) ^ prefix;
      if (keys[slot] == key) {
        prefix = codes[slot];
        continue;
      }
      bool found = false;
      if (keys[slot] >= 0) {
        const int displacement = slot == 0 ? 1 : kHashSize - slot;
        do {
          slot -= displacement;
          if (slot < 0) slot += kHashSize;
          if (keys[slot] == key) {
            found = true;
            break;
          }
        } while (keys[slot] > 0);
      }
      if (found) {
        prefix = codes[slot];
        continue;
      }
      writer.Emit(prefix, nextFree, resetPending);
      if (nextFree < kGifLzwMaxCodes) {
        codes[slot] = static_cast<std::uint16_t>(nextFree++);
        keys[slot] = key;
      } else {
        std::fill(keys.begin(), keys.end(), -1);
        nextFree = clearCode + 2;
        resetPending = true;
        writer.Emit(clearCode, nextFree, resetPending);
      }
      prefix = k;
    }
  }
  writer.Emit(prefix, nextFree, resetPending);
  writer.Emit(endCode, nextFree, resetPending);
  writer.Finish();
}

}  // namespace lumora
