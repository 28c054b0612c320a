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
      : pixels_(pixels), width_(width), rows_(height, interlaced) {
    StartRow();
  }

  bool Full() const { return row_ == nullptr; }
  std::size_t RoomInRow() const { return row_ ? static_cast<std::size_t>(width_ - column_) : 0; }

  // The next `count` bytes of the current row (count <= RoomInRow()), to be
  // written by the caller.
  std::uint8_t* Take(std::size_t count) {
    std::uint8_t* out = row_ + column_;
    column_ += static_cast<int>(count);
    if (column_ == width_) {
      column_ = 0;
      rows_.Next();
      StartRow();
    }
    return out;
  }

  // Writes `count` bytes of `reversed` (a string as the decoder's stack
  // holds it, last byte first) in string order, row by row.
  void PutReversed(const std::uint8_t* reversed, std::size_t count) {
    while (count > 0 && row_) {
      const std::size_t n = std::min(count, static_cast<std::size_t>(width_ - column_));
      std::uint8_t* out = row_ + column_;
      for (std::size_t i = 0; i < n; ++i) out[i] = reversed[count - 1 - i];
      count -= n;
      column_ += static_cast<int>(n);
      if (column_ == width_) {
        column_ = 0;
        rows_.Next();
        StartRow();
      }
    }
  }

 private:
  void StartRow() {
    row_ = width_ > 0 && !rows_.Done()
               ? pixels_.data() + static_cast<std::size_t>(rows_.Row()) * static_cast<std::size_t>(width_)
               : nullptr;
  }

  std::span<std::uint8_t> pixels_;
  int width_;
  int column_ = 0;
  GifRowSequence rows_;
  std::uint8_t* row_ = nullptr;  // the row being written; null once the frame is full
};

struct DecoderTable {
  std::array<std::uint16_t, kGifLzwMaxCodes> prefix;
  std::array<std::uint8_t, kGifLzwMaxCodes> suffix;  // last byte of the code's string
  std::array<std::uint8_t, kGifLzwMaxCodes> first;   // first byte of the code's string
  std::array<std::uint16_t, kGifLzwMaxCodes> length; // bytes in the code's string
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

  // Table entries are written before they are read; only the literals need
  // setting up.
  auto table = std::make_unique_for_overwrite<DecoderTable>();
  for (int literal = 0; literal < clearCode; ++literal) {
    table->suffix[literal] = table->first[literal] = static_cast<std::uint8_t>(literal);
    table->length[literal] = 1;
  }
  CodeReader reader(data);
  PixelPlacer out(pixels, width, height, interlaced);

  int codeWidth = 0;
  int nextFree = 0;
  int widthLimit = 0;
  int previous = -1;  // -1: the next code starts afresh (after a clear)

  auto resetTable = [&] {
    codeWidth = minCodeSize + 1;
    nextFree = firstFree;
    widthLimit = 1 << codeWidth;
    previous = -1;
  };

  // The new entry is the previous string plus the first byte of the current
  // one. Once every code has been given, the table stays as it is until the
  // next clear code (a "deferred clear"): encoders may go on using it.
  auto addEntry = [&](std::uint8_t firstOfCurrent) __attribute__((always_inline)) {
    if (nextFree >= kGifLzwMaxCodes) return;
    table->prefix[nextFree] = static_cast<std::uint16_t>(previous);
    table->suffix[nextFree] = firstOfCurrent;
    table->first[nextFree] = table->first[previous];
    table->length[nextFree] = static_cast<std::uint16_t>(table->length[previous] + 1);
    ++nextFree;
    if (nextFree == widthLimit && codeWidth < kGifLzwMaxCodeBits) {
      ++codeWidth;
      widthLimit <<= 1;
    }
  };

  // Writes the string of `code`, walking it from its last byte: straight
  // into the row when it fits there, else through the stack. (Inlined: it
  // runs once per code, and codes are what decoding a noisy image costs.)
  auto emit = [&](int code) __attribute__((always_inline)) {
    const std::size_t length = table->length[code];
    if (length <= out.RoomInRow()) {
      std::uint8_t* p = out.Take(length) + length;
      for (std::size_t i = 0; i < length; ++i) {
        *--p = table->suffix[code];
        code = table->prefix[code];
      }
      return;
    }
    for (std::size_t i = 0; i < length; ++i) {
      table->stack[i] = table->suffix[code];
      code = table->prefix[code];
    }
    out.PutReversed(table->stack.data(), length);
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
      emit(code);
      previous = code;
      continue;
    }
    if (code == endCode) return GifLzwResult::kOk;

    if (code < nextFree) {
      addEntry(table->first[code]);
    } else if (code == nextFree && nextFree < kGifLzwMaxCodes) {
      addEntry(table->first[previous]);
    } else {
      return GifLzwResult::kFailed;
    }
    emit(code);
    previous = code;
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
