// The format table: one descriptor per built-in file type, in the order the
// registry lists them. Everything the I/O layer knows of a format (its
// names, its extensions, its codec's entry points) is in its row of
// formats.cpp; a format whose codec is not built has no reader and no
// writer there, and the registry then does not claim it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imageio/codec.h"
#include "imageio/color.h"
#include "imageio/thumbnail.h"

namespace lumora {

struct TIOParamsVals;

// Pages of the parameters dialog that apply to a format.
enum TParamsPage : uint16_t {
  ppJPEG = 1 << 2,
  ppTIFF = 1 << 3,
  ppGIF = 1 << 4,
  ppBMP = 1 << 5,
  ppPCX = 1 << 6,
  ppPNG = 1 << 7,
  ppTGA = 1 << 8,
  ppJ2000 = 1 << 9,
};

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

struct TFormatDescriptor {
  TFileTypeId FileType = ftUnknown;
  const char* DisplayName = "";
  const char* Extensions = "";             // what the registry lists, upper case, ";"-separated
  const char* SaveExtensions = "";         // what SaveImage maps to this writer, lower case
  uint16_t ParamsPages = 0;                // TParamsPage bits
  TReadFunction Read = nullptr;            // nullptr: the format cannot be read
  TWriteFunction Write = nullptr;          // nullptr: the format cannot be written
  TCountFunction Count = nullptr;          // nullptr: one image per file
  TDescribeFunction Describe = nullptr;    // nullptr: no description suffix
  TLoadedBackgroundFunction LoadedBackground = nullptr;  // nullptr: a load keeps the background
  TPrepareThumbnailFunction PrepareThumbnail = nullptr;  // nullptr: thumbnails are full loads, scaled
  const char* StreamHeaderTag = nullptr;   // 4 characters when StreamHeaders frames the stream form
  unsigned Flags = 0;                      // TCodecFlags
};

// Every built-in format, in registry order.
std::span<const TFormatDescriptor> BuiltInFormats();
// The row of a built-in file type, or nullptr.
const TFormatDescriptor* FindBuiltInFormat(TFileTypeId fileType);
// The row whose writer takes files with this extension (lower or upper
// case, no dot), or nullptr.
const TFormatDescriptor* FindBuiltInWriter(std::string_view extension);

}  // namespace lumora
