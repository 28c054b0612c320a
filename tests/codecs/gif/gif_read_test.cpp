#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "codecs/gif/gif.h"
#include "gif_builder.h"
#include "gif_test_util.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/registry.h"

namespace lumora {
namespace {

using test::GifBuilder;
using test::LoadGif;
using test::PixelAt;
using test::Rgb;
using test::Triple;

const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
const std::vector<Rgb> kFour{kBlack, kRed, kGreen, kBlue};

std::vector<uint8_t> Pattern(int width, int height, int colours) {
  std::vector<uint8_t> p(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>((i * 7 + i / width) % colours);
  return p;
}

// ---- Pixel formats and pixels -------------------------------------------------

TEST(GifRead, BlackWhiteTableGivesOneBitOtherTablesColour) {
  struct Case {
    std::vector<Rgb> table;
    bool native;
    TLmPixelFormat expected;
  } cases[] = {
      {{kBlack, kWhite}, false, pf1g},
      {{kBlack, kWhite}, true, pf1g},
      {{kWhite, kBlack}, false, pf24RGB},
      {{kWhite, kBlack}, true, pf8p},
      {kFour, false, pf24RGB},
  };
  for (const Case& c : cases) {
    for (int width : {1, 9, 17}) {
      const std::vector<uint8_t> px = Pattern(width, 3, 2);
      const auto io = LoadGif(GifBuilder().Header(width, 3, c.table).Image(0, 0, width, 3, px).Trailer().Bytes(), 0,
                              c.native);
      ASSERT_FALSE(io->Aborting) << width;
      TLmBitmap& b = io->Bitmap();
      EXPECT_EQ(b.PixelFormat(), c.expected) << width;
      EXPECT_FALSE(b.HasAlphaChannel());
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < width; ++x) {
          const Rgb want = c.table[px[y * width + x]];
          EXPECT_EQ(PixelAt(b, x, y), Triple(want.R, want.G, want.B)) << width << " " << x << "," << y;
        }
      }
      EXPECT_EQ(io->Params.BitsPerSample, 1 + (c.table.size() > 2 ? 1 : 0));
      EXPECT_EQ(io->Params.SamplesPerPixel, 1);
      EXPECT_EQ(io->Params.ColorMapCount(), static_cast<int>(c.table.size()));
      EXPECT_EQ(io->Params.DpiX, 300);
    }
  }
}

TEST(GifRead, InterlacedFramesOfEveryShortHeightDecodeAllRows) {
  for (int height = 1; height <= 9; ++height) {
    const std::vector<uint8_t> px = Pattern(5, height, 4);
    const auto io =
        LoadGif(GifBuilder().Header(5, height, kFour).Image(0, 0, 5, height, px, {}, true).Trailer().Bytes());
    ASSERT_FALSE(io->Aborting) << height;
    EXPECT_TRUE(io->Params.GifInterlaced);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < 5; ++x) {
        const Rgb want = kFour[px[y * 5 + x]];
        ASSERT_EQ(PixelAt(io->Bitmap(), x, y), Triple(want.R, want.G, want.B)) << height << " " << x << "," << y;
      }
    }
  }
}

TEST(GifRead, LocalTableWinsOverGlobalTable) {
  const auto io = LoadGif(
      GifBuilder().Header(2, 1, {kBlack, kWhite}).Image(0, 0, 2, 1, {0, 1}, {kRed, kGreen}).Trailer().Bytes());
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(PixelAt(io->Bitmap(), 0, 0), Triple(255, 0, 0));
  EXPECT_EQ(PixelAt(io->Bitmap(), 1, 0), Triple(0, 255, 0));
}

// ---- Transparency and graphic control ---------------------------------------

TEST(GifRead, TransparentIndexBecomesAlphaOnlyWhenUsed) {
  const auto used = LoadGif(
      GifBuilder().Header(3, 1, kFour).Control(0, 0, true, 2).Image(0, 0, 3, 1, {1, 2, 3}).Trailer().Bytes());
  ASSERT_FALSE(used->Aborting);
  ASSERT_TRUE(used->Bitmap().HasAlphaChannel());
  EXPECT_EQ(used->Bitmap().Alpha(0, 0), 255);
  EXPECT_EQ(used->Bitmap().Alpha(1, 0), 0);
  EXPECT_EQ(used->Bitmap().Alpha(2, 0), 255);
  EXPECT_TRUE(used->Params.GifHasTransparency);
  EXPECT_EQ(used->Params.GifTransparentColor, Triple(0, 255, 0));
  EXPECT_EQ(used->Background(), Triple(0, 255, 0).ToColor());  // the view shows the transparent colour

  const auto unused = LoadGif(
      GifBuilder().Header(3, 1, kFour).Control(0, 0, true, 0).Image(0, 0, 3, 1, {1, 2, 3}).Trailer().Bytes());
  ASSERT_FALSE(unused->Aborting);
  EXPECT_FALSE(unused->Bitmap().HasAlphaChannel());
  EXPECT_TRUE(unused->Params.GifHasTransparency);
}

TEST(GifRead, FrameWithoutControlExtensionHasNoneOfAnEarlierOne) {
  const std::vector<uint8_t> gif = GifBuilder()
                                       .Header(2, 2, kFour)
                                       .Control(1, 50, true, 3)
                                       .Image(0, 0, 2, 2, {1, 1, 1, 1})
                                       .Image(0, 0, 1, 1, {2})
                                       .Trailer()
                                       .Bytes();
  TIOParamsVals params;
  params.GifImageIndex = 1;
  TLmBitmap bitmap;
  std::unique_ptr<TLmMask> mask;
  TIOProgress progress;
  TLmByteViewStream stream(gif);
  EXPECT_EQ(GifReadFrame(stream, bitmap, false, mask, false, progress, params), 2);
  ASSERT_FALSE(progress.Aborting());
  EXPECT_EQ(params.GifDelay, 0);
  EXPECT_EQ(params.GifDisposal, 0);
  EXPECT_FALSE(params.GifHasTransparency);
  EXPECT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(mask, nullptr);

  params.GifImageIndex = 0;
  stream.SetPosition(0);
  GifReadFrame(stream, bitmap, false, mask, false, progress, params);
  EXPECT_EQ(params.GifDelay, 50);
  EXPECT_EQ(params.GifDisposal, 1);
  EXPECT_TRUE(params.GifHasTransparency);
}

TEST(GifRead, ParametersOnlyReadFillsFieldsWithoutTouchingTheBitmap) {
  const std::vector<uint8_t> gif = GifBuilder()
                                       .Header(40, 30, kFour, 2, "GIF87a", 49)
                                       .Comment({"one"})
                                       .Control(3, 7, false)
                                       .Image(5, 6, 10, 11, Pattern(10, 11, 4), {}, true)
                                       .Image(0, 0, 1, 1, {0})
                                       .Trailer()
                                       .Bytes();
  TImageIO io;
  io.Bitmap().Allocate(4, 4, pf8g);
  TLmByteViewStream stream(gif);
  io.ReadParamsFromStream(stream);
  ASSERT_FALSE(io.Aborting);
  const TIOParamsVals& p = io.Params;
  EXPECT_EQ(p.FileType, ftGIF);
  EXPECT_EQ(p.GifVersion, "GIF87a");
  EXPECT_EQ(p.GifScreenWidth, 40);
  EXPECT_EQ(p.GifScreenHeight, 30);
  EXPECT_EQ(p.GifAspectRatio, 49);
  EXPECT_EQ(p.GifBackgroundColor, Triple(0, 255, 0));
  EXPECT_EQ(io.Background(), 0u);  // reading parameters leaves the background alone
  EXPECT_EQ(p.Width, 10);
  EXPECT_EQ(p.Height, 11);
  EXPECT_EQ(p.GifFrameLeft, 5);
  EXPECT_EQ(p.GifFrameTop, 6);
  EXPECT_EQ(p.GifDelay, 7);
  EXPECT_EQ(p.GifDisposal, 3);
  EXPECT_TRUE(p.GifInterlaced);
  EXPECT_EQ(p.GifImageCount, 2);
  EXPECT_EQ(p.ImageCount, 2);
  EXPECT_EQ(p.GifComments, std::vector<std::string>{"one"});
  EXPECT_EQ(io.Bitmap().Width(), 4);
  EXPECT_EQ(io.Bitmap().PixelFormat(), pf8g);
  EXPECT_EQ(io.FileTypeDescription(), "CompuServe Bitmap (GIF) Interlaced");
}

// ---- Block structure -------------------------------------------------------------

TEST(GifRead, CommentSubBlocksBecomeOneEntryEachWhenNotEmpty) {
  const auto io = LoadGif(GifBuilder()
                              .Header(1, 1, kFour)
                              .Comment({"first", "second"})
                              .Image(0, 0, 1, 1, {1})
                              .Comment({"third"})
                              .Trailer()
                              .Bytes());
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(io->Params.GifComments, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(GifRead, MissingTrailerAndStrayBytesAreTolerated) {
  const auto io = LoadGif(GifBuilder()
                              .Header(2, 1, kFour)
                              .Raw({0x00, 0x99})
                              .Extension(0xFF, {"NETSCAPE2.0", std::string("\x01\x00\x00", 3)})
                              .Image(0, 0, 2, 1, {1, 3})
                              .Raw({0x42})
                              .Bytes());
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(PixelAt(io->Bitmap(), 1, 0), Triple(0, 0, 255));
  EXPECT_EQ(io->Params.GifImageCount, 1);
}

// ---- Composited animation --------------------------------------------------------

// Five 4x4 frames: a red full frame, a 2x2 green frame at (1,1) disposed to
// background, a 1x1 blue frame at (0,0), a 4x1 white row at the bottom, and
// a last full frame.
std::vector<uint8_t> FiveFrames() {
  const std::vector<Rgb> table{kBlack, kRed, kGreen, kBlue, kWhite, kBlack, kBlack, kBlack};
  return GifBuilder()
      .Header(4, 4, table, 5)
      .Control(1, 10, false)
      .Image(0, 0, 4, 4, std::vector<uint8_t>(16, 1))
      .Control(2, 10, false)
      .Image(1, 1, 2, 2, {2, 2, 2, 2})
      .Control(1, 10, true, 0)
      .Image(0, 0, 2, 1, {3, 0})
      .Control(0, 20, false)
      .Image(0, 3, 4, 1, {4, 4, 4, 4})
      .Image(0, 0, 4, 4, std::vector<uint8_t>(16, 3))
      .Trailer()
      .Bytes();
}

TEST(GifComposite, DisposalToBackgroundClearsTheFrameAreaBeforeTheNextFrame) {
  const auto io = LoadGif(FiveFrames(), 3);
  ASSERT_FALSE(io->Aborting);
  TLmBitmap& b = io->Bitmap();
  ASSERT_EQ(b.Width(), 4);
  ASSERT_EQ(b.Height(), 4);
  ASSERT_TRUE(b.HasAlphaChannel());
  // Frame 0 (red) shows where nothing else was drawn.
  EXPECT_EQ(PixelAt(b, 3, 0), Triple(255, 0, 0));
  EXPECT_EQ(b.Alpha(3, 0), 255);
  // Frame 1's area went back to the background, transparent, except where
  // frame 2 and frame 3 drew on it afterwards.
  EXPECT_EQ(b.Alpha(1, 1), 0);
  EXPECT_EQ(b.Alpha(2, 2), 0);
  EXPECT_EQ(PixelAt(b, 2, 2), Triple(0, 0, 0));
  // Frame 2: blue at (0,0); its transparent pixel at (1,0) leaves red.
  EXPECT_EQ(PixelAt(b, 0, 0), Triple(0, 0, 255));
  EXPECT_EQ(PixelAt(b, 1, 0), Triple(255, 0, 0));
  // Frame 3: the white bottom row.
  EXPECT_EQ(PixelAt(b, 2, 3), Triple(255, 255, 255));
  EXPECT_EQ(b.Alpha(2, 3), 255);

  const TIOParamsVals& p = io->Params;
  EXPECT_EQ(p.GifImageCount, 5);
  EXPECT_EQ(p.GifImageIndex, 3);
  EXPECT_EQ(p.GifDisposal, 2);
  EXPECT_EQ(p.GifFrameLeft, 0);
  EXPECT_EQ(p.GifFrameTop, 0);
  EXPECT_EQ(p.GifDelay, 20);
  EXPECT_EQ(p.Width, 4);
}

TEST(GifComposite, FirstFrameOfAnAnimationHasTheScreenSizeAndTransparentBackground) {
  const auto io = LoadGif(GifBuilder()
                              .Header(3, 2, kFour, 3)
                              .Image(1, 0, 1, 1, {1})
                              .Image(0, 0, 1, 1, {2})
                              .Trailer()
                              .Bytes());
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(io->Background(), Triple(0, 0, 255).ToColor());  // the screen background, entry 3
  TLmBitmap& b = io->Bitmap();
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(PixelAt(b, 1, 0), Triple(255, 0, 0));
  EXPECT_EQ(b.Alpha(1, 0), 255);
  EXPECT_EQ(b.Alpha(0, 0), 0);
  EXPECT_EQ(b.Alpha(2, 1), 0);
}

TEST(GifComposite, FramesOutsideTheScreenAreClippedAndLargeFramesGrowTheCanvas) {
  const auto io = LoadGif(GifBuilder()
                              .Header(2, 2, kFour)
                              .Image(1, 1, 3, 1, {1, 2, 3})      // sticks out on the right
                              .Image(60000, 60000, 1, 1, {3})    // entirely outside
                              .Image(0, 0, 1, 3, {3, 3, 3})      // higher than the screen
                              .Trailer()
                              .Bytes(),
                          2);
  ASSERT_FALSE(io->Aborting);
  TLmBitmap& b = io->Bitmap();
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(PixelAt(b, 1, 1), Triple(255, 0, 0));
  EXPECT_EQ(PixelAt(b, 2, 1), Triple(0, 255, 0));  // its third pixel fell off the canvas
  EXPECT_EQ(PixelAt(b, 0, 2), Triple(0, 0, 255));
  EXPECT_EQ(PixelAt(b, 2, 2), Triple(0, 0, 0));  // the row added for frame 2: background, opaque
  EXPECT_EQ(b.Alpha(2, 2), 255);
  EXPECT_EQ(b.Alpha(1, 0), 0);
}

TEST(GifComposite, IndexPastTheLastFrameShowsTheLastFrame) {
  const auto io = LoadGif(FiveFrames(), 99);
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(PixelAt(io->Bitmap(), 0, 0), Triple(0, 0, 255));
  EXPECT_EQ(io->Params.GifImageIndex, 99);
  EXPECT_EQ(io->Params.GifImageCount, 5);
}

// ---- Bad input -------------------------------------------------------------------

TEST(GifRead, BadFilesEndWithTheAbortingFlag) {
  GifBuilder valid;
  valid.Header(2, 2, kFour).Image(0, 0, 2, 2, {0, 1, 2, 3}).Trailer();
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"not a GIF", {'G', 'I', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}},
      {"header only", GifBuilder().Header(1, 1, kFour).Bytes()},
      {"no frame", GifBuilder().Header(1, 1, kFour).Trailer().Bytes()},
      {"empty frame", GifBuilder().Header(1, 1, kFour).Image(0, 0, 0, 1, {}).Trailer().Bytes()},
      {"code size 1", GifBuilder().Header(1, 1, kFour).Descriptor(0, 0, 1, 1).Raw({1, 1, 0x01, 0, 0x3B}).Bytes()},
      {"code size 12", GifBuilder().Header(1, 1, kFour).Descriptor(0, 0, 1, 1).Raw({12, 1, 0x01, 0, 0x3B}).Bytes()},
      // 3-bit codes clear (4), 1, then 7 while the table ends at 6
      {"code past the table",
       GifBuilder().Header(2, 2, kFour).Descriptor(0, 0, 2, 2).Raw({2, 2, 0xCC, 0x01, 0, 0x3B}).Bytes()},
      {"huge frame, no data", GifBuilder().Header(1, 1, kFour).Descriptor(0, 0, 65535, 65535).Raw({2, 0, 0x3B}).Bytes()},
  };
  for (const Case& c : cases) {
    const auto io = LoadGif(c.bytes);
    EXPECT_TRUE(io->Aborting) << c.name;
  }
  EXPECT_FALSE(LoadGif(valid.Bytes())->Aborting);
}

TEST(GifRead, EveryTruncationOfAnAnimationEndsCleanly) {
  const std::vector<uint8_t> full = FiveFrames();
  for (size_t n = 0; n < full.size(); ++n) {
    const std::vector<uint8_t> cut(full.begin(), full.begin() + n);
    for (int index : {0, 4}) {
      const auto io = LoadGif(cut, index);
      if (!io->Aborting) {
        EXPECT_GT(io->Bitmap().Width(), 0) << n;
        EXPECT_LE(io->Params.GifImageCount, 5) << n;
      }
    }
  }
}

TEST(GifRead, ManyTinyFramesCostOnePass) {
  // Loading the last of many frames must not walk the file once per frame
  // (that would take minutes here).
  constexpr int kFrames = 20000;
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t i = 0; i < 4; ++i) frames.push_back(GifBuilder().Image(0, 0, 1, 1, {i}).Bytes());
  GifBuilder b;
  b.Header(1, 1, kFour);
  for (int i = 0; i < kFrames; ++i) b.Raw(frames[i & 3]);
  b.Trailer();
  const auto io = LoadGif(b.Bytes(), kFrames - 1);
  ASSERT_FALSE(io->Aborting);
  EXPECT_EQ(io->Params.GifImageCount, kFrames);
  EXPECT_EQ(PixelAt(io->Bitmap(), 0, 0), Triple(0, 0, 255));
}

// ---- LZW hooks ---------------------------------------------------------------------

int gDecoderCalls = 0;
void CountingDecoder(TLmStream& stream, int height, int width, bool interlaced, std::span<uint8_t> pixels) {
  ++gDecoderCalls;
  GifLzwExpand(stream, height, width, interlaced, pixels);
}
void FailingDecoder(TLmStream&, int, int, bool, std::span<uint8_t>) {}

TEST(GifRead, ReaderCallsTheDecoderOfTheRecordOrTheBuiltInOne) {
  const std::vector<uint8_t> gif = GifBuilder().Header(1, 1, kFour).Image(0, 0, 1, 1, {2}).Trailer().Bytes();
  for (TGifLzwDecoder decoder : {&CountingDecoder, static_cast<TGifLzwDecoder>(nullptr), &FailingDecoder}) {
    gDecoderCalls = 0;
    TImageIO io;
    io.Params.GifLzwDecoder = decoder;
    TLmByteViewStream stream(gif);
    io.LoadImageFromStream(stream);
    EXPECT_EQ(io.Aborting.load(), decoder == &FailingDecoder);
    EXPECT_EQ(gDecoderCalls, decoder == &CountingDecoder ? 1 : 0);
  }
}

TEST(GifRegistry, SlotsFollowTheInstalledRoutines) {
  const TLmFileFormatInfo* gif = FindFormatByType(ftGIF);
  ASSERT_NE(gif, nullptr);
  EXPECT_TRUE(IsReadableExtension("x.gif"));
  InstallGifLzwRoutines(nullptr, GifLzwCompress);
  EXPECT_FALSE(IsReadableExtension("x.gif"));
  EXPECT_NE(gif->Writer, nullptr);
  EXPECT_EQ(TIOParamsVals{}.GifLzwDecoder, nullptr);
  InstallGifLzwRoutines(GifLzwExpand, nullptr);
  EXPECT_TRUE(IsReadableExtension("x.gif"));
  EXPECT_EQ(gif->Writer, nullptr);
  InstallGifLzwRoutines(GifLzwExpand, GifLzwCompress);
  EXPECT_NE(gif->Writer, nullptr);
  EXPECT_EQ(TIOParamsVals{}.GifLzwEncoder, &GifLzwCompress);
}

}  // namespace
}  // namespace lumora
