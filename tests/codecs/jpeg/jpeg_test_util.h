// Test fixtures for the JPEG codec, made at run time: JPEG files written by
// libjpeg directly (independent of our writer), and one-call decoding
// through JpegReadStream.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "codecs/jpeg/jpeg.h"
#include "imageio/bitmap.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora::jpegtest {

// Interleaved samples, top row first, in the order of the input colour space.
struct TTestImage {
  int Width = 0;
  int Height = 0;
  int Components = 3;
  std::vector<uint8_t> Pixels;
  const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * Width * Components; }
};

// Smooth ramps with a few hard edges: enough detail for every DCT and
// upsampling path to matter, and distinct values per channel.
inline TTestImage MakePattern(int width, int height, int components) {
  TTestImage image{width, height, components, std::vector<uint8_t>(size_t(width) * height * components)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) {
        int v = (x * 255 / std::max(1, width - 1) + c * 85 + ((x / 16 + y / 16) % 2) * 40) % 256;
        if (c % 2 == 1) v = (y * 255 / std::max(1, height - 1) + c * 50) % 256;
        image.Pixels[(size_t(y) * width + x) * components + c] = static_cast<uint8_t>(v);
      }
  return image;
}

// A flat image of one colour.
inline TTestImage MakeFlat(int width, int height, std::vector<uint8_t> color) {
  TTestImage image{width, height, static_cast<int>(color.size()), {}};
  image.Pixels.reserve(size_t(width) * height * color.size());
  for (int i = 0; i < width * height; ++i) image.Pixels.insert(image.Pixels.end(), color.begin(), color.end());
  return image;
}

struct TEncodeSpec {
  J_COLOR_SPACE In = JCS_RGB;
  J_COLOR_SPACE Out = JCS_UNKNOWN;  // the library's default for `In`
  int Quality = 90;
  bool Progressive = false;
  int LumaH = 2, LumaV = 2;  // YCbCr sampling of the first component
  bool Jfif = true;
  bool Adobe = false;
  int DensityUnit = 1;
  int XDensity = 72, YDensity = 72;
  std::vector<std::pair<int, std::vector<uint8_t>>> Markers;
  std::vector<uint8_t> Icc;
  bool Arithmetic = false;  // arithmetic instead of Huffman coding
  int RestartRows = 0;      // a restart marker every this many MCU rows (0: none)
};

inline std::vector<uint8_t> EncodeJpeg(const TTestImage& image, const TEncodeSpec& spec) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = image.Width;
  info.image_height = image.Height;
  info.input_components = image.Components;
  info.in_color_space = spec.In;
  jpeg_set_defaults(&info);
  if (spec.Out != JCS_UNKNOWN) jpeg_set_colorspace(&info, spec.Out);
  jpeg_set_quality(&info, spec.Quality, TRUE);
  if (info.jpeg_color_space == JCS_YCbCr) {
    info.comp_info[0].h_samp_factor = spec.LumaH;
    info.comp_info[0].v_samp_factor = spec.LumaV;
  }
  info.write_JFIF_header = spec.Jfif ? TRUE : FALSE;
  if (spec.Adobe) info.write_Adobe_marker = TRUE;
  info.density_unit = static_cast<UINT8>(spec.DensityUnit);
  info.X_density = static_cast<UINT16>(spec.XDensity);
  info.Y_density = static_cast<UINT16>(spec.YDensity);
  if (spec.Progressive) jpeg_simple_progression(&info);
  if (spec.Arithmetic) info.arith_code = TRUE;
  info.restart_in_rows = spec.RestartRows;
  jpeg_start_compress(&info, TRUE);
  for (const auto& [type, data] : spec.Markers)
    jpeg_write_marker(&info, type, data.data(), static_cast<unsigned>(data.size()));
  if (!spec.Icc.empty()) jpeg_write_icc_profile(&info, spec.Icc.data(), static_cast<unsigned>(spec.Icc.size()));
  for (int y = 0; y < image.Height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

// What libjpeg itself makes of a file: rows in `space` at 1/`scale`, plus
// the header facts the tests look at.
struct TReference {
  int Width = 0, Height = 0, Components = 0;
  std::vector<uint8_t> Pixels;
  J_COLOR_SPACE FileSpace = JCS_UNKNOWN;
  bool Progressive = false, Jfif = false, Adobe = false;
  int DensityUnit = 0, XDensity = 0, YDensity = 0;
  int LumaH = 0, LumaV = 0;
  std::vector<std::pair<int, std::vector<uint8_t>>> Markers;
  const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * Width * Components; }
};

inline TReference ReferenceDecode(std::span<const uint8_t> data, J_COLOR_SPACE space = JCS_UNKNOWN,
                                  unsigned scale = 1, bool headerOnly = false) {
  jpeg_decompress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
  for (int i = 0; i < 16; ++i) jpeg_save_markers(&info, JPEG_APP0 + i, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  TReference r;
  r.FileSpace = info.jpeg_color_space;
  r.Progressive = info.progressive_mode;
  r.Jfif = info.saw_JFIF_marker;
  r.Adobe = info.saw_Adobe_marker;
  r.DensityUnit = info.density_unit;
  r.XDensity = info.X_density;
  r.YDensity = info.Y_density;
  r.LumaH = info.comp_info[0].h_samp_factor;
  r.LumaV = info.comp_info[0].v_samp_factor;
  for (auto m = info.marker_list; m; m = m->next) r.Markers.push_back({m->marker, {m->data, m->data + m->data_length}});
  if (!headerOnly) {
    if (space != JCS_UNKNOWN) info.out_color_space = space;
    info.scale_num = 1;
    info.scale_denom = scale;
    jpeg_start_decompress(&info);
    r.Width = info.output_width;
    r.Height = info.output_height;
    r.Components = info.output_components;
    r.Pixels.resize(size_t(r.Width) * r.Height * r.Components);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = r.Pixels.data() + size_t(info.output_scanline) * r.Width * r.Components;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return r;
}

struct TDecoded {
  TLmBitmap Bitmap;
  TIOParamsVals Params;
  TJpegReadOptions Options;
  bool Aborting = false;
  int Rows = 0;
};

using TDecodeSetup = std::function<void(TIOParamsVals&, TJpegReadOptions&)>;

inline std::unique_ptr<TDecoded> Decode(TLmStream& stream, const TDecodeSetup& setup = {}) {
  auto d = std::make_unique<TDecoded>();
  if (setup) setup(d->Params, d->Options);
  TIOProgress progress;
  d->Rows = JpegReadStream(stream, d->Bitmap, d->Params, d->Options, progress);
  d->Aborting = progress.Aborting();
  return d;
}

inline std::unique_ptr<TDecoded> Decode(std::span<const uint8_t> data, const TDecodeSetup& setup = {}) {
  TLmByteViewStream stream(data);
  return Decode(stream, setup);
}

// Encodes with our writer into memory.
inline std::vector<uint8_t> WriteWithCodec(const TLmBitmap& bitmap, TIOParamsVals& params, bool* aborting = nullptr) {
  TLmMemoryStream stream;
  TIOProgress progress;
  JpegWriteStream(stream, bitmap, params, progress);
  if (aborting) *aborting = progress.Aborting();
  return stream.Data();
}

// Largest difference between two equally long byte runs.
inline int MaxDifference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  int worst = a.size() == b.size() ? 0 : 256;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

}  // namespace lumora::jpegtest
