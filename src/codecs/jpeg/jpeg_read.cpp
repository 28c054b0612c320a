// JpegReadStream: header, colour space and scale choice, the size checks,
// row decoding into the pixel container, then the kept markers and the
// metadata they carry.
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "imageio/thumbnail.h"
#include "codecs/jpeg/jpeg_error.h"
#include "codecs/jpeg/jpeg_exif.h"
#include "codecs/jpeg/jpeg_io.h"
#include "codecs/jpeg/jpeg_metadata.h"
#include "imageio/bitmap.h"
#include "imageio/checked.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

// Huffman coding spends at least one bit on every 8 x 8 block of a
// component (two in a sequential scan: the DC difference and the end of
// block), so one byte of data describes at most 512 pixels. A header that
// claims more than twice that for the bytes the stream holds is rejected
// before anything is allocated for it (a 65500 x 65500 header in a 1 KB
// file would ask for a 12 GB bitmap).
constexpr uint64_t kMaxPixelsPerHuffmanByte = 1024;
// The arithmetic coder adapts until a flat area costs almost nothing: cjpeg
// writes a flat gray 6000 x 4000 picture in 125 bytes. Such files get a
// far wider allowance, which still keeps a 1 KB file from claiming more
// than a billion pixels.
constexpr uint64_t kMaxPixelsPerArithmeticByte = 1 << 20;

// Everything one decode owns; the destructor frees the library object on
// every path. Not movable: the library keeps pointers into it.
struct TDecompressor {
  jpeg_decompress_struct Info{};
  TJpegErrorManager Errors;
  TJpegSource Source;
  TJpegSource TablesSource;
  TJpegProgressMonitor Monitor;
  bool Created = false;

  TDecompressor() = default;
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;
  ~TDecompressor() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

enum class TOutput { Unknown, Gray, Color, YCbCr, Cmyk };

struct TColorChoice {
  TOutput Output = TOutput::Unknown;
  J_COLOR_SPACE LibrarySpace = JCS_UNKNOWN;
};

// Steps the file's colour space into the parameters and picks what the
// library delivers. Colour comes out blue, green, red (pf24RGB order) from
// YCbCr and RGB files alike: the library's extended colour spaces do the
// swap that RGB data needs.
TColorChoice ChooseColorSpace(const jpeg_decompress_struct& info, const TJpegReadOptions& options,
                              TIOParamsVals& params) {
  TColorChoice choice;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      params.JpegColorSpace = kJpegGray;
      params.SamplesPerPixel = 1;
      choice = {TOutput::Gray, options.NativePixelFormat ? JCS_GRAYSCALE : JCS_EXT_BGR};
      break;
    case JCS_RGB:
      params.JpegColorSpace = kJpegRGB;
      params.SamplesPerPixel = 3;
      choice = {TOutput::Color, JCS_EXT_BGR};
      break;
    case JCS_YCbCr:
      params.JpegColorSpace = kJpegYCbCr;
      params.SamplesPerPixel = 3;
      choice = {TOutput::Color, JCS_EXT_BGR};
      break;
    case JCS_CMYK:
      params.JpegColorSpace = kJpegCMYK;
      params.SamplesPerPixel = 4;
      choice = {TOutput::Cmyk, JCS_CMYK};
      break;
    case JCS_YCCK:
      params.JpegColorSpace = kJpegYCCK;
      params.SamplesPerPixel = 4;
      choice = {TOutput::Cmyk, JCS_CMYK};
      break;
    default:
      break;
  }
  if (options.RawYCbCr) choice = {TOutput::YCbCr, JCS_YCbCr};
  return choice;
}

void SetDensity(const jpeg_decompress_struct& info, TIOParamsVals& params) {
  double x, y;
  switch (info.density_unit) {
    case 0:  // aspect ratio only, or no JFIF header (1:1); replaced by the default later
    case 1:
      x = info.X_density;
      y = info.Y_density;
      break;
    case 2:
      x = info.X_density / 2.54;
      y = info.Y_density / 2.54;
      break;
    default:
      return;
  }
  params.DpiX = static_cast<int32_t>(x);
  params.DpiY = static_cast<int32_t>(y);
  params.DpiXExact = x;
  params.DpiYExact = y;
}

// The scale denominator for JpegScale; 0 when the library's default stays.
unsigned ChooseScale(const jpeg_decompress_struct& info, const TIOParamsVals& params) {
  switch (params.JpegScale) {
    case kJpegScaleFull: return 1;
    case kJpegScaleHalf: return 2;
    case kJpegScaleQuarter: return 4;
    case kJpegScaleEighth: return 8;
    case kJpegScaleAuto:
      if (params.Width <= 0 || params.Height <= 0) return 1;
      for (int n = 3; n >= 0; --n) {
        if ((info.image_width >> n) >= static_cast<unsigned>(params.Width) &&
            (info.image_height >> n) >= static_cast<unsigned>(params.Height))
          return 1u << n;
      }
      return 1;
    default:
      return 0;
  }
}

TLmPixelFormat PixelFormatFor(TOutput output, bool native) {
  if (!native) return pf24RGB;
  switch (output) {
    case TOutput::Gray: return pf8g;
    case TOutput::Color:
    case TOutput::YCbCr: return pf24RGB;
    case TOutput::Cmyk: return pfCMYK;
    default: return pfNone;
  }
}

// Whether the data after the start of image could hold the pixels the
// header claims, and whether libjpeg's whole-image buffers (progressive and
// multi-scan files) fit our block ceiling; the latter is enforced by the
// library's own memory manager.
bool AcceptDataSize(jpeg_decompress_struct& info, int64_t dataBytes) {
  const uint64_t pixels = uint64_t{info.image_width} * info.image_height;
  const uint64_t perByte = info.arith_code ? kMaxPixelsPerArithmeticByte : kMaxPixelsPerHuffmanByte;
  const auto describable = CheckedMul(static_cast<uint64_t>(std::max<int64_t>(dataBytes, 0)), perByte);
  if (describable && pixels > *describable) return false;
  info.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(ImageLimits().MaxReadBlock, LONG_MAX));
  return true;
}

// Copies the saved segments into JpegMarkers. The JFIF header is dropped:
// the writer makes a fresh one.
void KeepMarkers(const jpeg_decompress_struct& info, TLmMarkerList& markers) {
  markers.Clear();
  bool jfifSkipped = false;
  for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
    std::span<const uint8_t> data(m->data, m->data_length);
    if (!jfifSkipped && IsJfifMarker(m->marker, data)) {
      jfifSkipped = true;
      continue;
    }
    markers.Add(m->marker, data);
  }
}

// Decodes the rows into the bitmap; returns the number decoded.
int DecodeRows(TDecompressor& d, TLmBitmap& bitmap, TOutput output, const TJpegReadOptions& options,
               int maxRows, TIOProgress& progress) {
  jpeg_decompress_struct& info = d.Info;
  const bool convertCmyk = output == TOutput::Cmyk && bitmap.PixelFormat() == pf24RGB;
  const bool bufferRow = convertCmyk || (output == TOutput::Cmyk && options.InvertCmyk);
  std::vector<uint8_t> buffer(bufferRow ? size_t{info.output_width} * 4 : 0);
  const size_t cmykBytes = size_t{info.output_width} * 4;

  progress.SetTotalUnits(info.output_height);
  int rows = 0;
  while (info.output_scanline < info.output_height && rows < maxRows) {
    uint8_t* row = bitmap.ScanLine(rows);
    JSAMPROW target = bufferRow ? buffer.data() : row;
    JpegGuard(d.Errors, [&] { jpeg_read_scanlines(&info, &target, 1); });
    if (bufferRow) {
      // TIFF stores CMYK with 0 meaning no ink; our pfCMYK is inverted.
      if (options.InvertCmyk)
        for (uint8_t& b : buffer) b = static_cast<uint8_t>(255 - b);
      if (convertCmyk)
        ConvertRow(buffer.data(), clCMYK, row, info.output_width, clBGR);
      else
        std::copy_n(buffer.data(), cmykBytes, row);
    }
    ++rows;
    if (!progress.ReportIfChanged(rows)) break;
  }
  return rows;
}

// Header to pixels. Returns the rows decoded; `completed` tells whether
// every row the library had was read (the decompression may be finished).
int Decode(TDecompressor& d, TLmStream& stream, int64_t start, TLmBitmap& bitmap, TIOParamsVals& params,
           const TJpegReadOptions& options, TIOProgress& progress, bool& completed) {
  jpeg_decompress_struct& info = d.Info;
  if (options.Tables && options.Tables != &stream) {
    AttachJpegSource(&info, d.TablesSource, *options.Tables, progress);
    JpegGuard(d.Errors, [&] { jpeg_read_header(&info, FALSE); });
  }
  AttachJpegSource(&info, d.Source, stream, progress);
  JpegGuard(d.Errors, [&] {
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    for (int i = 0; i < 16; ++i) jpeg_save_markers(&info, JPEG_APP0 + i, 0xFFFF);
    jpeg_read_header(&info, TRUE);
  });

  params.ImageCount = 1;
  params.BitsPerSample = 8;
  const TColorChoice color = ChooseColorSpace(info, options, params);
  if (color.Output != TOutput::Unknown) info.out_color_space = color.LibrarySpace;
  if (params.JpegDctMethod <= kJpegDctFloat) info.dct_method = static_cast<J_DCT_METHOD>(params.JpegDctMethod);
  SetDensity(info, params);
  params.ColorMap.clear();
  params.JpegProgressive = info.progressive_mode != FALSE;
  params.OriginalWidth = static_cast<int32_t>(info.image_width);
  params.OriginalHeight = static_cast<int32_t>(info.image_height);
  if (const unsigned denominator = ChooseScale(info, params)) {
    info.scale_num = 1;
    info.scale_denom = denominator;
  }
  params.JpegScaleUsed = static_cast<int32_t>(info.scale_denom);

  if (options.ParamsOnly) {
    params.Width = params.OriginalWidth;
    params.Height = params.OriginalHeight;
    return 0;
  }
  if (color.Output == TOutput::Unknown) {
    // Neither gray, colour nor CMYK (two-component or unlabelled
    // four-component data): nothing we could show.
    progress.Abort();
    return 0;
  }

  JpegGuard(d.Errors, [&] { jpeg_calc_output_dimensions(&info); });
  const TLmPixelFormat format = PixelFormatFor(color.Output, options.NativePixelFormat);
  if (!AcceptDataSize(info, stream.Size() - start) ||
      CheckImageDimensions(info.output_width, info.output_height, PixelFormatBits(format)) != TSizeCheck::Ok) {
    progress.Abort();
    return 0;
  }
  JpegGuard(d.Errors, [&] { jpeg_start_decompress(&info); });
  params.Width = static_cast<int32_t>(info.output_width);
  params.Height = static_cast<int32_t>(info.output_height);
  if (!bitmap.Allocate(params.Width, params.Height, format)) {
    progress.Abort();
    return 0;
  }
  const int maxRows = options.MaxRows < 0 ? bitmap.Height() : std::min(options.MaxRows, bitmap.Height());
  const int rows = DecodeRows(d, bitmap, color.Output, options, maxRows, progress);
  completed = info.output_scanline >= info.output_height;
  if (rows < maxRows) progress.Abort();
  return rows;
}

// The EXIF thumbnail in place of the image (thumbnail views): a
// parameters-only pass reads the metadata; true when it yielded a thumbnail,
// which is then in `bitmap`.
bool LoadExifThumbnailInstead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params,
                              const TJpegReadOptions& options, TIOProgress& progress) {
  const int64_t position = stream.Position();
  const int32_t width = params.Width, height = params.Height;
  params.JpegGetExifThumbnail = false;
  TJpegReadOptions pass = options;
  pass.ParamsOnly = true;
  pass.ReadMetadata = true;
  pass.ReadIcc = false;
  JpegReadStream(stream, bitmap, params, pass, progress);
  stream.SetPosition(position);
  params.JpegGetExifThumbnail = true;
  if (TakeExifThumbnail(params, bitmap)) return true;
  params.Width = params.OriginalWidth = width;
  params.Height = params.OriginalHeight = height;
  return false;
}

}  // namespace

int JpegReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, const TJpegReadOptions& options,
                   TIOProgress& progress) {
  if (kJpegExifReaderAvailable && params.JpegGetExifThumbnail && !options.ParamsOnly &&
      LoadExifThumbnailInstead(stream, bitmap, params, options, progress))
    return 0;

  params.JpegWarningCount = 0;
  params.JpegWarningCode = 0;
  const int64_t start = FindJpegStart(stream);
  if (start < 0) {
    progress.Abort();
    return 0;
  }
  stream.SetPosition(start);

  auto d = std::make_unique<TDecompressor>();
  d->Info.err = InitJpegErrorManager(d->Errors, progress);
  if (!JpegTry(d->Errors, [&] { jpeg_create_decompress(&d->Info); })) {
    progress.Abort();
    return 0;
  }
  d->Created = true;
  AttachJpegProgressMonitor(reinterpret_cast<j_common_ptr>(&d->Info), d->Monitor, progress);

  int rows = 0;
  bool completed = false;
  try {
    rows = Decode(*d, stream, start, bitmap, params, options, progress, completed);
  } catch (const EIEJpegException&) {
    progress.Abort();  // already set by the error manager; the rows decoded stay
  }

  KeepMarkers(d->Info, params.JpegMarkers);
  if (options.ReadIcc)
    if (auto profile = CollectIccProfile(params.JpegMarkers)) params.InputIccProfile = std::move(*profile);
  if (!progress.Aborting() && !options.ParamsOnly && completed) {
    // Errors while finishing a complete decode do not matter.
    JpegTry(d->Errors, [&] { jpeg_finish_decompress(&d->Info); });
  }
  if (d->Errors.WarningCount > 0) {
    params.JpegWarningCount = d->Errors.WarningCount;
    params.JpegWarningCode = d->Errors.LastWarningCode;
  }
  d.reset();

  if (options.ReadMetadata) ReadJpegMetadata(params, bitmap, !options.ParamsOnly);
  return rows;
}

int64_t FindJpegStart(TLmStream& stream) {
  TStreamPositionGuard guard(stream);
  uint8_t head[kJpegStartWindow + 2];
  const size_t count = stream.Read(head, sizeof head);
  const int64_t offset = FindJpegSignature({head, count});
  return offset < 0 ? -1 : guard.Start() + offset;
}

int64_t JpegStreamLength(TLmStream& stream) {
  TStreamPositionGuard guard(stream);
  TJpegLengthScanner scanner;
  std::vector<uint8_t> buffer(8192);
  while (!scanner.Finished()) {
    const size_t count = stream.Read(buffer.data(), buffer.size());
    if (count == 0) break;
    scanner.Feed({buffer.data(), count});
  }
  return static_cast<int64_t>(scanner.Consumed());
}

void ReadJpeg(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  TJpegReadOptions options;
  options.NativePixelFormat = params.NativePixelFormat;
  options.ParamsOnly = paramsOnly;
  JpegReadStream(stream, bitmap, params, options, progress);
}

// EXIF thumbnails are about 160 x 120: they serve boxes up to this size.
constexpr int kExifThumbnailBox = 200;

void PrepareJpegThumbnail(TIOParamsVals& params, const TThumbnailRequest& request) {
  params.JpegScale = kJpegScaleAuto;
  params.JpegDctMethod = kJpegDctFast;
  params.JpegGetExifThumbnail =
      request.AllowEmbedded && request.Width <= kExifThumbnailBox && request.Height <= kExifThumbnailBox;
}

std::string DescribeJpeg(const TIOParamsVals& params) {
  switch (params.JpegColorSpace) {
    case kJpegGray: return " Gray level";
    case kJpegYCbCr: return " YCbCr";
    case kJpegCMYK: return " CMYK";
    case kJpegYCCK: return " YCbCrK";
    default: return "";
  }
}

}  // namespace lumora
