#include "codecs/jpeg/jpeg_io.h"

namespace lumora {

namespace {

TJpegSource& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<TJpegSource*>(cinfo->src); }
TJpegDestination& DestinationOf(j_compress_ptr cinfo) { return *reinterpret_cast<TJpegDestination*>(cinfo->dest); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo).StartOfImage = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  TJpegSource& source = SourceOf(cinfo);
  size_t count = 0;
  bool failed = false;
  try {
    count = source.Stream->Read(source.Buffer.data(), source.Buffer.size());
  } catch (...) {
    failed = true;
  }
  if (failed) JpegFailFromCallback(reinterpret_cast<j_common_ptr>(cinfo), "Error reading JPEG data");
  source.InsertedEnd = count == 0;
  if (count == 0) {
    if (source.StartOfImage) source.Progress->Abort();
    // An inserted end of image lets the library finish the image with what
    // it has; it warns about the premature end.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source.Buffer[0] = 0xFF;
    source.Buffer[1] = JPEG_EOI;
    count = 2;
  }
  source.StartOfImage = false;
  source.Base.next_input_byte = source.Buffer.data();
  source.Base.bytes_in_buffer = count;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& base = SourceOf(cinfo).Base;
  size_t left = static_cast<size_t>(count);
  while (left > base.bytes_in_buffer) {
    left -= base.bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  base.next_input_byte += left;
  base.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr cinfo) {
  // Give back what was read ahead, so the stream stands right after the
  // image (framed data, several images in one stream).
  TJpegSource& source = SourceOf(cinfo);
  if (source.Base.bytes_in_buffer == 0 || source.InsertedEnd) return;
  try {
    source.Stream->Seek(-static_cast<int64_t>(source.Base.bytes_in_buffer), TSeekOrigin::Current);
  } catch (...) {
  }
}

void InitDestination(j_compress_ptr cinfo) {
  TJpegDestination& destination = DestinationOf(cinfo);
  destination.Base.next_output_byte = destination.Buffer.data();
  destination.Base.free_in_buffer = destination.Buffer.size();
}

// Writes `count` bytes of the buffer; a short write sets the aborting flag
// (the writer stops at the next row), a stream error fails the call.
void Flush(j_compress_ptr cinfo, size_t count) {
  TJpegDestination& destination = DestinationOf(cinfo);
  size_t written = 0;
  bool failed = false;
  try {
    written = destination.Stream->Write(destination.Buffer.data(), count);
  } catch (...) {
    failed = true;
  }
  if (failed) JpegFailFromCallback(reinterpret_cast<j_common_ptr>(cinfo), "Error writing JPEG data");
  if (written != count) destination.Progress->Abort();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  Flush(cinfo, DestinationOf(cinfo).Buffer.size());
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TJpegDestination& destination = DestinationOf(cinfo);
  const size_t count = destination.Buffer.size() - destination.Base.free_in_buffer;
  if (count > 0) Flush(cinfo, count);
}

void MonitorProgress(j_common_ptr cinfo) {
  auto* monitor = reinterpret_cast<TJpegProgressMonitor*>(cinfo->progress);
  if (monitor->Progress->Aborting()) JpegFailFromCallback(cinfo, "Aborted");
  if (cinfo->is_decompressor) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kJpegMaxScans) JpegFailFromCallback(cinfo, "Too many scans");
  }
}

}  // namespace

void AttachJpegSource(j_decompress_ptr cinfo, TJpegSource& source, TLmStream& stream, TIOProgress& progress) {
  source.Stream = &stream;
  source.Progress = &progress;
  source.Buffer.resize(kJpegIoBufferSize);
  source.StartOfImage = true;
  source.Base.init_source = InitSource;
  source.Base.fill_input_buffer = FillInputBuffer;
  source.Base.skip_input_data = SkipInputData;
  source.Base.resync_to_restart = jpeg_resync_to_restart;
  source.Base.term_source = TermSource;
  source.Base.next_input_byte = nullptr;
  source.Base.bytes_in_buffer = 0;
  cinfo->src = &source.Base;
}

void AttachJpegDestination(j_compress_ptr cinfo, TJpegDestination& destination, TLmStream& stream,
                           TIOProgress& progress) {
  destination.Stream = &stream;
  destination.Progress = &progress;
  destination.Buffer.resize(kJpegIoBufferSize);
  destination.Base.init_destination = InitDestination;
  destination.Base.empty_output_buffer = EmptyOutputBuffer;
  destination.Base.term_destination = TermDestination;
  cinfo->dest = &destination.Base;
}

void AttachJpegProgressMonitor(j_common_ptr cinfo, TJpegProgressMonitor& monitor, TIOProgress& progress) {
  monitor.Progress = &progress;
  monitor.Base.progress_monitor = MonitorProgress;
  cinfo->progress = &monitor.Base;
}

}  // namespace lumora
