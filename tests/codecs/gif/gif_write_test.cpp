#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "codecs/gif/gif.h"
#include "gif_builder.h"
#include "gif_test_util.h"
#include "imageio/errors.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"

namespace lumora {
namespace {

using test::GifBuilder;
using test::LoadGif;
using test::PixelAt;
using test::Rgb;
using test::Triple;

// Writes the I/O object's bitmap as GIF and returns the bytes.
std::vector<uint8_t> Save(TImageIO& io) {
  TLmMemoryStream out;
  io.SaveImageToStreamAs(out, ftGIF);
  EXPECT_FALSE(io.Aborting);
  return out.Data();
}

void FillRgb(TLmBitmap& b, const std::vector<TLmRGBTriple>& pixels) {
  for (int y = 0; y < b.Height(); ++y) {
    auto* row = reinterpret_cast<TLmRGBTriple*>(b.ScanLine(y));
    for (int x = 0; x < b.Width(); ++x) row[x] = pixels[(y * b.Width() + x) % pixels.size()];
  }
}

// The parts of a written file the tests look at.
struct Written {
  int bits = 0;
  int background = 0;
  std::vector<TLmRGBTriple> table;
  uint8_t controlPacked = 0;
  int transparent = 0;
};

Written Parse(const std::vector<uint8_t>& f) {
  Written w;
  w.bits = (f.at(10) & 7) + 1;
  w.background = f.at(11);
  const size_t entries = size_t{1} << w.bits;
  for (size_t i = 0; i < entries; ++i) w.table.push_back(Triple(f.at(13 + 3 * i), f[14 + 3 * i], f[15 + 3 * i]));
  const size_t gce = 13 + 3 * entries;
  EXPECT_EQ(f.at(gce), 0x21);
  EXPECT_EQ(f.at(gce + 1), 0xF9);
  w.controlPacked = f.at(gce + 3);
  w.transparent = f.at(gce + 6);
  return w;
}

const TLmRGBTriple kRed = Triple(255, 0, 0), kBlue = Triple(0, 0, 255), kGreen = Triple(0, 255, 0);

TEST(GifWrite, AlphaReservesTheLastEntryOfTheTable) {
  TImageIO io;
  TLmBitmap& b = io.Bitmap();
  b.Allocate(4, 2, pf24RGB);
  FillRgb(b, {kRed, kGreen, kBlue, Triple(9, 9, 9)});
  b.SetAlpha(1, 0, 0);
  b.SetAlpha(2, 1, 100);
  io.Params.BitsPerSample = 4;
  const std::vector<uint8_t> f = Save(io);
  const Written w = Parse(f);
  EXPECT_EQ(w.bits, 4);
  EXPECT_EQ(w.table.size(), 16u);
  EXPECT_EQ(w.transparent, 15);
  EXPECT_EQ(w.controlPacked & 1, 1);
  EXPECT_TRUE(io.Params.GifHasTransparency);

  const auto back = LoadGif(f);
  ASSERT_FALSE(back->Aborting);
  ASSERT_TRUE(back->Bitmap().HasAlphaChannel());
  EXPECT_EQ(back->Bitmap().Alpha(1, 0), 0);
  EXPECT_EQ(back->Bitmap().Alpha(2, 1), 0);  // partly transparent counts as transparent
  EXPECT_EQ(back->Bitmap().Alpha(0, 0), 255);
  EXPECT_EQ(PixelAt(back->Bitmap(), 0, 0), kRed);
  EXPECT_EQ(PixelAt(back->Bitmap(), 3, 1), Triple(9, 9, 9));
}

TEST(GifWrite, TwoColoursAtOneBitBecomeBlackForTheDarkerAndWhite) {
  TImageIO io;
  io.Bitmap().Allocate(3, 2, pf24RGB);
  FillRgb(io.Bitmap(), {kRed, kBlue, kBlue});
  io.Params.BitsPerSample = 1;
  const std::vector<uint8_t> f = Save(io);
  EXPECT_EQ(Parse(f).bits, 1);
  const auto back = LoadGif(f);
  ASSERT_FALSE(back->Aborting);
  EXPECT_EQ(back->Bitmap().PixelFormat(), pf1g);
  EXPECT_EQ(PixelAt(back->Bitmap(), 0, 0), Triple(255, 255, 255));
  EXPECT_EQ(PixelAt(back->Bitmap(), 1, 0), Triple(0, 0, 0));
}

TEST(GifWrite, OneBitImageWithAlphaKeepsWhiteAndGetsAThirdEntry) {
  TImageIO io;
  io.Bitmap().Allocate(9, 1, pf1g);
  io.Bitmap().Fill(0xFFFFFF);
  io.Bitmap().ScanLine(0)[0] = 0x7F;  // first pixel black
  io.Bitmap().SetAlpha(8, 0, 0);
  io.Params.BitsPerSample = 1;
  const std::vector<uint8_t> f = Save(io);
  const Written w = Parse(f);
  EXPECT_EQ(w.bits, 2);
  EXPECT_EQ(w.transparent, 3);
  const auto back = LoadGif(f);
  ASSERT_FALSE(back->Aborting);
  EXPECT_EQ(PixelAt(back->Bitmap(), 0, 0), Triple(0, 0, 0));
  EXPECT_EQ(PixelAt(back->Bitmap(), 1, 0), Triple(255, 255, 255));
  EXPECT_EQ(back->Bitmap().Alpha(1, 0), 255);
  EXPECT_EQ(back->Bitmap().Alpha(8, 0), 0);
}

TEST(GifWrite, ColoursMissingFromAnExactPaletteGetTheNearestEntry) {
  TImageIO io;
  io.Bitmap().Allocate(3, 1, pf24RGB);
  FillRgb(io.Bitmap(), {kRed, kGreen, kBlue});
  io.Params.BitsPerSample = 2;
  io.Params.GifBackgroundColor = Triple(10, 10, 240);   // nearest: blue
  io.Params.GifTransparentColor = Triple(250, 20, 0);   // nearest: red
  io.Params.GifHasTransparency = true;
  const Written w = Parse(Save(io));
  ASSERT_LT(w.background, 4);
  EXPECT_EQ(w.table[w.background], kBlue);
  ASSERT_LT(w.transparent, 4);
  EXPECT_EQ(w.table[w.transparent], kRed);
}

TEST(GifWrite, PalettedIndicesBeyondTheTableTakeTheNearestEntry) {
  TImageIO io;
  TLmBitmap& b = io.Bitmap();
  b.Allocate(3, 1, pf8p);
  const TLmRGBTriple palette[] = {Triple(0, 0, 0), Triple(255, 255, 255), Triple(200, 0, 0), Triple(0, 0, 200),
                                  Triple(250, 250, 240)};
  b.SetPalette(palette, 5);
  b.ScanLine(0)[0] = 2;
  b.ScanLine(0)[1] = 4;  // past a 4-entry table: nearest is white
  b.ScanLine(0)[2] = 3;
  io.Params.BitsPerSample = 2;
  const auto back = LoadGif(Save(io));
  ASSERT_FALSE(back->Aborting);
  EXPECT_EQ(PixelAt(back->Bitmap(), 0, 0), Triple(200, 0, 0));
  EXPECT_EQ(PixelAt(back->Bitmap(), 1, 0), Triple(255, 255, 255));
  EXPECT_EQ(PixelAt(back->Bitmap(), 2, 0), Triple(0, 0, 200));
}

TEST(GifWrite, FieldsGoIntoTheFileAndComeBack) {
  TImageIO io;
  io.Bitmap().Allocate(5, 9, pf24RGB);
  FillRgb(io.Bitmap(), {kRed, kGreen, kBlue});
  io.Params.GifVersion = "GIF87a";
  io.Params.GifInterlaced = true;
  io.Params.GifDelay = 123;
  io.Params.GifDisposal = 3;
  io.Params.GifFrameLeft = 2;
  io.Params.GifFrameTop = 1;
  io.Params.GifComments = {"short", "", std::string(300, 'x')};
  const std::vector<uint8_t> f = Save(io);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
  EXPECT_EQ(f.back(), 0x3B);

  const auto back = LoadGif(f);
  ASSERT_FALSE(back->Aborting);
  const TIOParamsVals& p = back->Params;
  EXPECT_EQ(p.GifVersion, "GIF87a");
  EXPECT_TRUE(p.GifInterlaced);
  EXPECT_EQ(p.GifDelay, 123);
  EXPECT_EQ(p.GifDisposal, 3);
  EXPECT_EQ(p.GifFrameLeft, 2);
  EXPECT_EQ(p.GifFrameTop, 1);
  // The screen holds the frame at its position.
  EXPECT_EQ(p.GifScreenWidth, 7);
  EXPECT_EQ(p.GifScreenHeight, 10);
  EXPECT_EQ(p.GifComments, (std::vector<std::string>{"short", std::string(255, 'x'), std::string(45, 'x')}));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(PixelAt(back->Bitmap(), x, y), (std::vector{kRed, kGreen, kBlue})[(y * 5 + x) % 3]);
    }
  }
}

// A stream that takes only `room` bytes.
class TFullStream : public TLmMemoryStream {
 public:
  explicit TFullStream(size_t room) : room_(room) {}
  size_t Write(const void* buffer, size_t count) override {
    const size_t n = std::min(count, room_);
    room_ -= n;
    return TLmMemoryStream::Write(buffer, n);
  }

 private:
  size_t room_;
};

TEST(GifWrite, ShortWritesSetTheAbortingFlag) {
  TImageIO io;
  io.Bitmap().Allocate(64, 64, pf24RGB);
  FillRgb(io.Bitmap(), {kRed, kGreen, kBlue, Triple(1, 2, 3), Triple(7, 7, 7)});
  TLmMemoryStream whole;
  io.SaveImageToStreamAs(whole, ftGIF);
  ASSERT_FALSE(io.Aborting);
  for (size_t room : {size_t{0}, size_t{10}, size_t{800}, whole.Data().size() - 30, whole.Data().size() - 1}) {
    TFullStream full(room);
    io.SaveImageToStreamAs(full, ftGIF);
    EXPECT_TRUE(io.Aborting) << room;
  }
}

// ---- GifCountFrames ------------------------------------------------------------

class GifFramesFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lumora-gif-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path p = dir_ / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return p;
  }
  static std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::filesystem::path dir_;
};

std::vector<uint8_t> ThreeFrames() {
  const std::vector<Rgb> table{{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  return GifBuilder()
      .Header(2, 1, table, 0, "GIF87a")
      .Control(1, 11, false)
      .Image(0, 0, 2, 1, {1, 1})
      .Comment({"between"})
      .Control(1, 22, false)
      .Image(0, 0, 2, 1, {2, 2})
      .Control(1, 33, false)
      .Image(0, 0, 2, 1, {3, 3})
      .Trailer()
      .Bytes();
}

TEST_F(GifFramesFile, CountsAndDropsAFrameWithItsControlExtension) {
  const auto path = Write("anim.gif", ThreeFrames());
  EXPECT_EQ(GifCountFrames(path, -1, false), 3);
  EXPECT_EQ(GifCountFrames(path, 1, false), 2);
  EXPECT_EQ(ReadAll(path), ThreeFrames());  // counting leaves the file alone

  EXPECT_EQ(GifCountFrames(path, 1, true), 2);
  EXPECT_EQ(GifCountFrames(path, -1, false), 2);
  const std::vector<uint8_t> rewritten = ReadAll(path);
  EXPECT_EQ(std::string(rewritten.begin(), rewritten.begin() + 6), "GIF89a");
  const auto second = LoadGif(rewritten, 1);
  ASSERT_FALSE(second->Aborting);
  EXPECT_EQ(second->Params.GifDelay, 33);
  EXPECT_EQ(PixelAt(second->Bitmap(), 0, 0), Triple(0, 0, 255));
  EXPECT_EQ(second->Params.GifComments, std::vector<std::string>{"between"});
}

TEST_F(GifFramesFile, CountImagesUsesTheFrameCountAndZeroOnFailure) {
  TImageIO io;
  EXPECT_EQ(io.CountImages(Write("anim.gif", ThreeFrames())), 3);
  EXPECT_EQ(io.CountImages(Write("png.gif", {0x89, 'P', 'N', 'G', 13, 10, 26, 10})), 0);
  EXPECT_EQ(io.CountImages(dir_ / "missing.gif"), 0);
  const auto notGif = Write("text.gif", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(GifCountFrames(notGif, 0, true), 0);
  EXPECT_EQ(ReadAll(notGif).size(), 5u);
  EXPECT_THROW(GifCountFrames(dir_ / "missing.gif", -1, false), ELmFileError);
}

}  // namespace
}  // namespace lumora
