// The JPEG codec behind TImageIO: files, streams with stream headers, the
// description and the defaults the I/O layer applies after the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "imageio/imageio.h"
#include "jpeg_test_util.h"

namespace lumora {
namespace {

using namespace jpegtest;
namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class JpegImageIO : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = fs::temp_directory_path() / ("lumora_jpeg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "_" + std::to_string(counter++));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path Put(const std::string& name, const std::vector<uint8_t>& data) {
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    return path;
  }
  static std::vector<uint8_t> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path dir_;
};

TEST_F(JpegImageIO, LoadDescribesTheColorSpace) {
  struct {
    TTestImage image;
    TEncodeSpec spec;
    const char* description;
  } cases[] = {{MakePattern(20, 10, 1), {.In = JCS_GRAYSCALE}, "JPEG Bitmap (JPG) Gray level"},
               {MakePattern(20, 10, 3), {}, "JPEG Bitmap (JPG) YCbCr"},
               {MakePattern(20, 10, 4), {.In = JCS_CMYK}, "JPEG Bitmap (JPG) CMYK"},
               {MakePattern(20, 10, 4), {.In = JCS_CMYK, .Out = JCS_YCCK}, "JPEG Bitmap (JPG) YCbCrK"},
               {MakePattern(20, 10, 3), {.Out = JCS_RGB, .Jfif = false}, "JPEG Bitmap (JPG)"}};
  for (const auto& c : cases) {
    TImageIO io;
    io.LoadImage(Put("a.jpg", EncodeJpeg(c.image, c.spec)));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params.FileType, ftJPEG);
    EXPECT_EQ(io.FileTypeDescription(), c.description);
    EXPECT_EQ(io.Bitmap().Width(), 20);
  }
}

TEST_F(JpegImageIO, MissingResolutionBecomesTheDefault) {
  TImageIO io;
  io.LoadImage(Put("nojfif.jpg", EncodeJpeg(MakePattern(8, 8, 3), {.Jfif = false})));
  EXPECT_EQ(io.Params.DpiX, 300);
  io.LoadImage(Put("dpcm.jpg", EncodeJpeg(MakePattern(8, 8, 3), {.DensityUnit = 2, .XDensity = 118, .YDensity = 118})));
  EXPECT_EQ(io.Params.DpiX, 46);
}

TEST_F(JpegImageIO, JunkInFrontIsFoundByContent) {
  std::vector<uint8_t> data(100, 0x20);
  const auto jpeg = EncodeJpeg(MakePattern(16, 16, 3), {});
  data.insert(data.end(), jpeg.begin(), jpeg.end());
  TImageIO io;
  io.LoadImage(Put("junk.jpg", data));
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Bitmap().Height(), 16);
}

TEST_F(JpegImageIO, LoadAndSaveKeepsTheSegments) {
  const auto exif = Bytes(std::string("Exif\0\0MM\0\x2a\0\0\0\x08", 14));
  const auto source = EncodeJpeg(MakePattern(24, 24, 3), {.Adobe = true,
                                                          .Markers = {{JPEG_APP0 + 1, exif},
                                                                      {JPEG_APP0 + 12, Bytes("Ducky stuff")},
                                                                      {JPEG_COM, Bytes("kept comment")}},
                                                          .Icc = std::vector<uint8_t>(3000, 0x42)});
  TImageIO io;
  io.LoadImage(Put("in.jpg", source));
  ASSERT_FALSE(io.Aborting);
  const fs::path out = dir_ / "out.jpg";
  io.SaveImage(out);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params.FileType, ftJPEG);

  auto segments = [](const TReference& r) {
    std::vector<std::pair<int, std::vector<uint8_t>>> kept;
    for (const auto& m : r.Markers)
      if (!IsJfifMarker(m.first, m.second) && m.first != JPEG_APP0 + 14) kept.push_back(m);
    // A save writes them in marker order.
    std::stable_sort(kept.begin(), kept.end(), [](auto& a, auto& b) { return a.first < b.first; });
    return kept;
  };
  const TReference before = ReferenceDecode(source, JCS_UNKNOWN, 1, true);
  const TReference after = ReferenceDecode(Read(out), JCS_UNKNOWN, 1, true);
  EXPECT_EQ(segments(after), segments(before));
  EXPECT_EQ(segments(after).size(), 4u);  // EXIF, ICC, APP12, COM
  EXPECT_FALSE(after.Adobe);              // YCbCr: the library writes none, ours is not copied
}

TEST_F(JpegImageIO, StreamHeadersFrameTheData) {
  TImageIO io;
  ASSERT_TRUE(io.Bitmap().Allocate(30, 20, pf24RGB));
  io.Bitmap().Fill(0x336699);
  io.StreamHeaders = true;
  TLmMemoryStream stream;
  stream.Write("lead", 4);
  io.SaveImageToStreamAs(stream, ftJPEG);
  ASSERT_FALSE(io.Aborting);
  const int64_t end = stream.Position();
  stream.Write("tail", 4);
  EXPECT_EQ(std::memcmp(stream.Data().data() + 4, "JFIF\0\0\0\0", 8), 0);

  TImageIO reader;
  reader.StreamHeaders = true;
  stream.SetPosition(4);
  reader.LoadImageFromStream(stream);
  EXPECT_FALSE(reader.Aborting);
  EXPECT_EQ(reader.Bitmap().Width(), 30);
  EXPECT_EQ(stream.Position(), end);
}

TEST_F(JpegImageIO, ParametersOnlyLeavesTheBitmapAlone) {
  TImageIO io;
  io.ReadParams(Put("p.jpg", EncodeJpeg(MakePattern(40, 30, 3), {.Progressive = true})));
  EXPECT_EQ(io.Params.FileType, ftJPEG);
  EXPECT_EQ(io.Params.Width, 40);
  EXPECT_EQ(io.Params.Height, 30);
  EXPECT_TRUE(io.Params.JpegProgressive);
  EXPECT_TRUE(io.Bitmap().IsEmpty());
}

TEST_F(JpegImageIO, CorruptFileFinishesWithAborting) {
  int finished = 0;
  TImageIO io;
  io.OnFinishWork = [&](TImageIO&) { ++finished; };
  std::vector<uint8_t> bad = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02};
  io.LoadImage(Put("bad.jpg", bad));
  EXPECT_TRUE(io.Aborting);
  EXPECT_EQ(finished, 1);
}

}  // namespace
}  // namespace lumora
