// Overflow-checked size arithmetic and the image-size ceiling.
//
// Every size that comes out of a file goes through these helpers before it
// allocates memory or indexes a buffer. The rules, written once:
//  - divide before multiply: `a > max / b` is tested before `a * b`;
//  - "the file is invalid" (zero or negative sizes, lengths past the data)
//    is kept apart from "the file is valid but over our limit", so callers
//    and tests can tell a hostile file from a merely huge one;
//  - every limit is a named constant that says where it comes from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace lumora {

// Largest width or height a reader accepts. TIFF and BMP can describe up to
// 2^31 pixels per side; no real image needs more than 2^18 (262144, the
// largest side that mapping and stitching tools write), and the ceiling keeps
// a hostile header from asking for absurd row buffers.
inline constexpr int64_t kMaxImageDimension = int64_t{1} << 18;

// Largest number of pixels in one image: 2^32, e.g. 65536 x 65536. A 20000 x
// 20000 picture (4e8 pixels) is well inside; beyond this the temporary-file
// location would need hundreds of gigabytes even at 8 bits per pixel.
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 32;

// Largest block a reader may allocate in one piece for data it reads whole
// (compressed strips, RLE data, metadata), independent of the pixel store,
// which can live in segments or a temporary file. 1 GiB cannot be had in a
// 32-bit process anyway; readers still check the bytes left in the stream.
inline constexpr uint64_t kMaxReadBlock = uint64_t{1} << 30;

// Outcome of a size check.
enum class TSizeCheck {
  Ok,
  Invalid,    // the file contradicts itself: zero/negative size, overflow, data missing
  OverLimit,  // the file is well-formed but exceeds one of our ceilings
};

// Process-wide ceilings. The defaults above serve every program; the fuzz
// harnesses tighten them so that a run stays within its memory budget.
struct TImageLimits {
  int64_t MaxDimension = kMaxImageDimension;
  uint64_t MaxPixels = kMaxImagePixels;
  uint64_t MaxReadBlock = kMaxReadBlock;
};

// Set once at start-up, before any I/O runs (not synchronised).
void SetImageLimits(const TImageLimits& limits);
const TImageLimits& ImageLimits();

// a * b, or nullopt when it does not fit in 64 bits.
constexpr std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b) {
  if (b != 0 && a > std::numeric_limits<uint64_t>::max() / b) return std::nullopt;
  return a * b;
}

// a + b, or nullopt when it does not fit in 64 bits.
constexpr std::optional<uint64_t> CheckedAdd(uint64_t a, uint64_t b) {
  if (a > std::numeric_limits<uint64_t>::max() - b) return std::nullopt;
  return a + b;
}

// A 64-bit size as size_t, or nullopt when it does not fit (32-bit builds).
constexpr std::optional<size_t> ToSizeT(uint64_t value) {
  if (value > std::numeric_limits<size_t>::max()) return std::nullopt;
  return static_cast<size_t>(value);
}

// Bytes in a row of `width` pixels of `bitsPerPixel` bits, padded to a
// multiple of `alignBits` bits (32 for BMP rows and our pixel container, 8
// for byte-aligned rows). nullopt on overflow or a zero alignment.
constexpr std::optional<uint64_t> PaddedRowLength(uint64_t width, uint32_t bitsPerPixel,
                                                  uint32_t alignBits = 32) {
  if (alignBits == 0 || alignBits % 8 != 0) return std::nullopt;
  auto bits = CheckedMul(width, bitsPerPixel);
  if (!bits) return std::nullopt;
  auto padded = CheckedAdd(*bits, alignBits - 1);
  if (!padded) return std::nullopt;
  return (*padded / alignBits) * (alignBits / 8);
}

// Row length times height, or nullopt on overflow.
constexpr std::optional<uint64_t> ImageByteSize(uint64_t rowLength, uint64_t height) {
  return CheckedMul(rowLength, height);
}

// The one check every reader runs on the dimensions it read, before it
// allocates anything: positive sizes, each side and the pixel count within
// the limits, and a row of `bitsPerPixel` bits computable without overflow.
TSizeCheck CheckImageDimensions(int64_t width, int64_t height, uint32_t bitsPerPixel);

// Whether a block of `count` elements of `elementSize` bytes may be read
// whole: computable, within MaxReadBlock, and not larger than the
// `bytesLeft` that the stream still holds (a negative `bytesLeft` means the
// size is unknown and only the ceiling applies).
TSizeCheck CheckReadBlock(uint64_t count, uint64_t elementSize, int64_t bytesLeft);

}  // namespace lumora
