// Content detection: every probe on a minimal header, the order where
// layouts overlap, stream positions, and the extension rules of files.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imageio/byteorder.h"
#include "imageio/detect.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes Text(const std::string& s, size_t padTo = 0) {
  TBytes b(s.begin(), s.end());
  if (b.size() < padTo) b.resize(padTo, 0);
  return b;
}

TFileTypeId Detect(const TBytes& data) {
  TLmByteViewStream s(data);
  return DetectStreamType(s);
}

// A little-endian TIFF with one directory of (tag, type, count, value) entries.
TBytes Tiff(std::vector<std::array<uint32_t, 4>> entries, bool bigEndian = false) {
  TBytes b(8 + 2 + 12 * entries.size() + 4 + 16, 0);
  auto put16 = [&](size_t at, uint16_t v) { bigEndian ? WriteBE16(&b[at], v) : WriteLE16(&b[at], v); };
  auto put32 = [&](size_t at, uint32_t v) { bigEndian ? WriteBE32(&b[at], v) : WriteLE32(&b[at], v); };
  b[0] = b[1] = bigEndian ? 'M' : 'I';
  put16(2, 42);
  put32(4, 8);
  put16(8, static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 10 + 12 * i;
    put16(at, static_cast<uint16_t>(entries[i][0]));
    put16(at + 2, static_cast<uint16_t>(entries[i][1]));
    put32(at + 4, entries[i][2]);
    if (entries[i][1] == 3 && entries[i][2] == 1)
      put16(at + 8, static_cast<uint16_t>(entries[i][3]));
    else
      put32(at + 8, entries[i][3]);
  }
  return b;
}

TBytes IconDirectory(uint16_t type) {
  TBytes b(6 + 16 + 40, 0);
  WriteLE16(&b[2], type);
  WriteLE16(&b[4], 1);
  b[6] = 16;
  b[7] = 16;
  WriteLE32(&b[6 + 8], 40);   // data size
  WriteLE32(&b[6 + 12], 22);  // data offset: right after the entry
  return b;
}

TEST(Detect, EveryProbeOnAMinimalHeader) {
  TBytes targa(18 + 4, 0);
  targa[2] = 2;
  targa[16] = 24;
  WriteLE16(&targa[12], 1);
  WriteLE16(&targa[14], 1);
  TBytes pcx(130, 0);
  pcx[0] = 0x0A;
  pcx[1] = 5;
  TBytes jp2(16, 0);
  WriteBE32(&jp2[0], 12);
  WriteBE32(&jp2[4], 0x6A502020);
  WriteBE32(&jp2[8], 0x0D0A870A);
  TBytes j2k = {0xFF, 0x4F, 0xFF, 0x51, 0, 0};
  TBytes dicom(140, 0);
  std::memcpy(&dicom[128], "DICM", 4);
  TBytes dcx(16, 0);
  WriteLE32(&dcx[0], 0x3ADE68B1);
  WriteLE32(&dcx[4], 12);
  TBytes wmf(40, 0);
  WriteLE32(&wmf[0], 0x9AC6CDD7);
  WriteLE16(&wmf[22], 1);
  WriteLE16(&wmf[24], 9);
  TBytes emf(100, 0);
  WriteLE32(&emf[0], 1);
  WriteLE32(&emf[40], 0x464D4520);
  TBytes psd = Text("8BPS", 30);
  WriteBE16(&psd[4], 1);
  WriteBE16(&psd[12], 3);
  WriteBE16(&psd[22], 8);
  WriteBE16(&psd[24], 3);
  TBytes layers = Text("LUMORA-LAYERS", 20);
  WriteLE32(&layers[13], 2);
  TBytes jpegAfterJunk(100, 'x');
  jpegAfterJunk.insert(jpegAfterJunk.end(), {0xFF, 0xD8, 0xFF, 0xE0, 0, 0});

  struct Case {
    const char* what;
    TBytes data;
    TFileTypeId expected;
  };
  const Case cases[] = {
      {"JPEG stream header", Text(std::string("JFIF\0", 5), 13), ftJPEG},
      {"GIF", Text("GIF89a", 14), ftGIF},
      {"PCX stream header", Text(std::string("PCX2\0", 5), 13), ftPCX},
      {"old PCX stream header", Text(std::string("PCX\0", 4), 5), ftPCX},
      {"BMP", Text("BM", 15), ftBMP},
      {"PCX", pcx, ftPCX},
      {"TIFF stream header", Text(std::string("TIFF\0", 5), 13), ftTIFF},
      {"HD Photo", Tiff({{0xBC01, 1, 1, 0}, {0xBC80, 4, 1, 1}, {0xBC81, 4, 1, 1}, {0xBCC0, 4, 1, 1}, {0xBCC1, 4, 1, 1}}),
       ftHDP},
      {"TIFF", Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}}), ftTIFF},
      {"TIFF big-endian", Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}}, true), ftTIFF},
      {"PNG", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0}, ftPNG},
      {"DICOM", dicom, ftDICOM},
      {"icon", IconDirectory(1), ftICO},
      {"cursor", IconDirectory(2), ftCUR},
      {"Targa", targa, ftTGA},
      {"PNM", Text("P6\n3 2\n255\n"), ftPXM},
      {"PNM with comments and a zero token", Text("P1\n# made by hand\n0 3 2\n"), ftPXM},
      {"JPEG 2000 file", jp2, ftJP2},
      {"JPEG 2000 code stream", j2k, ftJ2K},
      {"AVI", Text(std::string("RIFF\0\0\0\0AVI ", 12), 16), ftAVI},
      {"DCX", dcx, ftDCX},
      {"placeable WMF", wmf, ftWMF},
      {"EMF", emf, ftEMF},
      {"PSD", psd, ftPSD},
      {"vector objects", Text("LMV1", 8), ftLMV},
      {"layers", layers, ftLYR},
      {"JPEG after 100 junk bytes", jpegAfterJunk, ftJPEG},
      {"nothing", Text("hello, world", 64), ftUnknown},
      {"empty", {}, ftUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(Detect(c.data), c.expected) << c.what;
}

TEST(Detect, OrderAndLimits) {
  // 150 junk bytes put the JPEG marker out of reach.
  TBytes junk150(150, 'x');
  junk150.insert(junk150.end(), {0xFF, 0xD8, 0xFF, 0xE0});
  EXPECT_NE(Detect(junk150), ftJPEG);
  // "GIF" needs more than 13 bytes; a 12-byte stream is left to the later probes.
  EXPECT_EQ(Detect(Text("GIF89a", 12)), ftUnknown);
  EXPECT_EQ(Detect(Text(std::string("PCX\0", 4), 12)), ftPCX);
  // A DNG (TIFF with DNGVersion) is not TIFF, nor CFA data.
  EXPECT_NE(Detect(Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}, {50706, 1, 4, 0x01040000}})), ftTIFF);
  EXPECT_NE(Detect(Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}, {262, 3, 1, 32803}})), ftTIFF);
  // A TIFF without the size tags, or whose directory lies outside the file.
  EXPECT_NE(Detect(Tiff({{256, 3, 1, 10}})), ftTIFF);
  TBytes outside = Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}});
  WriteLE32(&outside[4], 5000);
  EXPECT_NE(Detect(outside), ftTIFF);
  // An icon directory whose entry points into itself is not an icon.
  TBytes badIcon = IconDirectory(1);
  WriteLE32(&badIcon[6 + 12], 10);
  EXPECT_NE(Detect(badIcon), ftICO);
  // A PNM magic with a width but no height.
  EXPECT_NE(Detect(Text("P5 12")), ftPXM);
  // A run of letters long enough to end the PNM probe's window.
  EXPECT_EQ(Detect(Text("P5 " + std::string(3 << 20, 'a'))), ftUnknown);
}

TEST(Detect, StartsAtThePositionAndRestoresIt) {
  TBytes data(37, 'z');
  const TBytes bmp = Text("BM", 20);
  data.insert(data.end(), bmp.begin(), bmp.end());
  TLmByteViewStream s(data);
  s.SetPosition(37);
  EXPECT_EQ(DetectStreamType(s), ftBMP);
  EXPECT_EQ(s.Position(), 37);
  s.SetPosition(36);
  EXPECT_EQ(DetectStreamType(s), ftUnknown);
  EXPECT_EQ(s.Position(), 36);
}

class DetectFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lumora-detect-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path Write(const char* name, const TBytes& data) {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(DetectFile, ExtensionRules) {
  const TBytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0};
  const auto pngAsBmp = Write("png.bmp", png);
  EXPECT_EQ(DetectFileType(pngAsBmp, false), ftPNG);
  EXPECT_EQ(DetectFileType(pngAsBmp, true), ftUnknown);
  EXPECT_EQ(DetectFileType(Write("icon.cur", IconDirectory(1)), true), ftCUR);
  EXPECT_EQ(DetectFileType(Write("cursor.ico", IconDirectory(2)), true), ftICO);
  EXPECT_EQ(DetectFileType(Write("png.xyz", png), true), ftUnknown);
  EXPECT_EQ(DetectFileType(Write("png.xyz2", png), false), ftPNG);
  // Camera RAW files are TIFF-structured: the extension wins.
  EXPECT_EQ(DetectFileType(Write("photo.NEF", Tiff({{256, 3, 1, 10}, {257, 3, 1, 10}})), true), ftRAW);
  // Content that matches nothing stays unknown whatever the flag.
  EXPECT_EQ(DetectFileType(Write("junk.bmp", Text("junk", 100)), true), ftUnknown);
  EXPECT_EQ(DetectFileType(dir_ / "missing.bmp", false), ftUnknown);
  EXPECT_EQ(DetectFileType(dir_, false), ftUnknown);
  EXPECT_EQ(DetectFileType(std::filesystem::path(), false), ftUnknown);
}

}  // namespace
}  // namespace lumora
