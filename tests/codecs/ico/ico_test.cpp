// ICO and CUR: every entry of the corpus icons against netpbm's
// winicontopam, the AND mask and alpha rules on built files, cursors, the
// writer read back by winicontopam and by us, and hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/ico/ico.h"
#include "external_decoder.h"
#include "imageio/byteorder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(LUMORA_CORPUS_DIR) / "misc" / "ico" / "images";

struct TRgbaImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgba;  // red, green, blue, alpha per pixel, top-down
};

// A PAM of 8-bit samples, gray or colour, with or without alpha
// (winicontopam's output).
#ifndef _WIN32  // winicontopam runs on the Linux side only
std::optional<TRgbaImage> ParsePam(const std::vector<uint8_t>& data) {
  const std::string text(data.begin(), data.end());
  const size_t end = text.find("ENDHDR\n");
  if (text.rfind("P7\n", 0) != 0 || end == std::string::npos) return std::nullopt;
  std::istringstream header(text.substr(3, end - 3));
  std::string key;
  int width = 0, height = 0, depth = 0, maxval = 0;
  while (header >> key) {
    if (key == "WIDTH") header >> width;
    else if (key == "HEIGHT") header >> height;
    else if (key == "DEPTH") header >> depth;
    else if (key == "MAXVAL") header >> maxval;
    else header.ignore(1000, '\n');
  }
  const size_t start = end + 7;
  if (maxval != 255 || depth < 1 || depth > 4 ||
      data.size() - start != static_cast<size_t>(width) * height * depth)
    return std::nullopt;
  TRgbaImage image{width, height, {}};
  for (size_t i = start; i < data.size(); i += depth) {
    const bool gray = depth <= 2;
    image.Rgba.insert(image.Rgba.end(), {data[i], data[gray ? i : i + 1], data[gray ? i : i + 2]});
    image.Rgba.push_back(depth == 2 || depth == 4 ? data[i + depth - 1] : 255);
  }
  return image;
}

std::optional<TRgbaImage> DecodeWithWinicontopam(const fs::path& file, int index) {
  auto out = test::CommandOutput("/usr/bin/winicontopam --image=" + std::to_string(index) + " '" + file.string() +
                                 "' 2>/dev/null");
  return out ? ParsePam(*out) : std::nullopt;
}
#endif

TRgbaImage Ours(TLmBitmap& bitmap) {
  TLmBitmap rgb;
  rgb.Assign(bitmap);
  rgb.RemoveAlphaChannel(false);
  rgb.SetPixelFormat(pf24RGB);
  TRgbaImage image{bitmap.Width(), bitmap.Height(), {}};
  for (int y = 0; y < rgb.Height(); ++y) {
    const uint8_t* row = rgb.ScanLine(y);
    for (int x = 0; x < rgb.Width(); ++x)
      image.Rgba.insert(image.Rgba.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x], bitmap.Alpha(x, y)});
  }
  return image;
}

// Pixels that differ; colours only count where the pixel is not fully
// transparent (what lies under a transparent pixel is not shown, and we
// give 1-, 4- and 8-bit icons the background colour there).
int Disagreements(const TRgbaImage& ours, const TRgbaImage& ref) {
  int bad = 0;
  for (size_t i = 0; i < ref.Rgba.size(); i += 4) {
    const bool alphaDiffers = ours.Rgba[i + 3] != ref.Rgba[i + 3];
    const bool colourDiffers = ref.Rgba[i + 3] != 0 && std::memcmp(&ours.Rgba[i], &ref.Rgba[i], 3) != 0;
    bad += alphaDiffers || colourDiffers;
  }
  return bad;
}

// winicontopam runs on the Linux side only: the comparison is a native test.
#ifndef _WIN32
TEST(IcoConformance, EveryCorpusEntryMatchesWinicontopam) {
  ASSERT_TRUE(fs::exists(kCorpus)) << "no corpus at " << kCorpus;
  int compared = 0;
  for (const auto& e : fs::directory_iterator(kCorpus)) {
    const fs::path file = e.path();
    const int count = TImageIO().CountImages(file);
    ASSERT_GT(count, 0) << file;
    for (int index = 0; index < count; ++index) {
      SCOPED_TRACE(file.filename().string() + " entry " + std::to_string(index));
      auto ref = DecodeWithWinicontopam(file, index);
      ASSERT_TRUE(ref);
      TImageIO io;
      io.Params.SetImageIndex(index);
      io.LoadImageAs(file, ftICO);
      ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
      const TRgbaImage ours = Ours(io.Bitmap());
      ASSERT_EQ(ours.Width, ref->Width);
      ASSERT_EQ(ours.Height, ref->Height);
      EXPECT_EQ(Disagreements(ours, *ref), 0);
      ++compared;
    }
  }
  EXPECT_GE(compared, 18);
}
#endif  // !_WIN32

// ---- Built icons --------------------------------------------------------------

struct TEntrySpec {
  int Width = 2, Height = 2;
  int Bits = 1;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB
  std::vector<uint8_t> Xor;       // rows as stored (bottom-up, padded)
  std::vector<uint8_t> And;       // rows as stored
  int HotX = 0, HotY = 0;
};

std::vector<uint8_t> EntryData(const TEntrySpec& s) {
  std::vector<uint8_t> d(40, 0);
  WriteLE32(&d[0], 40);
  WriteLE32(&d[4], static_cast<uint32_t>(s.Width));
  WriteLE32(&d[8], static_cast<uint32_t>(s.Height * 2));
  WriteLE16(&d[12], 1);
  WriteLE16(&d[14], static_cast<uint16_t>(s.Bits));
  for (uint32_t c : s.Palette) d.insert(d.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  d.insert(d.end(), s.Xor.begin(), s.Xor.end());
  d.insert(d.end(), s.And.begin(), s.And.end());
  return d;
}

std::vector<uint8_t> MakeIcon(const std::vector<TEntrySpec>& entries, int type = 1) {
  std::vector<uint8_t> file(6 + 16 * entries.size(), 0);
  WriteLE16(&file[2], static_cast<uint16_t>(type));
  WriteLE16(&file[4], static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntrySpec& s = entries[i];
    const std::vector<uint8_t> data = EntryData(s);
    uint8_t* e = &file[6 + 16 * i];
    e[0] = static_cast<uint8_t>(s.Width);
    e[1] = static_cast<uint8_t>(s.Height);
    WriteLE16(e + 4, static_cast<uint16_t>(type == 2 ? s.HotX : 1));
    WriteLE16(e + 6, static_cast<uint16_t>(type == 2 ? s.HotY : s.Bits));
    WriteLE32(e + 8, static_cast<uint32_t>(data.size()));
    WriteLE32(e + 12, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), data.begin(), data.end());
  }
  return file;
}

void LoadBytes(TImageIO& io, const std::vector<uint8_t>& bytes, TFileTypeId type = ftICO) {
  TLmByteViewStream stream(bytes);
  io.LoadImageFromStreamAs(stream, type);
}

// 2 x 2, 1 bit: bottom row (stored first) black, white; top row black,
// white. The AND mask marks the left column: the black pixel there shows
// the white background, the white one becomes black (inverted).
TEntrySpec OneBitEntry() {
  TEntrySpec s;
  s.Palette = {0x000000, 0xFFFFFF};
  s.Xor = {0x40, 0, 0, 0, 0x80, 0, 0, 0};  // bottom row: 0 1; top row: 1 0
  s.And = {0x80, 0, 0, 0, 0x80, 0, 0, 0};
  return s;
}

TEST(IcoRead, OneBitAndMaskShowsTheBackgroundOrInverts) {
  TImageIO io;
  LoadBytes(io, MakeIcon({OneBitEntry()}));
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  const TRgbaImage image = Ours(io.Bitmap());
  EXPECT_EQ(io.Bitmap().PixelFormat(), pf1g);
  // Top row: (1 inverted -> 0, alpha 0), (0 opaque); bottom: (0 -> 1, alpha 0), (1 opaque).
  const std::vector<uint8_t> expected = {0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 255, 255, 255, 255};
  EXPECT_EQ(image.Rgba, expected);
}

TEST(IcoRead, ThirtyTwoBitsTakeAlphaOrTheMaskWhenAlphaIsEmpty) {
  TEntrySpec s;
  s.Bits = 32;
  s.Xor = {1, 2, 3, 128, 4, 5, 6, 255, 7, 8, 9, 0, 10, 11, 12, 255};
  s.And = {0x40, 0, 0, 0, 0x40, 0, 0, 0};  // contradicts the alpha: ignored
  TImageIO io;
  LoadBytes(io, MakeIcon({s}));
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().Alpha(0, 1), 128);
  EXPECT_EQ(io.Bitmap().Alpha(1, 1), 255);
  EXPECT_EQ(io.Bitmap().Alpha(0, 0), 0);
  EXPECT_EQ(io.Params.SamplesPerPixel, 4);

  for (size_t i = 3; i < s.Xor.size(); i += 4) s.Xor[i] = 0;  // no alpha at all
  TImageIO masked;
  LoadBytes(masked, MakeIcon({s}));
  ASSERT_FALSE(masked.Aborting);
  EXPECT_EQ(masked.Bitmap().Alpha(1, 1), 0);
  EXPECT_EQ(masked.Bitmap().Alpha(0, 1), 255);
  EXPECT_EQ(masked.Bitmap().ScanLine(1)[0], 1);  // colours kept under the mask
}

TEST(IcoRead, DirectoryAndEntryChoice) {
  TEntrySpec small = OneBitEntry();
  TEntrySpec big = OneBitEntry();
  big.Width = 3;
  TEntrySpec last = OneBitEntry();
  last.Width = 4;
  std::vector<uint8_t> file = MakeIcon({small, big, last});
  // Entry 1 claims 256 pixels: an icon then loads the last entry.
  file[6 + 16] = 0;
  TImageIO io;
  LoadBytes(io, file);
  EXPECT_EQ(io.Params.ImageCount, 3);
  EXPECT_EQ(io.Params.IcoSizes[0], (TIcoSize{2, 2}));
  EXPECT_EQ(io.Params.IcoSizes[1], (TIcoSize{}));
  EXPECT_EQ(io.Params.IcoSizes[2], (TIcoSize{4, 2}));
  EXPECT_EQ(io.Params.IcoBitCounts[2], 1);
  EXPECT_EQ(io.Bitmap().Width(), 2);
  io.Params.SetImageIndex(1);
  LoadBytes(io, file);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().Width(), 4);
  // Beyond the directory: a failure, not the previous picture.
  io.Params.SetImageIndex(3);
  LoadBytes(io, file);
  EXPECT_TRUE(io.Aborting);
}

TEST(IcoRead, BmpNamedIcoAndHeaderlessImage) {
  TImageIO bmp;
  ASSERT_TRUE(bmp.Bitmap().Allocate(3, 2, pf24RGB));
  bmp.Bitmap().Fill(0x102030);
  TLmMemoryStream bmpFile;
  bmp.SaveImageToStreamAs(bmpFile, ftBMP);
  TImageIO io;
  LoadBytes(io, bmpFile.Data());
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  EXPECT_EQ(io.Bitmap().Width(), 3);

  // The bare entry of a one-image icon.
  const std::vector<uint8_t> icon = MakeIcon({OneBitEntry()});
  TImageIO headerless;
  headerless.Params.BmpHeaderless = true;
  LoadBytes(headerless, std::vector<uint8_t>(icon.begin() + 22, icon.end()));
  ASSERT_FALSE(headerless.Aborting) << headerless.LastFailure().Describe();
  EXPECT_EQ(headerless.Bitmap().Width(), 2);
  EXPECT_EQ(headerless.Params.IcoSizes[0], (TIcoSize{2, 2}));
  EXPECT_EQ(headerless.Bitmap().Alpha(0, 0), 0);
}

TEST(CurRead, HotSpotAndEntry) {
  TEntrySpec s = OneBitEntry();
  s.HotX = 5;
  s.HotY = 7;
  TImageIO io;
  LoadBytes(io, MakeIcon({OneBitEntry(), s}, 2), ftCUR);
  EXPECT_EQ(io.Params.CurHotSpotX, 0);
  io.Params.SetImageIndex(1);
  LoadBytes(io, MakeIcon({OneBitEntry(), s}, 2), ftCUR);
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  EXPECT_EQ(io.Params.CurHotSpotX, 5);
  EXPECT_EQ(io.Params.CurHotSpotY, 7);
  EXPECT_EQ(io.Bitmap().Width(), 2);
}

TEST(IcoRead, HostileFiles) {
  struct TCase {
    const char* Name;
    std::vector<uint8_t> File;
    TIOFailureKind Kind;
  };
  std::vector<uint8_t> huge = MakeIcon({OneBitEntry()});
  WriteLE32(&huge[22 + 4], 60000);
  WriteLE32(&huge[22 + 8], 120000);
  std::vector<uint8_t> offsetOutside = MakeIcon({OneBitEntry()});
  WriteLE32(&offsetOutside[18], 100000);
  std::vector<uint8_t> noDepth = MakeIcon({OneBitEntry()});
  WriteLE16(&noDepth[12], 0);          // entry bit count
  WriteLE16(&noDepth[22 + 14], 0);     // header bit count; colour count is 0 too
  std::vector<uint8_t> manyEntries(6, 0);
  WriteLE16(&manyEntries[2], 1);
  WriteLE16(&manyEntries[4], 60000);  // a directory the file does not hold
  std::vector<uint8_t> pngCut = MakeIcon({OneBitEntry()});
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::memcpy(&pngCut[22], png, 8);
  const std::vector<TCase> cases = {
      {"huge image from a tiny entry", huge, TIOFailureKind::InvalidData},
      {"offset outside the file", offsetOutside, TIOFailureKind::InvalidData},
      {"depth unknown", noDepth, TIOFailureKind::InvalidData},
      {"directory larger than the file", manyEntries, TIOFailureKind::InvalidData},
      {"PNG entry cut short", pngCut, TIOFailureKind::InvalidData},
      {"empty directory", std::vector<uint8_t>{0, 0, 1, 0, 0, 0}, TIOFailureKind::InvalidData},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageIO io;
    LoadBytes(io, c.File);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.LastFailure().Kind, c.Kind) << io.LastFailure().Describe();
  }
}

TEST(IcoRead, TruncatedEntryKeepsTheRowsRead) {
  TEntrySpec s;
  s.Width = 1;
  s.Height = 4;
  s.Bits = 24;
  s.Xor = {10, 10, 10, 0, 20, 20, 20, 0, 30, 30, 30, 0, 40, 40, 40, 0};
  s.And = std::vector<uint8_t>(16, 0);
  std::vector<uint8_t> file = MakeIcon({s});
  file.resize(file.size() - 16 - 2);  // the mask and part of the top row are gone
  TImageIO io;
  LoadBytes(io, file);
  EXPECT_TRUE(io.Aborting);
  ASSERT_EQ(io.Bitmap().Height(), 4);
  EXPECT_EQ(io.Bitmap().ScanLine(3)[0], 10);
  EXPECT_EQ(io.Bitmap().ScanLine(1)[0], 30);
}

// ---- Writer -------------------------------------------------------------------

void MakePicture(TLmBitmap& bitmap, int width, int height, bool withAlpha) {
  ASSERT_TRUE(bitmap.Allocate(width, height, pf24RGB));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const int k = (x / 4 + y / 4) % 5;  // flat blocks survive resampling
      row[3 * x] = static_cast<uint8_t>(k * 60);
      row[3 * x + 1] = static_cast<uint8_t>(255 - k * 50);
      row[3 * x + 2] = static_cast<uint8_t>(k * 20);
    }
  }
  if (withAlpha)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) bitmap.SetAlpha(x, y, x < width / 4 ? 0 : (x < width / 2 ? 128 : 255));
}

TEST(IcoWrite, MultiEntryIconReadsBackByWinicontopamAndUs) {
  TImageIO io;
  MakePicture(io.Bitmap(), 32, 32, true);
  io.Params.IcoSizes = {TIcoSize{16, 16}, TIcoSize{32, 32}, TIcoSize{32, 32}, TIcoSize{32, 32}, TIcoSize{32, 32}};
  io.Params.IcoBitCounts = {4, 32, 8, 24, 1};
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftICO);
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  const std::vector<uint8_t> file = out.Data();
  ASSERT_EQ(ReadLE16(&file[4]), 5);
  // Directory: 16 colours and no bit count for 4 bits; 0 colours and 32 bits.
  EXPECT_EQ(file[6 + 2], 16);
  EXPECT_EQ(ReadLE16(&file[6 + 6]), 0);
  EXPECT_EQ(file[22 + 2], 0);
  EXPECT_EQ(ReadLE16(&file[22 + 6]), 32);

  const TRgbaImage original = Ours(io.Bitmap());
  const fs::path path = fs::temp_directory_path() / "lumora_ico_write_test.ico";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  for (int index = 1; index < 5; ++index) {
    SCOPED_TRACE(index);
    TImageIO back;
    back.Params.SetImageIndex(index);
    LoadBytes(back, file);
    ASSERT_FALSE(back.Aborting) << back.LastFailure().Describe();
    TRgbaImage ours = Ours(back.Bitmap());
    ASSERT_EQ(ours.Width, 32);
    const int bits = io.Params.IcoBitCounts[index];
    if (bits == 32) {
      EXPECT_EQ(ours.Rgba, original.Rgba);  // alpha 128 survives
    } else if (bits != 1) {
      // The AND mask holds 1 bit: half-transparent pixels become transparent.
      TRgbaImage expected = original;
      for (size_t i = 3; i < expected.Rgba.size(); i += 4) expected.Rgba[i] = expected.Rgba[i] == 255 ? 255 : 0;
      EXPECT_EQ(Disagreements(ours, expected), 0);
    }
#ifndef _WIN32
    auto ref = DecodeWithWinicontopam(path, index);
    ASSERT_TRUE(ref);
    EXPECT_EQ(Disagreements(ours, *ref), 0);
#endif
  }
  fs::remove(path);
}

TEST(IcoWrite, SmallSizesAndBadSizes) {
  TImageIO io;
  MakePicture(io.Bitmap(), 40, 20, false);
  io.Params.IcoSizes = {TIcoSize{16, 16}};
  io.Params.IcoBitCounts = {0};  // from the depth: 24 bits
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftICO);
  ASSERT_FALSE(io.Aborting);
  TImageIO back;
  LoadBytes(back, out.Data());
  ASSERT_FALSE(back.Aborting);
  EXPECT_EQ(back.Bitmap().Width(), 16);
  EXPECT_EQ(back.Params.BitsPerSample * back.Params.SamplesPerPixel, 24);
  EXPECT_FALSE(back.Bitmap().HasAlphaChannel());

  io.Params.IcoSizes = {TIcoSize{300, 300}};
  TLmMemoryStream refused;
  io.SaveImageToStreamAs(refused, ftICO);
  EXPECT_TRUE(io.Aborting);
}

}  // namespace
}  // namespace lumora
