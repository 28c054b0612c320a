// Data sub-blocks as the LZW routines and the block walk read them. The
// routines themselves (GifLzwExpand, GifLzwCompress) and the installed hooks
// are declared in gif.h.
#pragma once

#include <cstdint>
#include <vector>

#include "imageio/stream.h"

namespace lumora {

// Gathers the data sub-blocks that follow the stream position (length byte,
// data; up to a zero length or the end of the stream) and leaves the stream
// after them. Reading stops at the end of the stream, so a truncated file
// yields what it holds and the allocation never exceeds the file.
std::vector<std::uint8_t> GifReadSubBlocks(TLmStream& stream);

// Moves the stream past the data sub-blocks that follow, seeking over them.
void GifSkipSubBlocks(TLmStream& stream);

}  // namespace lumora
