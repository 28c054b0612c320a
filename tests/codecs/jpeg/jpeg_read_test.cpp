// JpegReadStream on files that libjpeg wrote for the test: start search,
// scale choice, colour spaces and pixel formats, resolution, kept markers,
// abbreviated streams, and the ways input goes wrong.
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg_test_util.h"
#include "imageio/cmyk.h"

namespace lumora {
namespace {

using namespace jpegtest;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Our pf24RGB rows against libjpeg's own RGB output.
void ExpectSameAsReference(const TLmBitmap& bitmap, const TReference& ref) {
  ASSERT_EQ(bitmap.Width(), ref.Width);
  ASSERT_EQ(bitmap.Height(), ref.Height);
  ASSERT_EQ(bitmap.PixelFormat(), pf24RGB);
  ASSERT_EQ(ref.Components, 3);
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* ours = bitmap.ScanLine(y);
    const uint8_t* theirs = ref.Row(y);
    for (int x = 0; x < ref.Width; ++x)
      ASSERT_TRUE(ours[3 * x] == theirs[3 * x + 2] && ours[3 * x + 1] == theirs[3 * x + 1] &&
                  ours[3 * x + 2] == theirs[3 * x])
          << "pixel " << x << "," << y;
  }
}

TEST(JpegRead, StartOfImageWithin150Bytes) {
  const auto jpeg = EncodeJpeg(MakePattern(32, 24, 3), {});
  for (size_t junk : {0u, 149u, 150u}) {
    std::vector<uint8_t> data(junk, 0x20);
    data.insert(data.end(), jpeg.begin(), jpeg.end());
    auto d = Decode(data);
    EXPECT_EQ(d->Aborting, junk >= 150) << junk;
    EXPECT_EQ(d->Rows, junk >= 150 ? 0 : 24) << junk;
  }
}

TEST(JpegRead, AutomaticScaleTakesTheSmallestSizeNotBelowTheWish) {
  const auto jpeg = EncodeJpeg(MakePattern(4000, 3000, 1), {.In = JCS_GRAYSCALE, .Quality = 50});
  struct {
    int wish, denominator, width, height;
  } cases[] = {{160, 8, 500, 375}, {600, 4, 1000, 750}, {1400, 2, 2000, 1500}};
  for (const auto& c : cases) {
    auto d = Decode(jpeg, [&](TIOParamsVals& p, TJpegReadOptions&) {
      p.JpegScale = kJpegScaleAuto;
      p.Width = p.Height = c.wish;
    });
    EXPECT_FALSE(d->Aborting);
    EXPECT_EQ(d->Params.JpegScaleUsed, c.denominator) << c.wish;
    EXPECT_EQ(d->Bitmap.Width(), c.width);
    EXPECT_EQ(d->Bitmap.Height(), c.height);
    EXPECT_EQ(d->Params.Width, c.width);
    EXPECT_EQ(d->Params.OriginalWidth, 4000);
    EXPECT_EQ(d->Params.OriginalHeight, 3000);
  }
  // Without a wish there is nothing to scale to; a parameters-only read
  // reports the full size.
  auto d = Decode(jpeg, [](TIOParamsVals& p, TJpegReadOptions& o) {
    p.JpegScale = kJpegScaleAuto;
    p.Width = 0;
    o.ParamsOnly = true;
  });
  EXPECT_EQ(d->Params.JpegScaleUsed, 1);
  EXPECT_EQ(d->Params.Width, 4000);
  EXPECT_TRUE(d->Bitmap.IsEmpty());
}

TEST(JpegRead, FixedScalesMatchTheLibrary) {
  const auto jpeg = EncodeJpeg(MakePattern(67, 45, 3), {});
  const std::pair<uint8_t, unsigned> scales[] = {{kJpegScaleFull, 1}, {kJpegScaleHalf, 2},
                                                 {kJpegScaleQuarter, 4}, {kJpegScaleEighth, 8}};
  for (const auto& [scale, denominator] : scales) {
    const uint8_t code = scale;
    auto d = Decode(jpeg, [&](TIOParamsVals& p, TJpegReadOptions&) { p.JpegScale = code; });
    EXPECT_EQ(d->Params.JpegScaleUsed, int(denominator));
    ExpectSameAsReference(d->Bitmap, ReferenceDecode(jpeg, JCS_RGB, denominator));
  }
}

TEST(JpegRead, DctMethodsMatchTheLibrary) {
  const auto jpeg = EncodeJpeg(MakePattern(40, 40, 3), {.Quality = 75});
  for (uint8_t method : {kJpegDctAccurate, kJpegDctFast, kJpegDctFloat}) {
    auto d = Decode(jpeg, [&](TIOParamsVals& p, TJpegReadOptions&) { p.JpegDctMethod = method; });
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    info.dct_method = static_cast<J_DCT_METHOD>(method);
    jpeg_start_decompress(&info);
    std::vector<uint8_t> row(40 * 3);
    for (int y = 0; y < 40; ++y) {
      JSAMPROW p = row.data();
      jpeg_read_scanlines(&info, &p, 1);
      ASSERT_EQ(std::memcmp(row.data(), d->Bitmap.ScanLine(y), row.size()), 0) << int(method) << " row " << y;
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
  }
}

TEST(JpegRead, GrayNativeOrExpanded) {
  const auto jpeg = EncodeJpeg(MakePattern(33, 17, 1), {.In = JCS_GRAYSCALE});
  const TReference ref = ReferenceDecode(jpeg);
  auto native = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.NativePixelFormat = true; });
  auto expanded = Decode(jpeg);
  ASSERT_EQ(native->Bitmap.PixelFormat(), pf8g);
  ASSERT_EQ(expanded->Bitmap.PixelFormat(), pf24RGB);
  for (auto* d : {native.get(), expanded.get()}) {
    EXPECT_EQ(d->Params.JpegColorSpace, kJpegGray);
    EXPECT_EQ(d->Params.SamplesPerPixel, 1);
  }
  for (int y = 0; y < 17; ++y) {
    ASSERT_EQ(std::memcmp(native->Bitmap.ScanLine(y), ref.Row(y), 33), 0);
    const uint8_t* rgb = expanded->Bitmap.ScanLine(y);
    for (int x = 0; x < 33; ++x)
      ASSERT_TRUE(rgb[3 * x] == ref.Row(y)[x] && rgb[3 * x + 1] == ref.Row(y)[x] && rgb[3 * x + 2] == ref.Row(y)[x]);
  }
}

TEST(JpegRead, CmykAndYcckNativeOrConverted) {
  for (J_COLOR_SPACE written : {JCS_CMYK, JCS_YCCK}) {
    const auto jpeg = EncodeJpeg(MakePattern(24, 16, 4), {.In = JCS_CMYK, .Out = written});
    const TReference ref = ReferenceDecode(jpeg, JCS_CMYK);
    auto native = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.NativePixelFormat = true; });
    auto converted = Decode(jpeg);
    ASSERT_EQ(native->Bitmap.PixelFormat(), pfCMYK);
    ASSERT_EQ(converted->Bitmap.PixelFormat(), pf24RGB);
    EXPECT_EQ(native->Params.JpegColorSpace, written == JCS_CMYK ? kJpegCMYK : kJpegYCCK);
    EXPECT_EQ(native->Params.SamplesPerPixel, 4);
    std::vector<uint8_t> bgr(24 * 3);
    for (int y = 0; y < 16; ++y) {
      ASSERT_EQ(std::memcmp(native->Bitmap.ScanLine(y), ref.Row(y), 24 * 4), 0);
      CMYKRowToBGR(ref.Row(y), bgr.data(), 24);
      ASSERT_EQ(std::memcmp(converted->Bitmap.ScanLine(y), bgr.data(), bgr.size()), 0);
    }
  }
}

TEST(JpegRead, InvertedCmykForTiff) {
  const auto jpeg = EncodeJpeg(MakeFlat(8, 8, {10, 20, 30, 40}), {.In = JCS_CMYK, .Quality = 100});
  auto d = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) {
    o.NativePixelFormat = true;
    o.InvertCmyk = true;
  });
  const uint8_t* p = d->Bitmap.ScanLine(3);
  EXPECT_NEAR(p[0], 245, 1);
  EXPECT_NEAR(p[3], 215, 1);
}

TEST(JpegRead, RgbColorSpaceComesOutInPixelOrder) {
  auto red = MakeFlat(16, 8, {255, 0, 0});
  // No JFIF header: it would declare the data YCbCr.
  const auto jpeg = EncodeJpeg(red, {.In = JCS_RGB, .Out = JCS_RGB, .Quality = 100, .Jfif = false});
  auto d = Decode(jpeg);
  EXPECT_EQ(d->Params.JpegColorSpace, kJpegRGB);
  const uint8_t* p = d->Bitmap.ScanLine(4);
  EXPECT_NEAR(p[0], 0, 2);    // blue
  EXPECT_NEAR(p[2], 255, 2);  // red
  const auto pattern = EncodeJpeg(MakePattern(30, 20, 3), {.In = JCS_RGB, .Out = JCS_RGB, .Jfif = false});
  ExpectSameAsReference(Decode(pattern)->Bitmap, ReferenceDecode(pattern, JCS_RGB));
}

TEST(JpegRead, RawYCbCrForTiff) {
  const auto jpeg = EncodeJpeg(MakePattern(16, 16, 3), {});
  auto d = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.RawYCbCr = true; });
  const TReference ref = ReferenceDecode(jpeg, JCS_YCbCr);
  for (int y = 0; y < 16; ++y) ASSERT_EQ(std::memcmp(d->Bitmap.ScanLine(y), ref.Row(y), 16 * 3), 0);
}

TEST(JpegRead, ResolutionFromTheJfifHeader) {
  struct {
    int unit, x, y;
    bool jfif;
    int dpiX, dpiY;
  } cases[] = {{2, 118, 118, true, 46, 46}, {1, 72, 96, true, 72, 96}, {0, 1, 1, true, 1, 1}, {1, 72, 72, false, 1, 1}};
  for (const auto& c : cases) {
    const auto jpeg = EncodeJpeg(MakePattern(8, 8, 3),
                                 {.Jfif = c.jfif, .DensityUnit = c.unit, .XDensity = c.x, .YDensity = c.y});
    auto d = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.ParamsOnly = true; });
    EXPECT_EQ(d->Params.DpiX, c.dpiX) << c.unit << " " << c.x;
    EXPECT_EQ(d->Params.DpiY, c.dpiY) << c.unit << " " << c.y;
  }
}

TEST(JpegRead, KeepsEveryMarkerButTheJfifHeader) {
  const auto exif = Bytes(std::string("Exif\0\0MM\0\x2a\0\0\0\x08", 14));
  const auto jfxx = Bytes(std::string("JFXX\0\x13", 6));
  const auto jpeg = EncodeJpeg(MakePattern(16, 16, 3), {.Adobe = true,
                                                        .Markers = {{JPEG_APP0 + 1, exif},
                                                                    {JPEG_APP0 + 13, Bytes("Photoshop 3.0")},
                                                                    {JPEG_COM, Bytes("a comment")},
                                                                    {JPEG_APP0, jfxx}}});
  auto d = Decode(jpeg);
  const TLmMarkerList& m = d->Params.JpegMarkers;
  ASSERT_EQ(m.Count(), 5);
  const uint8_t types[] = {kJpegMarkerApp14, kJpegMarkerApp1, kJpegMarkerApp13, kJpegMarkerCom, kJpegMarkerApp0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m.MarkerType(i), types[i]) << i;
  EXPECT_TRUE(std::ranges::equal(m.MarkerData(1), exif));
  EXPECT_TRUE(std::ranges::equal(m.MarkerData(4), jfxx));
}

TEST(JpegRead, IccProfileFromItsChunks) {
  std::vector<uint8_t> profile(150000);
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = static_cast<uint8_t>(i * 7 + i / 1000);
  const auto jpeg = EncodeJpeg(MakePattern(8, 8, 3), {.Icc = profile});
  EXPECT_EQ(Decode(jpeg)->Params.InputIccProfile, profile);
  auto noIcc = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.ReadIcc = false; });
  EXPECT_TRUE(noIcc->Params.InputIccProfile.empty());
  EXPECT_EQ(noIcc->Params.JpegMarkers.Count(), 3);  // the chunks stay among the markers
}

TEST(JpegRead, IptcAndXmpFromTheirSegments) {
  const std::vector<TIptcRecord> records = {{2, 5, Bytes("Title")}, {2, 25, Bytes("tag")}};
  const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'></x:xmpmeta>";
  const auto jpeg = EncodeJpeg(MakePattern(8, 8, 3), {.Markers = {{JPEG_APP0 + 13, BuildIptcApp13(records)},
                                                                  {JPEG_APP0 + 1, BuildXmpApp1(packet)}}});
  auto d = Decode(jpeg);
  ASSERT_EQ(d->Params.IptcInfo.Records.size(), 2u);
  EXPECT_EQ(d->Params.IptcInfo.Records[1].Data, Bytes("tag"));
  EXPECT_FALSE(d->Params.IptcInfo.UserChanged);
  EXPECT_EQ(d->Params.XmpPacket, packet);
}

TEST(JpegRead, RowLimitStopsEarlyWithoutFailing) {
  const auto jpeg = EncodeJpeg(MakePattern(16, 64, 3), {});
  auto d = Decode(jpeg, [](TIOParamsVals&, TJpegReadOptions& o) { o.MaxRows = 10; });
  EXPECT_EQ(d->Rows, 10);
  EXPECT_FALSE(d->Aborting);
}

TEST(JpegRead, ProgressiveFileAndFlag) {
  const auto jpeg = EncodeJpeg(MakePattern(50, 30, 3), {.Progressive = true});
  auto d = Decode(jpeg);
  EXPECT_TRUE(d->Params.JpegProgressive);
  ExpectSameAsReference(d->Bitmap, ReferenceDecode(jpeg, JCS_RGB));
  EXPECT_FALSE(Decode(EncodeJpeg(MakePattern(8, 8, 3), {}))->Params.JpegProgressive);
}

TEST(JpegRead, AbbreviatedImageWithSeparateTables) {
  // The JPEG-in-TIFF layout: tables in one datastream, the image in another.
  const TTestImage image = MakePattern(32, 32, 3);
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  info.image_width = info.image_height = 32;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  jpeg_write_tables(&info);
  std::vector<uint8_t> tables(buffer, buffer + size);
  std::free(buffer);
  buffer = nullptr;
  jpeg_mem_dest(&info, &buffer, &size);
  jpeg_start_compress(&info, FALSE);
  for (int y = 0; y < 32; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> abbreviated(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&info);

  TLmByteViewStream tablesStream(tables);
  TLmByteViewStream imageStream(abbreviated);
  auto d = Decode(imageStream, [&](TIOParamsVals&, TJpegReadOptions& o) { o.Tables = &tablesStream; });
  EXPECT_FALSE(d->Aborting);
  EXPECT_EQ(d->Rows, 32);
  EXPECT_TRUE(Decode(abbreviated)->Aborting);  // no quantisation tables of its own
}

TEST(JpegRead, LeavesTheStreamAfterTheImage) {
  const auto first = EncodeJpeg(MakePattern(20, 10, 3), {});
  const auto second = EncodeJpeg(MakePattern(10, 20, 1), {.In = JCS_GRAYSCALE});
  std::vector<uint8_t> both = first;
  both.insert(both.end(), second.begin(), second.end());
  TLmByteViewStream stream(both);
  auto a = Decode(stream);
  EXPECT_EQ(stream.Position(), int64_t(first.size()));
  auto b = Decode(stream);
  EXPECT_FALSE(b->Aborting);
  EXPECT_EQ(b->Bitmap.Width(), 10);
  EXPECT_EQ(b->Params.JpegColorSpace, kJpegGray);
}

TEST(JpegRead, StreamScansKeepThePosition) {
  const auto jpeg = EncodeJpeg(MakePattern(20, 10, 3), {.Progressive = true});
  std::vector<uint8_t> data(10, 0x20);
  data.insert(data.end(), jpeg.begin(), jpeg.end());
  data.insert(data.end(), 7, 0xAB);
  TLmByteViewStream stream(data);
  stream.SetPosition(4);
  EXPECT_EQ(FindJpegStart(stream), 10);
  EXPECT_EQ(stream.Position(), 4);
  stream.SetPosition(10);
  EXPECT_EQ(JpegStreamLength(stream), int64_t(jpeg.size()));
  EXPECT_EQ(stream.Position(), 10);
}

TEST(JpegRead, TruncatedFileKeepsRowsAndCountsWarnings) {
  for (bool progressive : {false, true}) {
    const auto jpeg = EncodeJpeg(MakePattern(128, 128, 3), {.Progressive = progressive});
    const TReference full = ReferenceDecode(jpeg, JCS_RGB);
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 5);
    auto d = Decode(cut);
    EXPECT_FALSE(d->Aborting) << progressive;
    EXPECT_EQ(d->Rows, 128);
    EXPECT_GT(d->Params.JpegWarningCount, 0);
    EXPECT_TRUE(d->Params.JpegWarningCode == JWRN_JPEG_EOF || d->Params.JpegWarningCode == JWRN_HIT_MARKER);
    if (!progressive) {
      // The top rows had all their data.
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 128; ++x) ASSERT_EQ(d->Bitmap.ScanLine(y)[3 * x + 2], full.Row(y)[3 * x]);
    }
  }
}

// A header that claims a huge image over almost no data must fail before
// anything is allocated for it (the bitmap alone would take 12 GB).
TEST(JpegRead, HugeHeaderOverTinyDataFailsWithoutAllocating) {
  for (bool progressive : {false, true}) {
    auto jpeg = EncodeJpeg(MakePattern(8, 8, 3), {.Progressive = progressive});
    const uint8_t sof = progressive ? 0xC2 : 0xC0;
    size_t at = 2;
    while (at + 4 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == sof)) at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    ASSERT_LT(at + 9, jpeg.size());
    // Height and width 65500, the library's largest.
    for (int i : {5, 7}) jpeg[at + i] = 0xFF;
    for (int i : {6, 8}) jpeg[at + i] = 0xDC;
    auto d = Decode(jpeg);
    EXPECT_TRUE(d->Aborting) << progressive;
    EXPECT_TRUE(d->Bitmap.IsEmpty());
    EXPECT_EQ(d->Params.OriginalWidth, 65500);
  }
}

// The data-size check must not refuse what real encoders write: a flat
// picture coded arithmetically takes almost no bytes.
TEST(JpegRead, FlatArithmeticPictureIsNotMistakenForAHostileHeader) {
  const std::vector<uint8_t> jpeg =
      EncodeJpeg(MakeFlat(3000, 2000, {128}), {.In = JCS_GRAYSCALE, .Arithmetic = true});
  ASSERT_LT(jpeg.size(), 3000u * 2000 / 1024);  // denser than Huffman coding can be
  auto d = Decode(jpeg, [](TIOParamsVals& p, TJpegReadOptions&) { p.JpegScale = kJpegScaleEighth; });
  EXPECT_FALSE(d->Aborting);
  EXPECT_EQ(d->Bitmap.Width(), 375);
}

TEST(JpegRead, BadInputEndsWithTheAbortingFlag) {
  std::vector<uint8_t> garbage = {0xFF, 0xD8, 0xFF};
  for (int i = 0; i < 2000; ++i) garbage.push_back(static_cast<uint8_t>(i * 131 + 7));
  const std::vector<std::vector<uint8_t>> inputs = {
      {},                                   // empty
      {0xFF, 0xD8, 0xFF, 0xD9},             // start and end, no image
      garbage,                              // signature, then noise
      EncodeJpeg(MakePattern(8, 8, 2), {.In = JCS_UNKNOWN}),  // two components: no colour model
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    auto d = Decode(inputs[i]);
    EXPECT_TRUE(d->Aborting) << i;
  }
}

}  // namespace
}  // namespace lumora
