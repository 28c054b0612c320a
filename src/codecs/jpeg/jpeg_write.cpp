// JpegWriteStream: compressor settings from the parameters, the kept
// markers, and the rows (converted to what the chosen colour space takes).
#include <algorithm>
#include <memory>
#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_error.h"
#include "codecs/jpeg/jpeg_io.h"
#include "imageio/bitmap.h"
#include "imageio/colorconv.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

struct TCompressor {
  jpeg_compress_struct Info{};
  TJpegErrorManager Errors;
  TJpegDestination Destination;
  bool Created = false;

  TCompressor() = default;
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;
  ~TCompressor() {
    if (Created) jpeg_destroy_compress(&Info);
  }
};

UINT16 DensityOf(int32_t dpi) {
  return static_cast<UINT16>(dpi == 0 ? kDefaultDpi : std::clamp(dpi, 1, 0xFFFF));
}

void Configure(jpeg_compress_struct& info, const TLmBitmap& bitmap, const TIOParamsVals& params) {
  J_COLOR_SPACE written;
  info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  // Rows go in as pf24RGB (blue, green, red); the library's extended colour
  // space converts from that order, also for RGB files. CMYK is converted
  // by the I/O layer (it may go through the CMYK profile).
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  switch (params.JpegColorSpace) {
    case kJpegGray: written = JCS_GRAYSCALE; break;
    case kJpegYCbCr: written = JCS_YCbCr; break;
    case kJpegCMYK: written = JCS_CMYK; break;
    case kJpegYCCK: written = JCS_YCCK; break;
    default: written = JCS_RGB; break;
  }
  if (written == JCS_CMYK || written == JCS_YCCK) {
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
  }
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, written);

  info.density_unit = 1;
  info.X_density = DensityOf(params.DpiX);
  info.Y_density = DensityOf(params.DpiY);
  if (params.JpegDctMethod <= kJpegDctFloat) info.dct_method = static_cast<J_DCT_METHOD>(params.JpegDctMethod);
  info.optimize_coding = params.JpegOptimalHuffman ? TRUE : FALSE;
  info.smoothing_factor = std::clamp(params.JpegSmooth, 0, 100);
  jpeg_set_quality(&info, params.JpegQuality, TRUE);

  if (written == JCS_YCbCr) {
    static constexpr int kLumaSampling[3][2] = {{2, 1}, {2, 2}, {1, 1}};
    if (params.JpegChromaSubsampling < 3) {
      info.comp_info[0].h_samp_factor = kLumaSampling[params.JpegChromaSubsampling][0];
      info.comp_info[0].v_samp_factor = kLumaSampling[params.JpegChromaSubsampling][1];
    }
    for (int c = 1; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  }
  // The library writes a JFIF header for gray and YCbCr only; CMYK files
  // carry one as well (with the Adobe marker).
  if (written == JCS_CMYK) info.write_JFIF_header = TRUE;
  if (params.JpegProgressive) jpeg_simple_progression(&info);
}

void WriteMarkers(TCompressor& c, TLmMarkerList& markers) {
  markers.SortForWriting();
  for (const auto& m : markers.Markers()) {
    // The library writes its own Adobe segment (APP14) where one belongs;
    // anything but APPn and COM would break the file's structure.
    const bool appOrComment = (m.Type >= kJpegMarkerApp0 && m.Type <= 0xEF) || m.Type == kJpegMarkerCom;
    if (m.Type == kJpegMarkerApp14 || !appOrComment) continue;
    JpegGuard(c.Errors, [&] {
      jpeg_write_marker(&c.Info, m.Type, m.Data.data(), static_cast<unsigned>(m.Data.size()));
    });
  }
}

void WriteRows(TCompressor& c, const TLmBitmap& bitmap, TIOProgress& progress) {
  jpeg_compress_struct& info = c.Info;
  const int width = bitmap.Width();
  const bool toCmyk = info.in_color_space == JCS_CMYK;
  const bool toBgr = bitmap.PixelFormat() != pf24RGB;
  std::vector<uint8_t> bgr(toBgr ? size_t(width) * 3 : 0);
  std::vector<uint8_t> cmyk(toCmyk ? size_t(width) * 4 : 0);

  progress.SetTotalUnits(bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    if (toBgr) {
      PixelRowToBGR(bitmap.PixelFormat(), row, bgr.data(), width, bitmap.Palette(), bitmap.PaletteLength());
      row = bgr.data();
    }
    if (toCmyk) {
      ConvertRow(row, clBGR, cmyk.data(), size_t(width), clCMYK);
      row = cmyk.data();
    }
    // The library only reads input rows; its API just lacks the const.
    JSAMPROW sample = const_cast<JSAMPROW>(row);
    JpegGuard(c.Errors, [&] { jpeg_write_scanlines(&info, &sample, 1); });
    if (!progress.ReportIfChanged(y + 1)) return;
  }
}

}  // namespace

void JpegWriteStream(TLmStream& stream, const TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
    progress.Abort();
    return;
  }
  auto c = std::make_unique<TCompressor>();
  c->Info.err = InitJpegErrorManager(c->Errors, progress);
  if (!JpegTry(c->Errors, [&] { jpeg_create_compress(&c->Info); })) {
    progress.Abort();
    return;
  }
  c->Created = true;
  AttachJpegDestination(&c->Info, c->Destination, stream, progress);
  try {
    JpegGuard(c->Errors, [&] { Configure(c->Info, bitmap, params); });
    JpegGuard(c->Errors, [&] { jpeg_start_compress(&c->Info, TRUE); });
    WriteMarkers(*c, params.JpegMarkers);
    WriteRows(*c, bitmap, progress);
    if (!progress.Aborting()) JpegGuard(c->Errors, [&] { jpeg_finish_compress(&c->Info); });
  } catch (const EIEJpegException&) {
    progress.Abort();
  }
}

void WriteJpeg(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  PrepareJpegMarkersForSave(params);
  JpegWriteStream(stream, bitmap, params, progress);
}

}  // namespace lumora
