// JpegWriteStream and the save preparation, checked with libjpeg's own
// reading of what we wrote and with our reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imageio/cmyk.h"
#include "imageio/colorconv.h"
#include "jpeg_test_util.h"

namespace lumora {
namespace {

using namespace jpegtest;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void FillFromImage(TLmBitmap& bitmap, const TTestImage& image) {
  ASSERT_TRUE(bitmap.Allocate(image.Width, image.Height, pf24RGB));
  for (int y = 0; y < image.Height; ++y) ConvertRow(image.Row(y), clRGB, bitmap.ScanLine(y), image.Width, clBGR);
}

// Mean absolute difference between two pf24RGB bitmaps of the same size.
double MeanDifference(const TLmBitmap& a, const TLmBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int i = 0; i < a.Width() * 3; ++i) sum += std::abs(int(a.ScanLine(y)[i]) - int(b.ScanLine(y)[i]));
  return sum / (double(a.Width()) * a.Height() * 3);
}

// Writes `bitmap` with `setup` applied to fresh parameters.
std::vector<uint8_t> Write(const TLmBitmap& bitmap, const std::function<void(TIOParamsVals&)>& setup = {},
                           bool* aborting = nullptr) {
  TIOParamsVals params;
  if (setup) setup(params);
  return WriteWithCodec(bitmap, params, aborting);
}

// A gradient without hard edges, so a high-quality round trip stays close.
TTestImage SmoothImage(int width, int height) {
  TTestImage image{width, height, 3, std::vector<uint8_t>(size_t(width) * height * 3)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &image.Pixels[(size_t(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(40 + x * 160 / width);
      p[1] = static_cast<uint8_t>(60 + y * 140 / height);
      p[2] = static_cast<uint8_t>(200 - (x + y) * 120 / (width + height));
    }
  return image;
}

TEST(JpegWrite, EveryColorSpaceRoundTrips) {
  SetCmykProfileEnabled(false);  // the plain formulas invert each other
  TLmBitmap source;
  FillFromImage(source, SmoothImage(48, 32));
  struct {
    uint8_t space;
    J_COLOR_SPACE file;
    bool jfif, adobe;
  } cases[] = {{kJpegGray, JCS_GRAYSCALE, true, false},
               {kJpegYCbCr, JCS_YCbCr, true, false},
               {kJpegRGB, JCS_RGB, false, true},
               {kJpegCMYK, JCS_CMYK, true, true},
               {kJpegYCCK, JCS_YCCK, false, true}};
  for (const auto& c : cases) {
    const auto jpeg = Write(source, [&](TIOParamsVals& p) {
      p.JpegColorSpace = c.space;
      p.JpegQuality = 95;
      p.JpegChromaSubsampling = 2;
    });
    const TReference ref = ReferenceDecode(jpeg, JCS_UNKNOWN, 1, true);
    EXPECT_EQ(ref.FileSpace, c.file) << int(c.space);
    EXPECT_EQ(ref.Jfif, c.jfif) << int(c.space);
    EXPECT_EQ(ref.Adobe, c.adobe) << int(c.space);

    auto d = Decode(jpeg);
    ASSERT_FALSE(d->Aborting);
    EXPECT_EQ(d->Params.JpegColorSpace, c.space);
    if (c.space == kJpegGray) {
      // The library's own luminance weights, then equal channels.
      for (int y = 0; y < 32; y += 7) {
        const uint8_t* in = source.ScanLine(y);
        const uint8_t* out = d->Bitmap.ScanLine(y);
        for (int x = 0; x < 48; x += 5) {
          const double luma = 0.114 * in[3 * x] + 0.587 * in[3 * x + 1] + 0.299 * in[3 * x + 2];
          EXPECT_NEAR(out[3 * x], luma, 3);
          EXPECT_EQ(out[3 * x], out[3 * x + 2]);
        }
      }
    } else {
      EXPECT_LT(MeanDifference(source, d->Bitmap), 2.0) << int(c.space);
    }
  }
  SetCmykProfileEnabled(true);
}

TEST(JpegWrite, ResolutionSamplingProgressionAndSize) {
  TLmBitmap source;
  FillFromImage(source, MakePattern(64, 64, 3));

  auto header = [&](const std::function<void(TIOParamsVals&)>& setup) {
    return ReferenceDecode(Write(source, setup), JCS_UNKNOWN, 1, true);
  };
  TReference r = header([](TIOParamsVals& p) { p.DpiX = p.DpiY = 0; });
  EXPECT_EQ(r.DensityUnit, 1);
  EXPECT_EQ(r.XDensity, 300);
  r = header([](TIOParamsVals& p) {
    p.DpiX = 150;
    p.DpiY = 75;
  });
  EXPECT_EQ(r.XDensity, 150);
  EXPECT_EQ(r.YDensity, 75);

  const std::pair<int, int> sampling[] = {{2, 1}, {2, 2}, {1, 1}};
  for (uint8_t s = 0; s < 3; ++s) {
    r = header([&](TIOParamsVals& p) { p.JpegChromaSubsampling = s; });
    EXPECT_EQ(r.LumaH, sampling[s].first) << int(s);
    EXPECT_EQ(r.LumaV, sampling[s].second) << int(s);
  }
  EXPECT_TRUE(header([](TIOParamsVals& p) { p.JpegProgressive = true; }).Progressive);
  EXPECT_FALSE(header({}).Progressive);

  const size_t low = Write(source, [](TIOParamsVals& p) { p.JpegQuality = 10; }).size();
  const size_t high = Write(source, [](TIOParamsVals& p) { p.JpegQuality = 95; }).size();
  const size_t optimal = Write(source, [](TIOParamsVals& p) {
                           p.JpegQuality = 95;
                           p.JpegOptimalHuffman = true;
                         }).size();
  EXPECT_LT(low, high);
  EXPECT_LT(optimal, high);
}

TEST(JpegWrite, OtherPixelFormatsAreConvertedFirst) {
  TLmBitmap color;
  FillFromImage(color, SmoothImage(40, 24));
  for (TLmPixelFormat format : {pf8g, pf1g, pf8p, pfCMYK, pf32RGB, pfRGB48}) {
    TLmBitmap source;
    ASSERT_TRUE(source.Allocate(40, 24, format));
    source.CopyAndConvertFormat(color);
    TLmBitmap expected;
    ASSERT_TRUE(expected.Allocate(40, 24, pf24RGB));
    expected.CopyAndConvertFormat(source);

    bool aborting = true;
    const auto jpeg = Write(source, [](TIOParamsVals& p) {
      p.JpegQuality = 95;
      p.JpegChromaSubsampling = 2;
    }, &aborting);
    EXPECT_FALSE(aborting) << PixelFormatName(format);
    auto d = Decode(jpeg);
    // pf1g is all hard edges; the rest stays close.
    EXPECT_LT(MeanDifference(expected, d->Bitmap), format == pf1g ? 12.0 : 2.5) << PixelFormatName(format);
  }
}

// A stream that takes `capacity` bytes and then reports short writes.
class TFullDiskStream : public TLmMemoryStream {
 public:
  explicit TFullDiskStream(size_t capacity) : capacity_(capacity) {}
  size_t Write(const void* buffer, size_t count) override {
    const size_t room = capacity_ - std::min(capacity_, Data().size());
    return TLmMemoryStream::Write(buffer, std::min(room, count));
  }

 private:
  size_t capacity_;
};

TEST(JpegWrite, FailuresSetTheAbortingFlag) {
  TLmBitmap empty;
  bool aborting = false;
  EXPECT_TRUE(Write(empty, {}, &aborting).empty());
  EXPECT_TRUE(aborting);

  TLmBitmap source;
  FillFromImage(source, MakePattern(300, 300, 3));
  TFullDiskStream full(1000);
  TIOParamsVals params;
  TIOProgress progress;
  JpegWriteStream(full, source, params, progress);
  EXPECT_TRUE(progress.Aborting());
  EXPECT_EQ(full.Data().size(), 1000u);  // what fitted stays
}

TEST(JpegWrite, MarkersInWritingOrderWithoutAdobe) {
  TLmBitmap source;
  FillFromImage(source, MakePattern(16, 16, 3));
  std::vector<uint8_t> icc1 = Bytes(std::string("ICC_PROFILE\0\x01\x02one", 17));
  std::vector<uint8_t> icc2 = Bytes(std::string("ICC_PROFILE\0\x02\x02two", 17));
  const auto exif = Bytes(std::string("Exif\0\0II*\0", 10));
  const auto xmp = BuildXmpApp1("<x/>");
  const auto jpeg = Write(source, [&](TIOParamsVals& p) {
    TLmMarkerList& m = p.JpegMarkers;
    m.Add(kJpegMarkerCom, Bytes("note"));
    m.Add(kJpegMarkerApp2, icc2);
    m.Add(kJpegMarkerApp1, xmp);
    m.Add(kJpegMarkerApp14, Bytes("Adobe\0\0\0\0\0\0"));
    m.Add(kJpegMarkerApp2, icc1);
    m.Add(kJpegMarkerApp1, exif);
    m.Add(0xC4, Bytes("not a segment we keep"));  // would break the file
  });
  const TReference r = ReferenceDecode(jpeg, JCS_UNKNOWN, 1, true);
  ASSERT_EQ(r.Markers.size(), 6u);  // the library's JFIF header, then ours
  EXPECT_EQ(r.Markers[0].first, JPEG_APP0);
  EXPECT_EQ(r.Markers[1].second, exif);
  EXPECT_EQ(r.Markers[2].second, xmp);
  EXPECT_EQ(r.Markers[3].second, icc1);
  EXPECT_EQ(r.Markers[4].second, icc2);
  EXPECT_EQ(r.Markers[5].first, JPEG_COM);
  EXPECT_FALSE(r.Adobe);
}

TEST(JpegWrite, SavePreparationRefreshesIptcXmpAndResolution) {
  TLmBitmap source;
  FillFromImage(source, MakePattern(16, 16, 3));
  TIOParamsVals params;
  auto resolution = Bytes(std::string("Photoshop 3.0\0" "8BIM\x03\xED\0\0\0\0\0\x10", 26));
  resolution.resize(resolution.size() + 16);
  params.JpegMarkers.Add(kJpegMarkerApp13, resolution);
  params.JpegMarkers.Add(kJpegMarkerApp1, BuildXmpApp1("<old/>"));
  params.DpiX = 200;
  params.DpiY = 100;
  params.XmpPacket = "<new/>";

  PrepareJpegMarkersForSave(params);
  const TLmMarkerList& m = params.JpegMarkers;
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.MarkerData(0)[26], 0);  // 200 in 16.16 fixed point
  EXPECT_EQ(m.MarkerData(0)[27], 200);
  EXPECT_EQ(ExtractXmpPacket(m.MarkerType(1), m.MarkerData(1)), "<new/>");

  // IPTC edited by the user replaces the Photoshop block; an emptied list removes it.
  params.IptcInfo.Records = {{2, 5, Bytes("Title")}};
  params.IptcInfo.UserChanged = true;
  PrepareJpegMarkersForSave(params);
  std::vector<TIptcRecord> records;
  ASSERT_TRUE(ParseIptcApp13(m.MarkerData(m.IndexOf(kJpegMarkerApp13)), records));
  EXPECT_EQ(records[0].Data, Bytes("Title"));
  params.IptcInfo.Records.clear();
  params.XmpPacket.clear();
  PrepareJpegMarkersForSave(params);
  EXPECT_EQ(m.Count(), 0);

  // Records from another format's file reach a JPEG save without markers.
  params.IptcInfo.Records = {{2, 25, Bytes("kw")}};
  params.IptcInfo.UserChanged = false;
  PrepareJpegMarkersForSave(params);
  EXPECT_EQ(m.IndexOf(kJpegMarkerApp13), 0);
}

}  // namespace
}  // namespace lumora
