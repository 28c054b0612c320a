// The process-wide registry of file formats: names, extensions, and whether
// a format can be read or written. Built-in formats come from the format
// table (imageio/formats.h) and are dispatched by id; formats registered
// from outside bring their own reader, writer and probe.
//
// The registry is built on first use and then only read; registration from
// outside must happen before I/O runs on other threads (there is no lock).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "imageio/codec.h"
#include "imageio/filetypes.h"
#include "imageio/formats.h"

namespace lumora {

struct TLmFileFormatInfo {
  TFileTypeId FileTypeId = ftUnknown;
  std::string DisplayName;
  std::string ExtensionList;  // without dots, separated by ";"
  bool BuiltIn = false;       // from the format table, dispatched by id
  uint16_t ParamsPages = 0;   // TParamsPage bits
  TReadFunction Reader = nullptr;  // nullptr: cannot be read (for built-ins: no codec, or switched off)
  TWriteFunction Writer = nullptr; // nullptr: cannot be written
  TProbeFunction Probe = nullptr;  // content recognition (external formats only)
};

// Appends an entry; the registry owns it. Duplicates are not checked: the
// earlier entry wins every lookup.
void RegisterFileFormat(std::unique_ptr<TLmFileFormatInfo> entry);
// Removes and frees the first entry with the id; nothing when there is none.
void UnregisterFileFormat(TFileTypeId fileType);

// The first entry with the id, or nullptr.
const TLmFileFormatInfo* FindFormatByType(TFileTypeId fileType);
// The first entry one of whose extensions equals `extension` (ASCII case
// folded, one leading dot ignored), or nullptr. "" matches nothing.
const TLmFileFormatInfo* FindFormatByExtension(std::string_view extension);

// The n-th extension (from 0) of the entry with the id, as listed (upper
// case for the built-in table); "" when the list runs out or the id is unknown.
std::string FormatExtension(TFileTypeId fileType, int index);
int FormatExtensionCount(TFileTypeId fileType);

// The lower-cased extension of a file name: the text from the last "." that
// comes after the last "\", "/" or ":", to the end; "" when there is none.
// Without `withDot` the leading dot is dropped.
std::string ExtractExtension(std::string_view utf8Name, bool withDot);
std::string ExtractExtension(const std::filesystem::path& name, bool withDot);

// Whether a file name's extension belongs to a readable format. The test
// the plugin's entry point and the folder scan use; the content is not read.
bool IsReadableExtension(const std::filesystem::path& name);

// The entries in registration order (for listing formats).
int FormatCount();
const TLmFileFormatInfo* FormatAt(int index);

// Switches a built-in format's reader and writer slots on (back to its
// codec's entry points, when it has them) or off; a format whose codec can
// be switched off at run time (GIF's LZW hooks) calls it.
void SetBuiltInFormatSlots(TFileTypeId fileType, bool readable, bool writable);

// Whether the system HD Photo codec can be created (computed once).
bool HdPhotoCodecAvailable();

}  // namespace lumora
