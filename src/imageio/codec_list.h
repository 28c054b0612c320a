// Every built-in codec, listed once. Adding a format means:
//   1. include its public header (its parameters struct and functions);
//   2. add its parameters struct to TFormatParams;
//   3. add its line to kCodecTable.
// Nothing else in the I/O layer names a format.
#pragma once

#include <string>

#include "imageio/codec.h"
#include "imageio/filetypes.h"

#include "codecs/bmp/bmp.h"
#include "codecs/gif/gif.h"
#include "codecs/jpeg/jpeg.h"
#include "codecs/png/png.h"
#include "codecs/rawbitmap/rawbitmap.h"

namespace lumora {

// The per-format parameter structs, aggregated into TIOParamsVals so that
// their fields keep flat names (Params.BmpVersion, Params.JpegQuality).
// A struct may define, and the I/O layer then calls:
//   void ClearImageInfo();          before every load (metadata of the last image)
//   void SetImageIndex(int index);  the group setter of multi-image formats
//   void SetAutoOrientation(bool);  the group setter of formats with orientation tags
// Defaults come from the default member initialisers.
template <class... TFormat>
struct TFormatParamsOf : TFormat... {
  void ResetFormatParams() { ((static_cast<TFormat&>(*this) = TFormat{}), ...); }
  void ClearFormatImageInfo() {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.ClearImageInfo(); }) static_cast<TFormat&>(*this).ClearImageInfo();
        }(),
        ...);
  }
  void SetFormatImageIndex(int index) {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.SetImageIndex(index); })
            static_cast<TFormat&>(*this).SetImageIndex(index);
        }(),
        ...);
  }
  void SetFormatAutoOrientation(bool on) {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.SetAutoOrientation(on); })
            static_cast<TFormat&>(*this).SetAutoOrientation(on);
        }(),
        ...);
  }
};

using TFormatParams = TFormatParamsOf<TBmpParams, TGifParams, TJpegParams, TPngParams, TRawBitmapParams>;

// Suffix of FileTypeDescription for the last loaded image (" LZW", " ver.3").
using TDescribeFunction = std::string (*)(const TIOParamsVals& params);
// The background colour a load gives the I/O object (and its view), from the
// parameters the reader filled; false leaves the background as it is.
using TLoadedBackgroundFunction = bool (*)(const TIOParamsVals& params, TLmColor& background);

enum TCodecFlags : unsigned {
  // The reader takes its data a few bytes at a time: the load operations
  // hand it an 8192-byte buffered stream.
  cfBufferedRead = 1u << 0,
  // A save to a stream first truncates the stream to length 0.
  cfTruncateBeforeStreamSave = 1u << 1,
};

struct TCodecEntry {
  TFileTypeId FileType = ftUnknown;
  TReadFunction Read = nullptr;            // nullptr: the format cannot be read
  TWriteFunction Write = nullptr;          // nullptr: the format cannot be written
  TCountFunction Count = nullptr;          // nullptr: one image per file
  TDescribeFunction Describe = nullptr;    // nullptr: no description suffix
  const char* SaveExtensions = "";         // what SaveImage maps to this writer, ";"-separated, lower case
  const char* StreamHeaderTag = nullptr;   // 4 characters when StreamHeaders frames the stream form
  unsigned Flags = 0;                      // TCodecFlags
  TLoadedBackgroundFunction LoadedBackground = nullptr;  // nullptr: a load keeps the background
};

inline constexpr TCodecEntry kCodecTable[] = {
    {.FileType = ftBMP, .Read = ReadBmp, .Write = WriteBmp, .Describe = DescribeBmp,
     .SaveExtensions = "bmp;dib;rle", .Flags = cfBufferedRead},
    {.FileType = ftGIF, .Read = ReadGif, .Write = WriteGif, .Count = CountGif, .Describe = DescribeGif,
     .SaveExtensions = "gif", .Flags = cfBufferedRead, .LoadedBackground = GifLoadedBackground},
    {.FileType = ftJPEG, .Read = ReadJpeg, .Write = WriteJpeg, .Describe = DescribeJpeg,
     .SaveExtensions = "jpg;jpeg;jpe;jif", .StreamHeaderTag = "JFIF"},
    {.FileType = ftPNG, .Read = ReadPng, .Write = WritePng, .Describe = DescribePng, .SaveExtensions = "png",
     .Flags = cfBufferedRead},
    // Headerless data into a bitmap the caller allocated: LoadImageAs and
    // the stream form only; no extension maps to it.
    {.FileType = ftRawBitmap, .Read = ReadRawBitmap, .Write = WriteRawBitmap},
};

// The table entry for a built-in file type, or nullptr.
const TCodecEntry* FindCodec(TFileTypeId fileType);

}  // namespace lumora
