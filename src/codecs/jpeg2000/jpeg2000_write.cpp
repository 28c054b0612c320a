// JPEG 2000 writer: builds OpenJPEG's image from the bitmap (gray, or red,
// green, blue and, for transparent images, an opacity component) and
// encodes it losslessly or at the requested rate.

#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/jpeg2000/jpeg2000.h"
#include "codecs/jpeg2000/jpeg2000_library.h"
#include "imageio/bitmap.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

// The I/O layer's gray weights.
int GrayLevel(const uint8_t* bgr) { return (bgr[2] * 21 + bgr[1] * 71 + bgr[0] * 8) / 100; }

// An 8-bit value at the written precision: trunc(v / 255 * (2^p - 1)).
OPJ_INT32 ToPrecision(int value, int precision) {
  return static_cast<OPJ_INT32>(static_cast<int64_t>(value) * ((int64_t{1} << precision) - 1) / 255);
}

// Resolution levels: OpenJPEG's default of 6, fewer for images too small
// to be halved that often.
int ResolutionsFor(int width, int height) {
  int levels = 1;
  while (levels < 6 && (std::min(width, height) >> levels) > 0) ++levels;
  return levels;
}

struct TWriteLayout {
  bool Gray = false;
  bool WithAlpha = false;
  int Precision = 8;
  int Components() const { return (Gray ? 1 : 3) + (WithAlpha ? 1 : 0); }
};

TOpjImage CreateImage(const TLmBitmap& bitmap, const TWriteLayout& layout) {
  std::vector<opj_image_cmptparm_t> parts(static_cast<size_t>(layout.Components()));
  for (size_t i = 0; i < parts.size(); ++i) {
    opj_image_cmptparm_t& part = parts[i];
    part = {};
    part.dx = part.dy = 1;
    part.w = static_cast<OPJ_UINT32>(bitmap.Width());
    part.h = static_cast<OPJ_UINT32>(bitmap.Height());
    const bool alpha = layout.WithAlpha && i + 1 == parts.size();
    part.prec = static_cast<OPJ_UINT32>(alpha ? 8 : layout.Precision);
    part.sgnd = 0;
  }
  TOpjImage image(opj_image_create(static_cast<OPJ_UINT32>(parts.size()), parts.data(),
                                   layout.Gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
  if (!image) return image;
  image->x0 = image->y0 = 0;
  image->x1 = static_cast<OPJ_UINT32>(bitmap.Width());
  image->y1 = static_cast<OPJ_UINT32>(bitmap.Height());
  if (layout.WithAlpha) image->comps[image->numcomps - 1].alpha = 1;
  return image;
}

// Copies the pixels into the components; false when the work was stopped.
bool FillImage(TLmBitmap& bitmap, const TWriteLayout& layout, opj_image_t& image, TIOProgress& progress) {
  const int width = bitmap.Width(), height = bitmap.Height();
  const bool oneBit = bitmap.PixelFormat() == pf1g;
  progress.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    const size_t base = static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; ++x) {
      if (oneBit) {
        image.comps[0].data[base + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      } else if (layout.Gray) {
        image.comps[0].data[base + x] = ToPrecision(GrayLevel(row + 3 * x), layout.Precision);
      } else {
        const uint8_t* p = row + 3 * static_cast<size_t>(x);
        image.comps[0].data[base + x] = ToPrecision(p[2], layout.Precision);
        image.comps[1].data[base + x] = ToPrecision(p[1], layout.Precision);
        image.comps[2].data[base + x] = ToPrecision(p[0], layout.Precision);
      }
    }
    if (layout.WithAlpha) {
      const uint8_t* alpha = bitmap.AlphaChannel().ScanLine(y);
      OPJ_INT32* out = image.comps[image.numcomps - 1].data + base;
      for (int x = 0; x < width; ++x) out[x] = alpha[x];
    }
    if (!progress.ReportIfChanged(y + 1)) return false;
  }
  return true;
}

void SetEncoderOptions(const TIOParamsVals& params, const TLmBitmap& bitmap, opj_cparameters_t& options) {
  opj_set_default_encoder_parameters(&options);
  options.tcp_numlayers = 1;
  options.cp_disto_alloc = 1;
  // OpenJPEG takes a compression ratio; 0 keeps every bit.
  options.tcp_rates[0] = params.J2000Rate >= 1.0 ? 0.0f : static_cast<float>(1.0 / params.J2000Rate);
  options.irreversible = 0;
  options.numresolution = ResolutionsFor(bitmap.Width(), bitmap.Height());
  if (params.J2000ProgressionOrder == kJ2000LRCP) options.prog_order = OPJ_LRCP;
  if (params.J2000ProgressionOrder == kJ2000RLCP) options.prog_order = OPJ_RLCP;
}

bool Encode(TLmStream& stream, opj_image_t& image, const opj_cparameters_t& options, bool jp2File,
            TIOProgress& progress) {
  TOpjCodec codec(opj_create_compress(jp2File ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  TOpjStreamTarget target{.Stream = &stream};
  TOpjStream output = OpenWriteStream(target);
  if (!codec || !output) {
    progress.Fail(TIOFailureKind::IOError, "cannot start the JPEG 2000 encoder");
    return false;
  }
  TOpjMessages messages;
  messages.Attach(codec.get());
  opj_cparameters_t setup = options;
  const bool encoded = opj_setup_encoder(codec.get(), &setup, &image) &&
                       opj_start_compress(codec.get(), &image, output.get()) &&
                       opj_encode(codec.get(), output.get()) && opj_end_compress(codec.get(), output.get());
  if (!encoded || target.MediumFailed) {
    progress.Fail(target.MediumFailed ? TIOFailureKind::IOError : TIOFailureKind::Unsupported,
                  messages.Reason("cannot encode the image"));
    return false;
  }
  return true;
}

}  // namespace

void J2kWriteStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool jp2File,
                    TIOProgress& progress) {
  if (bitmap.IsEmpty()) {
    progress.Fail(TIOFailureKind::InvalidData, "empty image");
    return;
  }
  if (!(params.J2000Rate > 0) || !std::isfinite(params.J2000Rate)) {
    progress.Fail(TIOFailureKind::Unsupported, "rate must be a positive number");
    return;
  }
  TLmBitmap converted;
  TLmBitmap* source = &bitmap;
  if (bitmap.PixelFormat() != pf24RGB && bitmap.PixelFormat() != pf1g) {
    converted.Assign(bitmap);
    converted.SetPixelFormat(pf24RGB);
    source = &converted;
  }
  // A bilevel image is one 1-bit gray component. The caller's settings stay
  // as they are, so that the next colour image is not written as gray.
  TWriteLayout layout;
  const bool oneBit = source->PixelFormat() == pf1g;
  layout.Gray = oneBit || params.J2000ColorSpace == kJ2000Gray;
  layout.Precision = oneBit ? 1 : std::clamp(params.BitsPerSample, 1, 16);
  layout.WithAlpha = !oneBit && bitmap.HasAlphaChannel() && !bitmap.AlphaIsOpaque();

  TOpjImage image = CreateImage(*source, layout);
  if (!image) {
    progress.Fail(TIOFailureKind::IOError, "cannot allocate the JPEG 2000 image");
    return;
  }
  if (!FillImage(*source, layout, *image, progress)) return;
  opj_cparameters_t options;
  SetEncoderOptions(params, *source, options);
  Encode(stream, *image, options, jp2File, progress);
}

void WriteJp2(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  J2kWriteStream(stream, bitmap, params, true, progress);
}

void WriteJ2k(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  J2kWriteStream(stream, bitmap, params, false, progress);
}

}  // namespace lumora
