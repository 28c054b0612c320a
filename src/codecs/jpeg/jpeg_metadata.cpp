#include "codecs/jpeg/jpeg_metadata.h"

#include <vector>

#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg/jpeg_exif.h"
#include "imageio/ioparams.h"

namespace lumora {

namespace {

// Size of the "Exif", 0, 0 prefix in front of the TIFF structure.
constexpr size_t kExifPrefixSize = 6;

void ReadIptc(TIOParamsVals& params) {
  const TLmMarkerList& markers = params.JpegMarkers;
  for (int i = 0; i < markers.Count(); ++i) {
    if (markers.MarkerType(i) != kJpegMarkerApp13) continue;
    std::vector<TIptcRecord> records;
    if (!ParseIptcApp13(markers.MarkerData(i), records)) continue;
    params.IptcInfo.Records.clear();
    for (TIptcRecord& r : records) params.IptcInfo.Records.push_back({r.Record, r.Dataset, std::move(r.Data)});
    break;
  }
  params.IptcInfo.UserChanged = false;
}

void ReadExif(TIOParamsVals& params, TLmBitmap& bitmap, bool imageDecoded) {
  const TLmMarkerList& markers = params.JpegMarkers;
  for (int i = 0; i < markers.Count(); ++i) {
    if (!IsExifMarker(markers.MarkerType(i), markers.MarkerData(i))) continue;
    if (!ReadJpegExif(markers.MarkerData(i).subspan(kExifPrefixSize), params, true)) continue;
    if (imageDecoded && params.JpegAutoOrientation) ApplyExifOrientation(params, bitmap);
    break;
  }
}

void ReadXmp(TIOParamsVals& params) {
  const TLmMarkerList& markers = params.JpegMarkers;
  for (int i = 0; i < markers.Count(); ++i) {
    if (auto packet = ExtractXmpPacket(markers.MarkerType(i), markers.MarkerData(i))) {
      params.XmpPacket = std::move(*packet);
      return;
    }
  }
}

}  // namespace

void ReadJpegMetadata(TIOParamsVals& params, TLmBitmap& bitmap, bool imageDecoded) {
  ReadIptc(params);
  ReadExif(params, bitmap, imageDecoded);
  ReadXmp(params);
}

void PrepareJpegMarkersForSave(TIOParamsVals& params) {
  TLmMarkerList& markers = params.JpegMarkers;

  // The resolution the image is saved with, also in the Photoshop block.
  if (const int app13 = markers.IndexOf(kJpegMarkerApp13); app13 >= 0) {
    std::vector<uint8_t> block(markers.MarkerData(app13).begin(), markers.MarkerData(app13).end());
    if (PatchApp13Resolution(block, params.DpiX, params.DpiY)) markers.Replace(app13, kJpegMarkerApp13, block);
  }

  const TLmIPTCInfoList& iptc = params.IptcInfo;
  if (iptc.UserChanged || (!iptc.Records.empty() && markers.Count() == 0)) {
    const int app13 = markers.IndexOf(kJpegMarkerApp13);
    if (iptc.Records.empty()) {
      markers.Delete(app13);
    } else {
      std::vector<TIptcRecord> records;
      for (const TLmIPTCRecord& r : iptc.Records) records.push_back({r.Record, r.Dataset, r.Data});
      const std::vector<uint8_t> block = BuildIptcApp13(records);
      if (app13 < 0 || !markers.Replace(app13, kJpegMarkerApp13, block)) markers.Add(kJpegMarkerApp13, block);
    }
  }

  // EXIF: a fresh block from the EXIF values needs the TIFF writer (see
  // jpeg_exif.h); meanwhile the segment read from the file is written back.

  for (int i = 0; i < markers.Count(); ++i) {
    if (IsXmpMarker(markers.MarkerType(i), markers.MarkerData(i))) {
      markers.Delete(i);
      break;
    }
  }
  if (!params.XmpPacket.empty()) markers.Add(kJpegMarkerApp1, BuildXmpApp1(params.XmpPacket));
}

}  // namespace lumora
