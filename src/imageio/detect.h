// Content detection: which format a stream or file holds.
#pragma once

#include <filesystem>

#include "imageio/filetypes.h"

namespace lumora {

class TLmStream;

// The format of the data at the stream's position, by content alone
// (ftUnknown when nothing matches). The position is the same on return;
// nothing is thrown.
TFileTypeId DetectStreamType(TLmStream& stream);

// The format of a file. The content decides; with `verifyExtension` a
// content result that contradicts the file's extension becomes ftUnknown
// (icons and cursors, which share one layout, take the extension's type).
// Camera RAW extensions win over TIFF content; formats registered from
// outside are trusted by extension. Nothing is thrown.
TFileTypeId DetectFileType(const std::filesystem::path& name, bool verifyExtension);

}  // namespace lumora
