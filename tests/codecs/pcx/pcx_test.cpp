// PCX and DCX: every plane layout against netpbm's pcxtoppm (reference
// images kept beside the files, so the comparison also runs under Wine),
// the writer read back by pcxtoppm and by us, DCX pages, and hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "codecs/pcx/pcx.h"
#include "external_decoder.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

const fs::path kData = PCX_DATA_DIR;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Netpbm writes "P6\n13 7\n255\n"; ParsePnm reads any blanks.
test::TPnmImage Reference(const std::string& name) {
  auto image = test::ParsePnm(ReadFile(kData / name));
  EXPECT_TRUE(image) << name;
  return image ? *image : test::TPnmImage{};
}

// Our pixels as red, green, blue (or gray) bytes, top-down.
std::vector<uint8_t> Pixels(TLmBitmap& bitmap, int channels) {
  TLmBitmap rgb;
  rgb.Assign(bitmap);
  rgb.RemoveAlphaChannel(false);
  rgb.SetPixelFormat(pf24RGB);
  std::vector<uint8_t> out;
  for (int y = 0; y < rgb.Height(); ++y) {
    const uint8_t* row = rgb.ScanLine(y);
    for (int x = 0; x < rgb.Width(); ++x) {
      if (channels == 1) {
        out.push_back(row[3 * x]);
      } else {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

void LoadBytes(TImageIO& io, const std::vector<uint8_t>& bytes, TFileTypeId type = ftPCX) {
  TLmByteViewStream stream(bytes);
  io.LoadImageFromStreamAs(stream, type);
}

struct TLayoutCase {
  const char* File;
  const char* ReferenceFile;
  int BitsPerSample, SamplesPerPixel;
  TLmPixelFormat Format;
  bool EgaBlue = false;  // the one known disagreement, see below
};

// pcxtoppm's default palette for blank headers has white as colour 1; the
// EGA's colour 1, which we give, is dark blue (0, 0, 170). Only those
// pixels may differ.
std::vector<uint8_t> WithPcxtoppmColourOne(std::vector<uint8_t> rgb) {
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    if (rgb[i] == 0 && rgb[i + 1] == 0 && rgb[i + 2] == 170) rgb[i] = rgb[i + 1] = rgb[i + 2] = 255;
  return rgb;
}

// Every layout we decode, as written by ppmtopcx and ImageMagick. The
// references are pcxtoppm's output, except for three files it cannot read,
// whose reference is ImageMagick's: raw_1x4 (pcxtoppm reads only encoded
// data), nomarker_8x1 (pcxtoppm needs the palette marker; the reference is
// the marked file's) and im_rgba (pcxtoppm misreads four 8-bit planes).
const TLayoutCase kLayouts[] = {
    {"bw_1x1.pcx", "bw_1x1.ref.ppm", 1, 1, pf1g},
    {"two_1x1.pcx", "two_1x1.ref.ppm", 1, 1, pf24RGB},  // two colours that are not black and white
    {"four_2x1.pcx", "four_2x1.ref.ppm", 2, 1, pf24RGB},
    {"four_1x2.pcx", "four_1x2.ref.ppm", 2, 1, pf24RGB},
    {"eight_1x3.pcx", "eight_1x3.ref.ppm", 3, 1, pf24RGB},
    {"sixteen_1x4.pcx", "sixteen_1x4.ref.ppm", 4, 1, pf24RGB},
    {"raw_1x4.pcx", "raw_1x4.ref.ppm", 4, 1, pf24RGB},
    {"sixteen_4x1.pcx", "sixteen_4x1.ref.ppm", 4, 1, pf24RGB},
    {"many_8x1.pcx", "many_8x1.ref.ppm", 8, 1, pf24RGB},
    {"nomarker_8x1.pcx", "nomarker_8x1.ref.ppm", 8, 1, pf24RGB},
    {"im_many8.pcx", "im_many8.ref.ppm", 8, 1, pf24RGB},
    {"true_8x3.pcx", "true_8x3.ref.ppm", 8, 3, pf24RGB},
    {"im_rgba.pcx", "im_rgba.ref.ppm", 8, 4, pf24RGB},
    // Blank header palettes: the EGA colours, or black and white.
    {"ega_v3_4x1.pcx", "ega_v3_4x1.ref.ppm", 4, 1, pf24RGB, true},
    {"ega_v5_zero_4x1.pcx", "ega_v5_zero_4x1.ref.ppm", 4, 1, pf24RGB, true},
    {"bw_zero_1x1.pcx", "bw_zero_1x1.ref.ppm", 1, 1, pf1g},
    {"bw_inv_1x1.pcx", "bw_inv_1x1.ref.ppm", 1, 1, pf1g},
};

TEST(PcxRead, EveryLayoutMatchesTheIndependentDecoder) {
  for (const TLayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.File);
    TImageIO io;
    io.LoadImageAs(kData / c.File, ftPCX);
    ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
    const test::TPnmImage ref = Reference(c.ReferenceFile);
    ASSERT_EQ(io.Bitmap().Width(), ref.Width);
    ASSERT_EQ(io.Bitmap().Height(), ref.Height);
    EXPECT_EQ(io.Bitmap().PixelFormat(), c.Format);
    EXPECT_EQ(io.Params.BitsPerSample, c.BitsPerSample);
    EXPECT_EQ(io.Params.SamplesPerPixel, c.SamplesPerPixel);
    const std::vector<uint8_t> ours = Pixels(io.Bitmap(), 3);
    EXPECT_EQ(c.EgaBlue ? WithPcxtoppmColourOne(ours) : ours, ref.Pixels);
    if (c.EgaBlue) {
      EXPECT_NE(ours, ref.Pixels);  // colour 1 is in the picture
    }
  }
}

TEST(PcxRead, FourthPlaneIsAlpha) {
  TImageIO io;
  io.LoadImageAs(kData / "im_rgba.pcx", ftPCX);
  ASSERT_FALSE(io.Aborting);
  ASSERT_TRUE(io.Bitmap().HasAlphaChannel());
  const test::TPnmImage ref = Reference("im_rgba.alpha.pgm");
  EXPECT_EQ(Pixels(io.Bitmap().AlphaChannel(), 1), ref.Pixels);
}

// A PCX built in memory: header fields, then the given data.
std::vector<uint8_t> MakePcx(int width, int height, int bits, int planes, int bytesPerLine,
                             const std::vector<uint8_t>& data, uint8_t encoding = 1) {
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[1] = 5;
  file[2] = encoding;
  file[3] = static_cast<uint8_t>(bits);
  WriteLE16(&file[8], static_cast<uint16_t>(width - 1));
  WriteLE16(&file[10], static_cast<uint16_t>(height - 1));
  WriteLE16(&file[12], 72);
  WriteLE16(&file[14], 72);
  file[65] = static_cast<uint8_t>(planes);
  WriteLE16(&file[66], static_cast<uint16_t>(bytesPerLine));
  file.resize(128 + data.size());
  std::copy(data.begin(), data.end(), file.begin() + 128);
  return file;
}

TEST(PcxRead, RunsCarryAcrossPlaneLinesAndRows) {
  // 2 x 2, 24 bits: one run of 12 bytes covers all three planes of both rows.
  TImageIO io;
  LoadBytes(io, MakePcx(2, 2, 8, 3, 2, {0xC0 | 12, 0x55}));
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  EXPECT_EQ(Pixels(io.Bitmap(), 3), std::vector<uint8_t>(12, 0x55));
}

TEST(PcxRead, HeaderFields) {
  std::vector<uint8_t> file = MakePcx(2, 1, 8, 3, 2, std::vector<uint8_t>(6, 1), 0);
  WriteLE16(&file[12], 0);
  WriteLE16(&file[14], 150);
  file[1] = 3;
  TImageIO io;
  LoadBytes(io, file);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.DpiX, 300);
  EXPECT_EQ(io.Params.DpiY, 300);
  EXPECT_EQ(io.Params.PcxVersion, 3);
  EXPECT_EQ(io.Params.PcxCompression, 0);
  EXPECT_EQ(io.Params.ImageCount, 1);
}

TEST(PcxRead, HostileFiles) {
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    TIOFailureKind Kind;
  };
  std::vector<uint8_t> badManufacturer = MakePcx(2, 2, 8, 3, 2, {});
  badManufacturer[0] = 11;
  std::vector<uint8_t> badEncoding = MakePcx(2, 2, 8, 3, 2, {});
  badEncoding[2] = 2;
  std::vector<uint8_t> badWindow = MakePcx(2, 2, 8, 3, 2, {});
  WriteLE16(&badWindow[4], 9);  // xmin past xmax
  std::vector<uint8_t> shortHeader = MakePcx(2, 2, 8, 1, 2, {});
  shortHeader.resize(60);
  const std::vector<TCase> cases = {
      {"header cut short", shortHeader, TIOFailureKind::InvalidData},
      {"bad manufacturer", badManufacturer, TIOFailureKind::InvalidData},
      {"encoding 2", badEncoding, TIOFailureKind::InvalidData},
      {"window ends before it starts", badWindow, TIOFailureKind::InvalidData},
      {"16 bits", MakePcx(2, 2, 16, 1, 4, {1, 2, 3, 4}), TIOFailureKind::InvalidData},
      {"lines shorter than the width", MakePcx(20, 2, 8, 1, 4, std::vector<uint8_t>(800)), TIOFailureKind::InvalidData},
      {"huge image from a tiny file", MakePcx(65535, 65535, 8, 3, 65535, {0xC1, 0}), TIOFailureKind::InvalidData},
      {"2 bits in 4 planes", MakePcx(2, 2, 2, 4, 2, std::vector<uint8_t>(16)), TIOFailureKind::Unsupported},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageIO io;
    LoadBytes(io, c.File);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.LastFailure().Kind, c.Kind) << io.LastFailure().Describe();
  }
}

TEST(PcxRead, TruncatedFileKeepsTheRowsRead) {
  // 4 x 4 gray-ish 24 bits, raw; the data stop inside row 2.
  std::vector<uint8_t> data;
  for (int y = 0; y < 4; ++y)
    for (int p = 0; p < 3; ++p)
      for (int x = 0; x < 4; ++x) data.push_back(static_cast<uint8_t>(10 + y));
  data.resize(12 * 2 + 5);
  TImageIO io;
  LoadBytes(io, MakePcx(4, 4, 8, 3, 4, data, 0));
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::InvalidData);
  ASSERT_EQ(io.Bitmap().Width(), 4);
  const std::vector<uint8_t> pixels = Pixels(io.Bitmap(), 3);
  EXPECT_EQ(pixels[0], 10);
  EXPECT_EQ(pixels[12], 11);
  EXPECT_EQ(pixels[12 * 3], 0);  // row 3 never came
}

TEST(PcxRead, RunPastTheEndOfTheDataStops) {
  // A run flag as the very last byte: no value follows.
  TImageIO io;
  LoadBytes(io, MakePcx(4, 1, 8, 3, 4, {0xC4, 7, 0xC4, 8, 0xC4}));
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::InvalidData);
}

// A test image with many colours, odd width.
void MakeColourful(TLmBitmap& bitmap, int width, int height, int colours) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const int k = (x * 7 + y * 13) % colours;
      row[3 * x] = static_cast<uint8_t>(k * 37);
      row[3 * x + 1] = static_cast<uint8_t>(k * 91);
      row[3 * x + 2] = static_cast<uint8_t>(255 - k * 17);
    }
  }
}

std::vector<uint8_t> Save(TImageIO& io, TFileTypeId type = ftPCX) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, type);
  EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
  return out.Data();
}

#ifndef _WIN32
std::optional<test::TPnmImage> DecodeWithNetpbm(const std::vector<uint8_t>& file) {
  const fs::path path = fs::temp_directory_path() / ("lumora_pcx_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".pcx");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  auto out = test::CommandOutput("/usr/bin/pcxtoppm '" + path.string() + "' 2>/dev/null");
  fs::remove(path);
  if (!out) return std::nullopt;
  return test::ParsePnm(*out);
}
#endif

TEST(PcxWrite, EveryDepthReadsBackTheSameByNetpbmAndUs) {
  struct TCase {
    int BitsPerSample, SamplesPerPixel, Colours;
    uint8_t Compression;
  };
  const TCase cases[] = {{1, 1, 2, 1}, {4, 1, 16, 1}, {8, 1, 200, 1}, {8, 3, 1000, 1}, {8, 3, 1000, 0}, {8, 1, 50, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.BitsPerSample << "x" << c.SamplesPerPixel << " rle " << int{c.Compression});
    TImageIO io;
    MakeColourful(io.Bitmap(), 13, 9, c.Colours);
    const std::vector<uint8_t> original = Pixels(io.Bitmap(), 3);
    io.Params.BitsPerSample = c.BitsPerSample;
    io.Params.SamplesPerPixel = c.SamplesPerPixel;
    io.Params.PcxCompression = c.Compression;
    const std::vector<uint8_t> file = Save(io);

    TImageIO back;
    LoadBytes(back, file);
    ASSERT_FALSE(back.Aborting) << back.LastFailure().Describe();
    // Few enough colours for the palette: the pixels survive exactly.
    EXPECT_EQ(Pixels(back.Bitmap(), 3), original);
#ifndef _WIN32
    auto netpbm = DecodeWithNetpbm(file);
    if (c.Compression == 0) continue;  // pcxtoppm reads only run-length encoded files
    ASSERT_TRUE(netpbm);
    EXPECT_EQ(netpbm->Pixels, original);
#endif
  }
}

TEST(PcxWrite, LineLayout) {
  TImageIO io;
  MakeColourful(io.Bitmap(), 5, 1, 1000);
  io.Params.BitsPerSample = 8;
  io.Params.SamplesPerPixel = 3;
  std::vector<uint8_t> file = Save(io);
  EXPECT_EQ(ReadLE16(&file[66]), 6);  // 5 bytes rounded up to an even count
  EXPECT_EQ(file[65], 3);

  // A lone byte of 0xC0 and above needs a count: (0xC1, value).
  ASSERT_TRUE(io.Bitmap().Allocate(1, 1, pf24RGB));
  io.Bitmap().ScanLine(0)[2] = 0xC0;
  file = Save(io);
  ASSERT_GE(file.size(), 130u);
  EXPECT_EQ(file[128], 0xC1);
  EXPECT_EQ(file[129], 0xC0);
}

TEST(PcxWrite, TwoColourImageKeepsItsColours) {
  TImageIO io;
  MakeColourful(io.Bitmap(), 11, 5, 2);
  const std::vector<uint8_t> original = Pixels(io.Bitmap(), 3);
  io.Params.BitsPerSample = 1;
  io.Params.SamplesPerPixel = 1;
  const std::vector<uint8_t> file = Save(io);
  EXPECT_EQ(file[3], 1);
  TImageIO back;
  LoadBytes(back, file);
  ASSERT_FALSE(back.Aborting);
  EXPECT_EQ(Pixels(back.Bitmap(), 3), original);
}

// ---- DCX --------------------------------------------------------------------

std::vector<uint8_t> SaveDcxPage(std::vector<uint8_t> container, int index, int colourSeed) {
  TImageIO io;
  MakeColourful(io.Bitmap(), 4 + colourSeed, 3, 1000);
  io.Params.DcxImageIndex = index;
  TLmMemoryStream stream;
  stream.Data() = std::move(container);
  WriteDcx(stream, io.Bitmap(), io.Params, *std::make_unique<TIOProgress>());
  return stream.Data();
}

TEST(Dcx, PagesInsertAppendAndRead) {
  std::vector<uint8_t> file = SaveDcxPage({}, 5, 0);  // any index starts a new file
  file = SaveDcxPage(file, 9, 1);                     // beyond the last page: appended
  file = SaveDcxPage(file, 0, 2);                     // before the first
  TLmByteViewStream stream(file);
  EXPECT_EQ(CountDcx(stream), 3);
  EXPECT_EQ(stream.Position(), 0);

  const int expectedWidths[] = {6, 4, 5};
  for (int page = 0; page < 3; ++page) {
    TImageIO io;
    io.Params.SetImageIndex(page);
    LoadBytes(io, file, ftDCX);
    ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
    EXPECT_EQ(io.Bitmap().Width(), expectedWidths[page]);
  }
  // Past the last page: the last page, and every index says so.
  TImageIO io;
  io.Params.SetImageIndex(7);
  LoadBytes(io, file, ftDCX);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().Width(), 5);
  EXPECT_EQ(io.Params.DcxImageIndex, 2);
}

TEST(Dcx, HostileFiles) {
  std::vector<uint8_t> file = SaveDcxPage({}, 0, 0);
  std::vector<uint8_t> offsetOutside = file;
  WriteLE32(&offsetOutside[4], static_cast<uint32_t>(file.size() + 10));
  std::vector<uint8_t> noMagic = file;
  noMagic[0] ^= 1;
  std::vector<uint8_t> noPages(8, 0);
  WriteLE32(noPages.data(), 987654321);
  for (const auto& bad : {offsetOutside, noMagic, noPages}) {
    TImageIO io;
    LoadBytes(io, bad, ftDCX);
    EXPECT_TRUE(io.Aborting);
  }
  // Writing into something that is no DCX leaves it alone.
  TImageIO io;
  MakeColourful(io.Bitmap(), 3, 3, 4);
  TLmMemoryStream stream;
  stream.Data() = noMagic;
  TIOProgress progress;
  WriteDcx(stream, io.Bitmap(), io.Params, progress);
  EXPECT_TRUE(progress.Aborting());
  EXPECT_EQ(stream.Data(), noMagic);
}

}  // namespace
}  // namespace lumora
