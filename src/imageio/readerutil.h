// Small helpers every reader uses, so that the size checks and the
// aborting rule are written once.
#pragma once

#include <cstdint>
#include <vector>

namespace lumora {

class TLmStream;
class TIOProgress;

enum class TSizeCheck;

// Turns a failed size check into a reason ("<what> over our limit" or
// "<what> impossible") and answers whether the check passed.
bool FailSizeCheck(TSizeCheck check, const char* what, TIOProgress& progress);

// The limits check a reader runs on the dimensions it read, before it
// allocates anything. On failure (invalid or over our limits) it sets the
// aborting flag and answers false.
bool AcceptImageSize(int64_t width, int64_t height, uint32_t bitsPerPixel, TIOProgress& progress);

// Reads `count` bytes in one piece (compressed data, tables) after checking
// them against the bytes left in the stream and our block ceiling. On
// failure sets the aborting flag, leaves `out` empty and answers false.
bool ReadWholeBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress);

// Like ReadWholeBlock, but a short stream is not a failure: reads up to
// `count` bytes (what is there), for formats that show what a truncated
// file holds. Answers false (aborting set) only when `count` is over our limit.
bool ReadAvailableBlock(TLmStream& stream, uint64_t count, std::vector<uint8_t>& out, TIOProgress& progress);

}  // namespace lumora
