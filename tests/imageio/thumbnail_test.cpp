#include "imageio/thumbnail.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "imageio/imageio.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

class ThumbnailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lumora-thumb-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // A picture of the given size: left half red, right half blue.
  fs::path MakePicture(const char* name, int width, int height) {
    TImageIO io;
    io.Bitmap().Allocate(width, height, pf24RGB);
    for (int y = 0; y < height; ++y) {
      uint8_t* row = io.Bitmap().ScanLine(y);
      for (int x = 0; x < width; ++x) {
        const bool left = x < width / 2;
        row[3 * x] = left ? 0 : 255;
        row[3 * x + 1] = 0;
        row[3 * x + 2] = left ? 255 : 0;
      }
    }
    const fs::path path = dir_ / name;
    io.SaveImage(path);
    EXPECT_FALSE(io.Aborting) << io.LastFailure().Describe();
    return path;
  }

  fs::path dir_;
};

// Scaled decoding and resampling give a picture within the box with the
// aspect kept, in 24 bits, and report the stored size.
TEST_F(ThumbnailTest, FitsTheBoxAndKeepsTheAspect) {
  struct Case {
    const char* name;
    int width, height, boxWidth, boxHeight, wantWidth, wantHeight;
  };
  const Case cases[] = {
      {"wide.jpg", 800, 400, 100, 100, 100, 50},
      {"tall.png", 300, 600, 120, 120, 60, 120},
      {"small.bmp", 40, 30, 200, 200, 40, 30},  // never enlarged
  };
  for (const Case& c : cases) {
    TThumbnailRequest request;
    request.Width = c.boxWidth;
    request.Height = c.boxHeight;
    TThumbnail thumbnail;
    ASSERT_TRUE(LoadThumbnail(MakePicture(c.name, c.width, c.height), request, thumbnail))
        << c.name << ": " << thumbnail.Failure.Describe();
    EXPECT_EQ(thumbnail.Bitmap.Width(), c.wantWidth) << c.name;
    EXPECT_EQ(thumbnail.Bitmap.Height(), c.wantHeight) << c.name;
    EXPECT_EQ(thumbnail.Bitmap.PixelFormat(), pf24RGB) << c.name;
    EXPECT_EQ(thumbnail.OriginalWidth, c.width) << c.name;
    EXPECT_EQ(thumbnail.OriginalHeight, c.height) << c.name;
    const uint8_t* row = thumbnail.Bitmap.ScanLine(thumbnail.Bitmap.Height() / 2);
    EXPECT_GT(row[2], 200) << c.name << ": the left edge stays red";
    EXPECT_GT(row[3 * (thumbnail.Bitmap.Width() - 1)], 200) << c.name << ": the right edge stays blue";
  }
}

TEST_F(ThumbnailTest, FailuresGiveReasons) {
  TThumbnail thumbnail;
  TThumbnailRequest empty;
  EXPECT_FALSE(LoadThumbnail(MakePicture("a.png", 10, 10), empty, thumbnail));
  EXPECT_EQ(thumbnail.Failure.Kind, TIOFailureKind::InvalidData);

  TThumbnailRequest request;
  request.Width = request.Height = 64;
  const fs::path junk = dir_ / "junk.jpg";
  std::ofstream(junk, std::ios::binary) << "\xFF\xD8\xFF\xE0 not really a JPEG";
  EXPECT_FALSE(LoadThumbnail(junk, request, thumbnail));
  EXPECT_TRUE(thumbnail.Bitmap.IsEmpty());
  EXPECT_EQ(thumbnail.Failure.Kind, TIOFailureKind::InvalidData) << thumbnail.Failure.Describe();

  EXPECT_FALSE(LoadThumbnail(dir_ / "missing.png", request, thumbnail));
  EXPECT_EQ(thumbnail.Failure.Kind, TIOFailureKind::IOError);

  // The caller's flag stops the load (the grid stops its workers so).
  const std::atomic<bool> cancel{true};
  request.Cancel = &cancel;
  EXPECT_FALSE(LoadThumbnail(MakePicture("big.png", 300, 200), request, thumbnail));
  EXPECT_EQ(thumbnail.Failure.Kind, TIOFailureKind::Cancelled) << thumbnail.Failure.Describe();
}

}  // namespace
}  // namespace lumora
