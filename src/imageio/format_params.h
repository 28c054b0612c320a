// The per-format parameter records that TIOParamsVals is made of. Each
// format keeps its fields in a data-only <format>_params.h, so that a change
// to a codec's functions rebuilds only the codec and its callers.
//
// A new format with parameters adds its header and its struct here.
#pragma once

#include "codecs/bmp/bmp_params.h"
#include "codecs/gif/gif_params.h"
#include "codecs/ico/ico_params.h"
#include "codecs/jpeg/jpeg_params.h"
#include "codecs/jpeg2000/jpeg2000_params.h"
#include "codecs/pcx/pcx_params.h"
#include "codecs/png/png_params.h"
#include "codecs/pnm/pnm_params.h"
#include "codecs/rawbitmap/rawbitmap_params.h"
#include "codecs/tga/tga_params.h"

namespace lumora {

// The per-format parameter structs, aggregated into TIOParamsVals so that
// their fields keep flat names (Params.BmpVersion, Params.JpegQuality).
// A struct may define, and the I/O layer then calls:
//   void ClearImageInfo();          before every load (metadata of the last image)
//   void SetImageIndex(int index);  the group setter of multi-image formats
//   void SetAutoOrientation(bool);  the group setter of formats with orientation tags
// Defaults come from the default member initialisers.
template <class... TFormat>
struct TFormatParamsOf : TFormat... {
  void ResetFormatParams() { ((static_cast<TFormat&>(*this) = TFormat{}), ...); }
  void ClearFormatImageInfo() {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.ClearImageInfo(); }) static_cast<TFormat&>(*this).ClearImageInfo();
        }(),
        ...);
  }
  void SetFormatImageIndex(int index) {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.SetImageIndex(index); })
            static_cast<TFormat&>(*this).SetImageIndex(index);
        }(),
        ...);
  }
  void SetFormatAutoOrientation(bool on) {
    (
        [&] {
          if constexpr (requires(TFormat& f) { f.SetAutoOrientation(on); })
            static_cast<TFormat&>(*this).SetAutoOrientation(on);
        }(),
        ...);
  }
};

using TFormatParams = TFormatParamsOf<TBmpParams, TGifParams, TIcoParams, TJpegParams, TJ2000Params, TPcxParams,
                                      TPngParams, TPxmParams, TRawBitmapParams, TTgaParams>;

}  // namespace lumora
