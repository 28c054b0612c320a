// GIF codec: GIF87a and GIF89a files, read frame by frame or composited as
// a player shows an animation, written as one frame. The LZW coder lives in
// gif_lzw*.{h,cpp}; the block structure in gif_container.*.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imageio/bitmap.h"
#include "codecs/gif/gif_params.h"
#include "imageio/codec.h"

namespace lumora {

// The built-in coders.
void GifLzwExpand(TLmStream& stream, int height, int width, bool interlaced, std::span<uint8_t> pixels);
// A short write raises ELmStreamError.
void GifLzwCompress(TLmStream& stream, int height, int width, int colorBits, std::span<const uint8_t> pixels,
                    bool interlaced);

// The process-wide LZW hooks: the routines new parameter records start with,
// and what decides whether the registry lists GIF as readable and writable.
// Both built-in coders are installed from the start. Installing refreshes
// the registry's GIF entry.
void InstallGifLzwRoutines(TGifLzwDecoder decoder, TGifLzwEncoder encoder);
TGifLzwDecoder InstalledGifLzwDecoder();
TGifLzwEncoder InstalledGifLzwEncoder();
// Sets the GIF entry's reader and writer slots from the installed hooks
// (the open and save dialogs call it before they list formats).
void RefreshGifFormat();

// The codec shape (imageio/codec.h). The load composites frames 0 to
// GifImageIndex (GifLoadComposited); the parameters-only read walks the
// file without decoding pixels.
void ReadGif(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress);
void WriteGif(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);
int CountGif(TLmStream& stream);
std::string DescribeGif(const TIOParamsVals& params);
// After a load the I/O object's background becomes the transparent colour
// when the frame has transparency, else the logical screen's background.
bool GifLoadedBackground(const TIOParamsVals& params, TLmColor& background);

// Reads the frame GifImageIndex into `bitmap` and, when it has transparent
// pixels and transparency is not ignored, a mask into `mask` (created when
// needed, freed again when the frame turns out opaque). Walks the whole file
// to count frames and collect comments. Returns the frame count; failure
// sets the aborting flag.
int GifReadFrame(TLmStream& stream, TLmBitmap& bitmap, bool ignoreTransparency, std::unique_ptr<TLmMask>& mask,
                 bool paramsOnly, TIOProgress& progress, TIOParamsVals& params);

// The load of a GIF as a player shows it: frames 0 to GifImageIndex drawn
// one over the other with their disposal methods and transparency. The
// result goes into `bitmap` (alpha channel included); returns the frame count.
int GifLoadComposited(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

void GifWrite(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress);

// Counts the frames of a GIF file without decoding pixels. With `dropIndex`
// >= 0 that frame (and the graphic control extension before it) is left out
// of a copy that replaces the file when `rewrite` is set. Returns the frames
// that remain; 0 when the file is not a GIF. Throws when the file cannot be
// opened or written.
int GifCountFrames(const std::filesystem::path& name, int dropIndex, bool rewrite);

// The same on streams: counts the frames of `source` from its position and,
// when `copy` is given, writes the file without frame `dropIndex` to it.
int GifCopyFrames(TLmStream& source, int dropIndex, TLmStream* copy);

}  // namespace lumora
