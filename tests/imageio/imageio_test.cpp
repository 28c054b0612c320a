// TImageIO: choosing the codec, the finish event, parameters-only reads,
// saving by extension, stream headers, external formats and worker threads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "imageio/byteorder.h"
#include "imageio/detect.h"
#include "imageio/errors.h"
#include "imageio/imageio.h"
#include "imageio/registry.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

class ImageIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lumora-io-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Counts finish events and remembers the last progress value.
  void Watch(TImageIO& io) {
    io.OnFinishWork = [this](TImageIO&) { ++finished_; };
    io.OnProgress = [this](TImageIO&, int percent) { lastPercent_ = percent; };
  }

  // A 4 x 3 picture saved as BMP under `name`.
  fs::path MakeBmp(const char* name, int dpiX = 72, int dpiY = 72) {
    TImageIO io;
    io.Bitmap().Allocate(4, 3, pf24RGB);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 12; ++x) io.Bitmap().ScanLine(y)[x] = static_cast<uint8_t>(x * 20 + y);
    io.Params.SetDpi(dpiX, dpiY);
    const fs::path path = dir_ / name;
    io.SaveImageAs(path, ftBMP);
    EXPECT_FALSE(io.Aborting);
    return path;
  }

  fs::path dir_;
  int finished_ = 0;
  int lastPercent_ = -1;
};

TEST_F(ImageIOTest, LoadsByContentAndRecordsTheFile) {
  const fs::path asJpeg = dir_ / "picture.jpg";
  fs::rename(MakeBmp("picture.bmp"), asJpeg);
  TImageIO io;
  Watch(io);
  io.LoadImage(asJpeg);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(finished_, 1);
  EXPECT_EQ(lastPercent_, 100);
  EXPECT_EQ(io.Params.FileType, ftBMP);
  EXPECT_EQ(io.Params.FileName, asJpeg);
  EXPECT_EQ(io.Bitmap().Width(), 4);
  EXPECT_EQ(io.Params.DpiX, 72);
  EXPECT_EQ(io.FileTypeDescription(), "Windows Bitmap (BMP) ver.3");

  // From a stream the name is empty.
  TLmWideFileStream file(asJpeg, TFileOpenMode::ReadDenyWrite);
  io.LoadImageFromStream(file);
  EXPECT_FALSE(io.Aborting);
  EXPECT_TRUE(io.Params.FileName.empty());
  EXPECT_EQ(finished_, 2);
}

TEST_F(ImageIOTest, FailuresStillFinishOnce) {
  TImageIO io;
  Watch(io);
  io.LoadImage(fs::path());
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::Unsupported);
  EXPECT_EQ(finished_, 1);

  // Unknown content and an extension nobody reads.
  const fs::path junk = dir_ / "junk.xyz";
  std::ofstream(junk) << "nothing to see here, nothing at all";
  io.LoadImage(junk);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::Unsupported);
  EXPECT_EQ(finished_, 2);

  // Unknown content with a .bmp name: the BMP reader is tried and fails.
  const fs::path fakeBmp = dir_ / "fake.bmp";
  std::ofstream(fakeBmp) << "nothing to see here, nothing at all";
  io.LoadImage(fakeBmp);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::InvalidData);
  EXPECT_EQ(io.Params.FileType, ftBMP);
  EXPECT_EQ(finished_, 3);

  // A file that cannot be opened raises, after the finish event.
  EXPECT_THROW(io.LoadImageAs(dir_ / "missing.bmp", ftBMP), ELmFileError);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::IOError);
  EXPECT_EQ(finished_, 4);

  // A success forgets the last reason.
  io.LoadImage(MakeBmp("fine.bmp"));
  EXPECT_FALSE(io.Aborting);
  EXPECT_FALSE(io.LastFailure());
}

// A BMP header that claims 2^17 x 2^17 pixels over a few bytes is refused
// before anything is allocated, as over our limit.
TEST_F(ImageIOTest, OverLimitHeaderGivesItsReason) {
  uint8_t bmp[54] = {'B', 'M'};
  WriteLE32(bmp + 10, 54);
  WriteLE32(bmp + 14, 40);
  WriteLE32(bmp + 18, 1u << 17);
  WriteLE32(bmp + 22, 1u << 17);
  bmp[26] = 1;
  bmp[28] = 24;
  const fs::path path = dir_ / "huge.bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof bmp);
  TImageIO io;
  io.LoadImage(path);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.LastFailure().Kind, TIOFailureKind::OverLimit) << io.LastFailure().Describe();
}

TEST_F(ImageIOTest, ResolutionDefaultsAndAdjustment) {
  TImageIO io;
  io.LoadImage(MakeBmp("zero.bmp", 0, 0));
  EXPECT_EQ(io.Params.DpiX, 300);
  EXPECT_EQ(io.Params.DpiY, 300);

  // 4 x 3 at 100 x 200 dpi: height < width, so the height follows DpiX.
  io.AutoAdjustDPI = true;
  io.LoadImage(MakeBmp("aniso.bmp", 100, 200));
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().Width(), 4);
  EXPECT_EQ(io.Bitmap().Height(), 1);
  EXPECT_EQ(io.Params.DpiY, 100);
}

TEST_F(ImageIOTest, ParametersOnly) {
  const fs::path bmp = MakeBmp("params.bmp");
  TImageIO io;
  Watch(io);
  io.ReadParams(bmp);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftBMP);
  EXPECT_EQ(io.Params.Width, 4);
  EXPECT_EQ(io.Params.FileName, bmp);
  EXPECT_TRUE(io.Bitmap().IsEmpty());

  // The extension check: BMP content named .png is refused.
  const fs::path png = dir_ / "params.png";
  fs::copy_file(bmp, png);
  io.ReadParams(png);
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftUnknown);

  io.ReadParams(dir_ / "missing.bmp");
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftUnknown);
  EXPECT_EQ(io.Params.FileName, dir_ / "missing.bmp");

  EXPECT_EQ(io.CountImages(bmp), 1);
  EXPECT_EQ(io.CountImages(dir_ / "x.xyz"), 0);
}

TEST_F(ImageIOTest, SavesByExtension) {
  TImageIO io;
  io.LoadImage(MakeBmp("source.bmp"));
  Watch(io);
  io.Params.BmpVersion = 2;
  io.SaveImage(dir_ / "copy.RLE");  // a plain BMP with the current BMP parameters
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftBMP);
  EXPECT_EQ(finished_, 1);
  TImageIO back;
  back.LoadImage(dir_ / "copy.RLE");
  EXPECT_FALSE(back.Aborting);
  EXPECT_EQ(back.Params.BmpVersion, 2);

  io.SaveImage(dir_ / "copy.xyz");
  EXPECT_TRUE(io.Aborting);
  EXPECT_FALSE(fs::exists(dir_ / "copy.xyz"));
  EXPECT_EQ(finished_, 2);

  io.SaveImage(fs::path());  // nothing happens at all
  EXPECT_EQ(finished_, 2);

  // A failed save leaves no partial file behind.
  TImageIO empty;
  empty.SaveImage(dir_ / "empty.bmp");
  EXPECT_TRUE(empty.Aborting);
  EXPECT_FALSE(fs::exists(dir_ / "empty.bmp"));
  EXPECT_THROW(io.SaveImage(dir_ / "no-such-folder" / "x.bmp"), ELmFileError);
}

TEST_F(ImageIOTest, StreamHeadersFrameTheData) {
  TImageIO io;
  io.LoadImage(MakeBmp("framed.bmp"));
  io.StreamHeaders = true;
  TLmMemoryStream stream;
  io.SaveImageToStreamAs(stream, ftJPEG);
  ASSERT_FALSE(io.Aborting) << io.LastFailure().Describe();
  const int64_t first = stream.Position();
  io.SaveImageToStreamAs(stream, ftJPEG);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(std::memcmp(stream.Data().data(), "JFIF\0\0\0\0", 8), 0);
  EXPECT_EQ(ReadLE32(&stream.Data()[8]), static_cast<uint32_t>(first - 12));

  stream.SetPosition(0);
  EXPECT_EQ(DetectStreamType(stream), ftJPEG);
  TImageIO reader;
  reader.StreamHeaders = true;
  reader.LoadImageFromStreamAs(stream, ftJPEG);
  EXPECT_FALSE(reader.Aborting);
  EXPECT_EQ(stream.Position(), first);
  reader.LoadImageFromStreamAs(stream, ftJPEG);
  EXPECT_FALSE(reader.Aborting);
  EXPECT_EQ(stream.Position(), stream.Size());
}

// A made-up outside format: "XYZ!" then width and height bytes, gray pixels.
constexpr TFileTypeId kExternalType = 4242;

void ReadXyz(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  uint8_t h[6];
  if (!stream.ReadExact(h, 6) || std::memcmp(h, "XYZ!", 4) != 0) return progress.Abort();
  params.Width = h[4];
  params.Height = h[5];
  if (paramsOnly) return;
  if (!bitmap.Allocate(h[4], h[5], pf8g)) return progress.Abort();
  for (int y = 0; y < h[5]; ++y)
    if (!stream.ReadExact(bitmap.ScanLine(y), h[4])) return progress.Abort();
}

void WriteXyz(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals&, TIOProgress& progress) {
  // Outside writers receive pf24RGB (or pf1g).
  if (bitmap.PixelFormat() != pf24RGB) return progress.Abort();
  const uint8_t h[6] = {'X', 'Y', 'Z', '!', static_cast<uint8_t>(bitmap.Width()), static_cast<uint8_t>(bitmap.Height())};
  stream.WriteExact(h, 6);
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) stream.WriteExact(bitmap.ScanLine(y) + 3 * x, 1);
}

bool ProbeXyz(TLmStream& stream, TFileTypeId) {
  uint8_t h[4];
  return stream.ReadExact(h, 4) && std::memcmp(h, "XYZ!", 4) == 0;
}

TEST_F(ImageIOTest, ExternalFormats) {
  auto entry = std::make_unique<TLmFileFormatInfo>();
  entry->FileTypeId = kExternalType;
  entry->DisplayName = "Test format";
  entry->ExtensionList = "XYZ";
  entry->Reader = ReadXyz;
  entry->Writer = WriteXyz;
  entry->Probe = ProbeXyz;
  RegisterFileFormat(std::move(entry));

  TImageIO io;
  io.Bitmap().Allocate(3, 2, pf8g);
  io.Bitmap().Fill(0x40);
  io.SaveImage(dir_ / "out.xyz");
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().PixelFormat(), pf8g);  // the caller's image is not converted
  EXPECT_EQ(io.Params.FileType, kExternalType);

  // Found by its probe (content) under another name.
  fs::rename(dir_ / "out.xyz", dir_ / "out.dat");
  TImageIO back;
  back.LoadImage(dir_ / "out.dat");
  EXPECT_FALSE(back.Aborting);
  EXPECT_EQ(back.Params.FileType, kExternalType);
  EXPECT_EQ(back.Bitmap().Width(), 3);
  EXPECT_EQ(back.Bitmap().ScanLine(1)[2], 0x40);
  EXPECT_EQ(back.FileTypeDescription(), "Test format (XYZ)");
  UnregisterFileFormat(kExternalType);
}

// A view for the asynchronous tests: counts what reaches it.
class TCountingView : public TIOAttachedView {
 public:
  TLmBitmap& ViewBitmap() override { return bitmap; }
  TLmColor ViewBackground() const override { return 0; }
  void SetViewBackground(TLmColor) override {}
  void SetViewDpi(int x, int) override { dpi = x; }
  void UpdateView() override { ++updates; }
  bool HasParentWindow() const override { return true; }
  void PostRefresh() override { ++posted; }
  void PostProgress(int) override { ++postedProgress; }
  void PostFinishWork() override { ++postedFinish; }

  TLmBitmap bitmap;
  std::atomic<int> dpi{0}, updates{0}, posted{0}, postedProgress{0}, postedFinish{0};
};

TEST_F(ImageIOTest, AsynchronousLoadsPostToTheView) {
  const fs::path bmp = MakeBmp("async.bmp");
  TCountingView view;
  {
    TImageIO io;
    io.SetAttachedView(&view);
    io.AsyncMode = true;
    Watch(io);
    // One load at a time: every load fills the view's one bitmap, which
    // only one thread may use at once.
    for (int i = 0; i < 4; ++i) {
      io.LoadImage(bmp);
      io.WaitThreads(false);
    }
    EXPECT_EQ(io.RunningThreads(), 0);
    EXPECT_FALSE(io.Aborting);
    // From worker threads the notifications are posted, not called.
    EXPECT_EQ(view.posted, 4);
    EXPECT_EQ(view.postedFinish, 4);
    EXPECT_EQ(finished_, 0);
    EXPECT_EQ(view.updates, 0);
    EXPECT_EQ(view.bitmap.Width(), 4);
    EXPECT_EQ(view.dpi, 72);

    // An exception on a worker thread becomes the aborting flag.
    io.LoadImageAs(dir_ / "missing.bmp", ftBMP);
    io.WaitThreads(false);
    EXPECT_TRUE(io.Aborting);
    io.SetAttachedView(nullptr);
  }

  // Without a view of its own bitmap the I/O object works synchronously.
  TImageIO own;
  own.AsyncMode = true;
  Watch(own);
  own.LoadImage(bmp);
  EXPECT_EQ(own.RunningThreads(), 0);
  EXPECT_EQ(finished_, 1);
  EXPECT_EQ(own.Bitmap().Width(), 4);
}

}  // namespace
}  // namespace lumora
