// Conformance: every PBM, PGM and PPM file of the corpus gives netpbm's
// pixels; the writer's files are read back by netpbm with our pixels.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "external_decoder.h"
#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// The independent decoders run on the Linux side only: these comparisons are
// native tests.
#ifndef _WIN32

const fs::path kCorpus = fs::path(LUMORA_CORPUS_DIR);

// netpbm's reading of `file` as 8-bit RGB: samples rescaled to 255 by
// pamdepth (rounded), gray and bits spread to three channels.
std::optional<test::TPnmImage> DecodeWithNetpbm(const fs::path& file) {
  auto out = test::CommandOutput("/usr/bin/pamdepth 255 '" + file.string() + "' 2>/dev/null | /usr/bin/ppmtoppm 2>/dev/null");
  auto image = out ? test::ParsePnm(*out) : std::nullopt;
  if (!image || image->Channels != 3) return std::nullopt;
  return image;
}

int LargestDifference(TLmBitmap& ours, const test::TPnmImage& ref) {
  if (ours.Width() != ref.Width || ours.Height() != ref.Height) return -1;
  TLmBitmap rgb;
  rgb.Assign(ours);
  rgb.SetPixelFormat(pf24RGB);
  int worst = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* row = rgb.ScanLine(y);
    const uint8_t* expected = ref.Pixels.data() + static_cast<size_t>(y) * ref.Width * 3;
    for (int x = 0; x < ref.Width; ++x)
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int{row[3 * x + 2 - c]} - int{expected[3 * x + c]}));
  }
  return worst;
}

std::vector<fs::path> CorpusPnmFiles() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(kCorpus, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".pbm" || ext == ".pgm" || ext == ".ppm" || ext == ".pnm") files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(PnmConformance, CorpusFilesMatchNetpbm) {
  ASSERT_TRUE(fs::exists(kCorpus)) << "no corpus at " << kCorpus;
  ASSERT_TRUE(fs::exists("/usr/bin/pamdepth") && fs::exists("/usr/bin/ppmtoppm")) << "netpbm is not installed";
  int compared = 0;
  for (const fs::path& file : CorpusPnmFiles()) {
    const std::string name = fs::relative(file, kCorpus).string();
    const auto ref = DecodeWithNetpbm(file);
    TImageIO io;
    io.LoadImage(file);
    if (!ref) {
      // netpbm refuses it: we must not pretend to have read it either.
      EXPECT_TRUE(io.Aborting) << name;
      continue;
    }
    ASSERT_FALSE(io.Aborting) << name << ": " << io.LastFailure().Describe();
    // The one exception: 16-bit samples are scaled to 8 bits, which we
    // truncate and pamdepth rounds, so they may differ by one.
    const int difference = LargestDifference(io.Bitmap(), *ref);
    EXPECT_GE(difference, 0) << name << ": sizes differ";
    EXPECT_LE(difference, io.Params.BitsPerSample == 16 ? 1 : 0) << name;
    ++compared;
  }
  EXPECT_GE(compared, 25);
  std::printf("[ pnm corpus ] %d files compared with netpbm\n", compared);
}

#endif  // !_WIN32

}  // namespace
}  // namespace lumora
