// JPEG 2000 reader: OpenJPEG decodes; this layer recognises the file, checks
// the claimed sizes before the library allocates, chooses the reduction,
// maps the components to the pixel container and converts the samples.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "codecs/jpeg2000/jpeg2000.h"
#include "codecs/jpeg2000/jpeg2000_library.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

enum class TJ2kForm { None, Jp2File, CodeStream };

// The JP2 signature box, or SOC followed by SIZ. The position stays where it was.
TJ2kForm RecogniseForm(TLmStream& stream) {
  TStreamPositionGuard guard(stream);
  uint8_t head[12] = {};
  const size_t got = stream.Read(head, sizeof head);
  if (got >= 12 && ReadBE32(head) == 12 && ReadBE32(head + 4) == 0x6A502020 && ReadBE32(head + 8) == 0x0D0A870A)
    return TJ2kForm::Jp2File;
  if (got >= 4 && ReadBE16(head) == 0xFF4F && ReadBE16(head + 2) == 0xFF51) return TJ2kForm::CodeStream;
  return TJ2kForm::None;
}

enum class TColorModel { Gray, RGB, YCbCr };

// What the JP2 header boxes say of colour before a decode: a palette's
// column count, else the colour box's enumerated space. OpenJPEG applies
// both only while decoding, so a parameters-only read looks for itself.
std::optional<TColorModel> Jp2HeaderColor(TLmStream& stream) {
  TStreamPositionGuard guard(stream);
  std::optional<TColorModel> fromColr, fromPalette;
  const int64_t end = stream.Size();
  int64_t position = stream.Position();
  for (int boxes = 0; boxes < 64 && position + 8 <= end; ++boxes) {
    uint8_t head[8];
    stream.SetPosition(position);
    if (!stream.ReadExact(head, sizeof head)) break;
    const uint32_t length = ReadBE32(head), type = ReadBE32(head + 4);
    if (type == 0x6A703263 || length == 1) break;  // jp2c: the code stream; or a 64-bit box
    if (type == 0x6A703268) {                       // jp2h: its boxes follow
      position += 8;
      continue;
    }
    uint8_t body[7] = {};
    if (type == 0x70636C72 && stream.ReadExact(body, 3))  // pclr: entries, columns
      fromPalette = body[2] >= 3 ? TColorModel::RGB : TColorModel::Gray;
    if (type == 0x636F6C72 && !fromColr && stream.ReadExact(body, 7) && body[0] == 1) {  // colr, enumerated
      const uint32_t space = ReadBE32(body + 3);
      if (space == 16) fromColr = TColorModel::RGB;
      if (space == 17) fromColr = TColorModel::Gray;
      if (space == 18) fromColr = TColorModel::YCbCr;
    }
    if (length < 8) break;
    position += length;
  }
  return fromPalette ? fromPalette : fromColr;
}

// Which components make the picture: colour components (1 or 3) and an
// optional alpha component, by index into the image's components.
struct TComponentLayout {
  TColorModel Model = TColorModel::Gray;
  std::array<int, 3> Color = {-1, -1, -1};
  int Alpha = -1;
  int ColorCount() const { return Model == TColorModel::Gray ? 1 : 3; }
};

// The layout of the image as OpenJPEG gives it: after a decode the JP2
// palette is expanded and the channel definitions applied, so components
// marked as alpha are the opacity and the rest are colour in order. A bare
// code stream says nothing of colour: three or more components are RGB, and
// a second or fourth one is the opacity.
std::optional<TComponentLayout> LayoutOf(const opj_image_t& image, bool codeStream, TIOProgress& progress) {
  std::vector<int> color;
  TComponentLayout layout;
  for (OPJ_UINT32 i = 0; i < image.numcomps; ++i) {
    if (image.comps[i].alpha != 0) {
      if (layout.Alpha < 0) layout.Alpha = static_cast<int>(i);
    } else {
      color.push_back(static_cast<int>(i));
    }
  }
  if (color.empty()) {
    progress.Fail(TIOFailureKind::InvalidData, "no colour component");
    return std::nullopt;
  }
  switch (image.color_space) {
    case OPJ_CLRSPC_GRAY: layout.Model = TColorModel::Gray; break;
    case OPJ_CLRSPC_SRGB: layout.Model = TColorModel::RGB; break;
    case OPJ_CLRSPC_SYCC: layout.Model = TColorModel::YCbCr; break;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED: layout.Model = color.size() >= 3 ? TColorModel::RGB : TColorModel::Gray; break;
    default: progress.Fail(TIOFailureKind::Unsupported, "colour space not supported"); return std::nullopt;
  }
  // A colour box that promises more components than there are.
  if (color.size() < 3) layout.Model = TColorModel::Gray;
  for (int c = 0; c < layout.ColorCount(); ++c) layout.Color[c] = color[c];
  if (codeStream && layout.Alpha < 0 && (image.numcomps == 2 || image.numcomps == 4))
    layout.Alpha = static_cast<int>(image.numcomps) - 1;
  return layout;
}

uint32_t CeilDivPow2(uint32_t value, int shift) {
  return static_cast<uint32_t>((static_cast<uint64_t>(value) + (uint64_t{1} << shift) - 1) >> shift);
}

// Fewest resolution levels over the components of the default tile: the
// most that can be left out is one less.
int MaxReduction(opj_codec_t* codec) {
  TOpjCodestreamInfo info(opj_get_cstr_info(codec));
  if (!info || info->m_default_tile_info.tccp_info == nullptr) return 0;
  OPJ_UINT32 fewest = 33;
  for (OPJ_UINT32 i = 0; i < info->nbcomps; ++i)
    fewest = std::min(fewest, info->m_default_tile_info.tccp_info[i].numresolutions);
  return fewest >= 1 && fewest <= 33 ? static_cast<int>(fewest) - 1 : 0;
}

// The levels to leave out: the requested number, or for the automatic
// choice the most that keep the image at least as large as wanted.
int ChooseReduction(const TIOParamsVals& params, uint32_t width, uint32_t height, int maxReduction) {
  int reduce = 0;
  if (params.J2000Reduce == kJ2000ReduceAuto) {
    if (params.Width <= 0 || params.Height <= 0) return 0;
    const auto wantW = static_cast<uint32_t>(params.Width), wantH = static_cast<uint32_t>(params.Height);
    while (reduce < maxReduction && reduce < 31 && CeilDivPow2(width, reduce + 1) >= wantW &&
           CeilDivPow2(height, reduce + 1) >= wantH)
      ++reduce;
    return reduce;
  }
  return std::clamp(params.J2000Reduce, 0, std::min(maxReduction, 31));
}

// The picture's grid: the reference grid at a reduction, divided by the
// finest sampling of the colour components. When every component is
// subsampled alike (a 256 x 149 image on a 4336 x 1037 grid) the picture is
// the components' size, not a blow-up of them.
struct TArea {
  uint32_t StepX = 1, StepY = 1;  // grid points per picture pixel
  uint32_t X0 = 0, Y0 = 0;        // first picture pixel, in picture pixels
  uint32_t Width = 0, Height = 0;
};

uint32_t CeilDiv(uint32_t value, uint32_t divisor) {
  return static_cast<uint32_t>((uint64_t{value} + divisor - 1) / divisor);
}

TArea AreaAt(const opj_image_t& image, const TComponentLayout& layout, int reduce) {
  TArea area;
  area.StepX = area.StepY = UINT32_MAX;
  for (int index : layout.Color) {
    if (index < 0) continue;  // a palette's colours, before the decode makes them
    area.StepX = std::min(area.StepX, std::max<OPJ_UINT32>(image.comps[index].dx, 1));
    area.StepY = std::min(area.StepY, std::max<OPJ_UINT32>(image.comps[index].dy, 1));
  }
  area.X0 = CeilDiv(CeilDivPow2(image.x0, reduce), area.StepX);
  area.Y0 = CeilDiv(CeilDivPow2(image.y0, reduce), area.StepY);
  const uint32_t x1 = CeilDiv(CeilDivPow2(image.x1, reduce), area.StepX);
  const uint32_t y1 = CeilDiv(CeilDivPow2(image.y1, reduce), area.StepY);
  area.Width = x1 > area.X0 ? x1 - area.X0 : 0;
  area.Height = y1 > area.Y0 ? y1 - area.Y0 : 0;
  return area;
}

// OpenJPEG keeps every component whole in memory as 32-bit samples, and a
// few hundred bytes of code stream can claim gigapixels (empty packets cost
// next to nothing), so the claim is bounded by memory, not by the data:
// each component at most the largest image we accept, all of them together
// at most an RGBA image of that size and never more than a process can
// hold (8 GiB; 1 GiB for 32-bit builds).
constexpr uint64_t kMaxComponentBytes = sizeof(void*) >= 8 ? uint64_t{8} << 30 : uint64_t{1} << 30;

bool AcceptComponentMemory(const opj_image_t& image, int reduce, TIOProgress& progress) {
  const uint64_t pixelLimit = ImageLimits().MaxPixels;
  uint64_t total = 0;
  for (OPJ_UINT32 i = 0; i < image.numcomps; ++i) {
    const opj_image_comp_t& comp = image.comps[i];
    if (comp.dx == 0 || comp.dy == 0) {
      progress.Fail(TIOFailureKind::InvalidData, "component sampling of zero");
      return false;
    }
    const uint64_t w = uint64_t{CeilDivPow2(comp.w, reduce)} + 1;
    const uint64_t h = uint64_t{CeilDivPow2(comp.h, reduce)} + 1;
    const uint64_t samples = w * h;  // both below 2^32 + 1: fits
    if (samples > pixelLimit) {
      progress.Fail(TIOFailureKind::OverLimit, "component size over our limit");
      return false;
    }
    total += samples;
    if (total > 4 * pixelLimit || total > kMaxComponentBytes / sizeof(OPJ_INT32)) {
      progress.Fail(TIOFailureKind::OverLimit, "component data over our limit");
      return false;
    }
  }
  return true;
}

// Samples brought to one range: signed samples are shifted by half the
// range (so that their order is kept), then the value is scaled to 8 or 16
// bits. Wider samples keep their top bits; narrower ones are stretched so
// that their maximum is white.
class TSampleScale {
 public:
  TSampleScale(const opj_image_comp_t& comp, int targetBits) {
    precision_ = static_cast<int>(std::clamp<OPJ_UINT32>(comp.prec, 1, 32));
    maxValue_ = (int64_t{1} << precision_) - 1;
    offset_ = comp.sgnd ? int64_t{1} << (precision_ - 1) : 0;
    targetMax_ = (int64_t{1} << targetBits) - 1;
    shift_ = precision_ > targetBits ? precision_ - targetBits : 0;
  }
  uint32_t operator()(OPJ_INT32 sample) const {
    const int64_t value = std::clamp<int64_t>(static_cast<int64_t>(sample) + offset_, 0, maxValue_);
    if (maxValue_ > targetMax_) return static_cast<uint32_t>(value >> shift_);
    return static_cast<uint32_t>((value * targetMax_ + maxValue_ / 2) / maxValue_);
  }

 private:
  int precision_ = 8;
  int64_t maxValue_ = 255, offset_ = 0, targetMax_ = 255;
  int shift_ = 0;
};

// Where each pixel of the output finds its sample in one component: the
// component's own grid, subsampled and offset, clamped at its edges.
struct TComponentMap {
  const opj_image_comp_t* Comp = nullptr;
  std::vector<uint32_t> Column;  // per output column
  std::vector<uint32_t> Row;     // per output row
  TSampleScale Scale;

  TComponentMap(const opj_image_comp_t& comp, const TArea& area, int reduce, int targetBits)
      : Comp(&comp), Scale(comp, targetBits) {
    const int64_t compX0 = CeilDivPow2(comp.x0, reduce), compY0 = CeilDivPow2(comp.y0, reduce);
    Column.resize(area.Width);
    Row.resize(area.Height);
    for (uint32_t x = 0; x < area.Width; ++x)
      Column[x] = Clamp((static_cast<int64_t>(area.X0) + x) * area.StepX / comp.dx - compX0, comp.w);
    for (uint32_t y = 0; y < area.Height; ++y)
      Row[y] = Clamp((static_cast<int64_t>(area.Y0) + y) * area.StepY / comp.dy - compY0, comp.h);
  }
  const OPJ_INT32* RowData(int y) const { return Comp->data + static_cast<size_t>(Row[y]) * Comp->w; }
  uint32_t At(const OPJ_INT32* row, int x) const { return Scale(row[Column[x]]); }

 private:
  static uint32_t Clamp(int64_t index, OPJ_UINT32 size) {
    return static_cast<uint32_t>(std::clamp<int64_t>(index, 0, static_cast<int64_t>(size) - 1));
  }
};

// YCbCr to RGB offsets for 8-bit chroma, built once.
struct TYCbCrTables {
  std::array<int, 256> RedFromCr{}, BlueFromCb{}, GreenFromCr{}, GreenFromCb{};
  TYCbCrTables() {
    for (int i = 0; i < 256; ++i) {
      const double d = i - 128;
      RedFromCr[i] = static_cast<int>(std::lround(1.402 * d));
      BlueFromCb[i] = static_cast<int>(std::lround(1.772 * d));
      GreenFromCr[i] = -static_cast<int>(std::lround((0.299 * 1.402 / 0.587) * d));
      GreenFromCb[i] = -static_cast<int>(std::lround((0.114 * 1.772 / 0.587) * d));
    }
  }
};

const TYCbCrTables& YCbCrTables() {
  static const TYCbCrTables tables;
  return tables;
}

uint8_t ClampByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

TLmPixelFormat TargetFormat(const TComponentLayout& layout, const opj_image_t& image, bool native) {
  const OPJ_UINT32 precision = image.comps[layout.Color[0]].prec;
  if (layout.Model == TColorModel::Gray) {
    if (precision == 1 && layout.Alpha < 0) return pf1g;
    if (native) return precision > 8 ? pf16g : pf8g;
    return pf24RGB;
  }
  if (native && layout.Model == TColorModel::RGB && precision > 8) return pfRGB48;
  return pf24RGB;
}

void WriteRow(TLmPixelFormat format, const TComponentLayout& layout, const std::vector<TComponentMap>& maps, int y,
              int width, uint8_t* out) {
  std::array<const OPJ_INT32*, 3> rows{};
  for (int c = 0; c < layout.ColorCount(); ++c) rows[c] = maps[c].RowData(y);
  switch (format) {
    case pf1g:
      std::memset(out, 0, (static_cast<size_t>(width) + 7) / 8);
      for (int x = 0; x < width; ++x)
        if (maps[0].At(rows[0], x) != 0) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      break;
    case pf8g:
      for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(maps[0].At(rows[0], x));
      break;
    case pf16g:
      for (int x = 0; x < width; ++x) {
        const uint32_t v = maps[0].At(rows[0], x);
        out[2 * x] = static_cast<uint8_t>(v);
        out[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case pfRGB48: {
      auto* words = reinterpret_cast<uint16_t*>(out);
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) words[3 * x + c] = static_cast<uint16_t>(maps[c].At(rows[c], x));
      break;
    }
    default:  // pf24RGB
      if (layout.Model == TColorModel::Gray) {
        for (int x = 0; x < width; ++x) std::memset(out + 3 * x, static_cast<int>(maps[0].At(rows[0], x)), 3);
      } else if (layout.Model == TColorModel::RGB) {
        for (int x = 0; x < width; ++x) {
          out[3 * x + 2] = static_cast<uint8_t>(maps[0].At(rows[0], x));
          out[3 * x + 1] = static_cast<uint8_t>(maps[1].At(rows[1], x));
          out[3 * x] = static_cast<uint8_t>(maps[2].At(rows[2], x));
        }
      } else {
        const TYCbCrTables& t = YCbCrTables();
        for (int x = 0; x < width; ++x) {
          const int luma = static_cast<int>(maps[0].At(rows[0], x));
          const uint32_t cb = maps[1].At(rows[1], x), cr = maps[2].At(rows[2], x);
          out[3 * x + 2] = ClampByte(luma + t.RedFromCr[cr]);
          out[3 * x + 1] = ClampByte(luma + t.GreenFromCb[cb] + t.GreenFromCr[cr]);
          out[3 * x] = ClampByte(luma + t.BlueFromCb[cb]);
        }
      }
      break;
  }
}

void SetImageParams(const opj_image_t& image, const TComponentLayout& layout, const TArea& full, const TArea& loaded,
                    int reduce, TIOParamsVals& params) {
  params.ImageCount = 1;
  params.BitsPerSample = static_cast<int32_t>(image.comps[layout.Color[0]].prec);
  params.SamplesPerPixel = layout.ColorCount();
  params.SetDpi(kDefaultDpi, kDefaultDpi);
  params.ColorMap.clear();
  params.OriginalWidth = static_cast<int32_t>(full.Width);
  params.OriginalHeight = static_cast<int32_t>(full.Height);
  params.Width = static_cast<int32_t>(loaded.Width);
  params.Height = static_cast<int32_t>(loaded.Height);
  params.J2000ReduceUsed = reduce;
}

// Before the decode the JP2 palette is not yet expanded and the colour box
// not yet applied: what the header boxes say is what the loaded image will be.
TComponentLayout HeaderLayout(const opj_image_t& image, bool codeStream, std::optional<TColorModel> boxes,
                              TIOProgress& progress, bool& ok) {
  TIOProgress quiet;
  std::optional<TComponentLayout> layout = LayoutOf(image, codeStream, quiet);
  ok = true;
  if (!layout) {
    ok = false;
    progress.Fail(quiet.Failure().Kind, quiet.Failure().Text);
    return {};
  }
  if (boxes) layout->Model = *boxes;
  return *layout;
}

// Every decoded component must have the samples its size promises.
bool ComponentsDecoded(const opj_image_t& image, const TComponentLayout& layout) {
  auto decoded = [&](int index) {
    const opj_image_comp_t& comp = image.comps[index];
    return comp.data != nullptr && comp.w > 0 && comp.h > 0 && comp.dx > 0 && comp.dy > 0;
  };
  for (int c = 0; c < layout.ColorCount(); ++c)
    if (!decoded(layout.Color[c])) return false;
  return layout.Alpha < 0 || decoded(layout.Alpha);
}

}  // namespace

void J2kReadStream(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                   TIOProgress& progress) {
  const TJ2kForm form = RecogniseForm(stream);
  if (form == TJ2kForm::None) {
    progress.Fail(TIOFailureKind::InvalidData, "not a JPEG 2000 file or code stream");
    return;
  }
  const bool codeStream = form == TJ2kForm::CodeStream;
  const std::optional<TColorModel> boxColor = codeStream ? std::nullopt : Jp2HeaderColor(stream);
  TOpjCodec codec(opj_create_decompress(codeStream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
  TOpjStreamTarget target{.Stream = &stream};
  TOpjStream input = OpenReadStream(target);
  if (!codec || !input) {
    progress.Fail(TIOFailureKind::IOError, "cannot start the JPEG 2000 decoder");
    return;
  }
  TOpjMessages messages;
  messages.Attach(codec.get());
  opj_dparameters_t setup;
  opj_set_default_decoder_parameters(&setup);
  if (!opj_setup_decoder(codec.get(), &setup)) {
    progress.Fail(TIOFailureKind::IOError, messages.Reason("cannot set up the JPEG 2000 decoder"));
    return;
  }
  // A code stream cut short still shows what it holds.
  opj_decoder_set_strict_mode(codec.get(), OPJ_FALSE);

  opj_image_t* header = nullptr;
  if (!opj_read_header(input.get(), codec.get(), &header)) {
    opj_image_destroy(header);
    progress.Fail(target.MediumFailed ? TIOFailureKind::IOError : TIOFailureKind::InvalidData,
                  messages.Reason("cannot read the JPEG 2000 header"));
    return;
  }
  TOpjImage image(header);
  if (image->numcomps == 0 || image->comps == nullptr) {
    progress.Fail(TIOFailureKind::InvalidData, "no image components");
    return;
  }
  bool layoutOk = false;
  const TComponentLayout headerLayout = HeaderLayout(*image, codeStream, boxColor, progress, layoutOk);
  if (!layoutOk) return;

  const TArea full = AreaAt(*image, headerLayout, 0);
  const int reduce = ChooseReduction(params, full.Width, full.Height, MaxReduction(codec.get()));
  const TArea area = AreaAt(*image, headerLayout, reduce);
  if (!AcceptImageSize(full.Width, full.Height, 8, progress)) return;
  if (!AcceptImageSize(area.Width, area.Height, 24, progress)) return;
  if (!AcceptComponentMemory(*image, reduce, progress)) return;
  SetImageParams(*image, headerLayout, full, area, reduce, params);
  if (paramsOnly) return;

  if (reduce > 0 && !opj_set_decoded_resolution_factor(codec.get(), static_cast<OPJ_UINT32>(reduce))) {
    progress.Fail(TIOFailureKind::InvalidData, messages.Reason("cannot decode at a reduced resolution"));
    return;
  }
  if (!opj_decode(codec.get(), input.get(), image.get())) {
    progress.Fail(target.MediumFailed ? TIOFailureKind::IOError : TIOFailureKind::InvalidData,
                  messages.Reason("cannot decode the JPEG 2000 data"));
    return;
  }
  opj_end_decompress(codec.get(), input.get());

  const std::optional<TComponentLayout> layout = LayoutOf(*image, codeStream, progress);
  if (!layout) return;
  if (!ComponentsDecoded(*image, *layout)) {
    progress.Fail(TIOFailureKind::InvalidData, messages.Reason("no image data decoded"));
    return;
  }
  // The palette and channel definitions can change which components are
  // colour; the picture's size follows them.
  const TArea decodedFull = AreaAt(*image, *layout, 0);
  const TArea decoded = AreaAt(*image, *layout, reduce);
  if (!AcceptImageSize(decoded.Width, decoded.Height, 24, progress)) return;
  SetImageParams(*image, *layout, decodedFull, decoded, reduce, params);

  const TLmPixelFormat format = TargetFormat(*layout, *image, params.NativePixelFormat);
  const int targetBits = format == pf16g || format == pfRGB48 ? 16 : 8;
  std::vector<TComponentMap> maps;
  for (int c = 0; c < layout->ColorCount(); ++c)
    maps.emplace_back(image->comps[layout->Color[c]], decoded, reduce, targetBits);
  std::optional<TComponentMap> alphaMap;
  if (layout->Alpha >= 0) alphaMap.emplace(image->comps[layout->Alpha], decoded, reduce, 8);

  const int width = static_cast<int>(decoded.Width), height = static_cast<int>(decoded.Height);
  if (!bitmap.Allocate(width, height, format)) {
    progress.Fail(TIOFailureKind::IOError, "cannot allocate the image");
    return;
  }
  TLmBitmap* alpha = alphaMap ? &bitmap.AlphaChannel() : nullptr;
  progress.SetTotalUnits(height);
  for (int y = 0; y < height; ++y) {
    WriteRow(format, *layout, maps, y, width, bitmap.ScanLine(y));
    if (alpha != nullptr) {
      const OPJ_INT32* row = alphaMap->RowData(y);
      uint8_t* out = alpha->ScanLine(y);
      for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(alphaMap->At(row, x));
    }
    if (!progress.ReportIfChanged(y + 1)) return;
  }
  // Decoded leniently, a stream cut short still gives a picture (what the
  // data held, the rest blurred or flat), reported as incomplete.
  if (messages.HasWarning("inconsistent with stream length") || messages.HasWarning("Stream too short") ||
      messages.HasWarning("truncated"))
    progress.Fail(TIOFailureKind::InvalidData, "code stream cut short");
}

void PrepareJ2000Thumbnail(TIOParamsVals& params, const TThumbnailRequest&) { params.J2000Reduce = kJ2000ReduceAuto; }

std::string DescribeJ2000(const TIOParamsVals& params) {
  switch (params.J2000ColorSpace) {
    case kJ2000Gray: return " Gray level";
    case kJ2000RGB: return " RGB";
    case kJ2000YCbCr: return " YCbCr";
    default: return {};
  }
}

}  // namespace lumora
