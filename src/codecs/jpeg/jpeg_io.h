// The library's data source and destination over our streams, and the
// progress monitor that stops a decode on request or when a file asks for
// an absurd number of scans.
//
// Each object is plain data that a decompressor or compressor points at; it
// must outlive the library object that uses it. Their callbacks run inside
// library calls, so they never let a C++ exception escape: a stream error
// fails the call through the error manager (see jpeg_error.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/jpeg/jpeg_error.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

// Size of the source and destination buffers.
inline constexpr size_t kJpegIoBufferSize = 0x10000;

// Legitimate encoders write a few dozen scans at most; a progressive file
// with more is hostile (each scan walks the whole coefficient buffer).
inline constexpr int kJpegMaxScans = 1000;

struct TJpegSource {
  jpeg_source_mgr Base;  // first: the library sees this object through it
  TLmStream* Stream = nullptr;      // not owned
  TIOProgress* Progress = nullptr;  // not owned
  std::vector<uint8_t> Buffer;
  bool StartOfImage = true;  // no byte delivered since init_source
  bool InsertedEnd = false;  // the buffer holds our end-of-image marker, not stream data
};

// Reads from the stream's current position. When the stream ends, the
// source hands the library an end-of-image marker (and a warning), so a
// truncated file keeps what was decoded; an empty stream sets the aborting
// flag. Finishing the decode puts the stream right after the data used.
void AttachJpegSource(j_decompress_ptr cinfo, TJpegSource& source, TLmStream& stream, TIOProgress& progress);

struct TJpegDestination {
  jpeg_destination_mgr Base;  // first
  TLmStream* Stream = nullptr;      // not owned
  TIOProgress* Progress = nullptr;  // not owned
  std::vector<uint8_t> Buffer;
};

// Writes at the stream's position; a short write sets the aborting flag.
void AttachJpegDestination(j_compress_ptr cinfo, TJpegDestination& destination, TLmStream& stream,
                           TIOProgress& progress);

struct TJpegProgressMonitor {
  jpeg_progress_mgr Base;  // first
  TIOProgress* Progress = nullptr;  // not owned
};

// Lets the caller's aborting flag end long library calls (a progressive
// image is decoded whole inside jpeg_start_decompress) and bounds the scans.
void AttachJpegProgressMonitor(j_common_ptr cinfo, TJpegProgressMonitor& monitor, TIOProgress& progress);

}  // namespace lumora
