// Conformance with djpeg (libjpeg-turbo-progs): every JPEG of the public
// corpus, plus files made here for the colour spaces the corpus lacks, must
// decode to djpeg's pixels at 1/1, 1/2, 1/4 and 1/8 with the same DCT.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "external_decoder.h"
#include "imageio/cmyk.h"
#include "jpeg_test_util.h"

namespace lumora {
namespace {

using namespace jpegtest;
namespace fs = std::filesystem;

#ifndef _WIN32

// djpeg's output for a file at 1/scale, or nullopt when djpeg refuses it.
std::optional<test::TPnmImage> RunDjpeg(const fs::path& file, unsigned scale) {
  auto out = test::CommandOutput("djpeg -dct int -scale 1/" + std::to_string(scale) + " -pnm '" + file.string() +
                                 "' 2>/dev/null");
  return out ? test::ParsePnm(*out) : std::nullopt;
}

// JPEG files of the corpus: every file that starts with a start-of-image
// marker, whatever its name.
std::vector<fs::path> CorpusJpegs() {
  std::vector<fs::path> files;
  const fs::path root = LUMORA_CORPUS_DIR;
  std::error_code error;
  if (!fs::is_directory(root, error)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    unsigned char head[3] = {};
    in.read(reinterpret_cast<char*>(head), 3);
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Files for what the corpus may lack: gray, CMYK, YCCK, RGB, 4:2:2,
// progressive, restart intervals, arithmetic coding, odd sizes.
std::vector<fs::path> MadeJpegs(const fs::path& dir) {
  struct {
    const char* name;
    TTestImage image;
    TEncodeSpec spec;
  } made[] = {
      {"gray.jpg", MakePattern(131, 77, 1), {.In = JCS_GRAYSCALE}},
      {"gray_progressive.jpg", MakePattern(97, 61, 1), {.In = JCS_GRAYSCALE, .Progressive = true}},
      {"cmyk.jpg", MakePattern(90, 70, 4), {.In = JCS_CMYK, .Quality = 85}},
      {"ycck_progressive.jpg", MakePattern(75, 45, 4), {.In = JCS_CMYK, .Out = JCS_YCCK, .Progressive = true}},
      {"rgb.jpg", MakePattern(66, 33, 3), {.Out = JCS_RGB, .Jfif = false}},
      {"ycbcr422.jpg", MakePattern(121, 83, 3), {.LumaH = 2, .LumaV = 1}},
      {"ycbcr420_progressive.jpg", MakePattern(203, 151, 3), {.Quality = 70, .Progressive = true}},
  };
  std::vector<fs::path> files;
  for (auto& m : made) {
    const auto data = EncodeJpeg(m.image, m.spec);
    files.push_back(dir / m.name);
    std::ofstream(files.back(), std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  }
  // Restart markers and arithmetic coding.
  for (bool arithmetic : {false, true}) {
    const std::vector<uint8_t> jpeg =
        EncodeJpeg(MakePattern(150, 100, 3), {.Arithmetic = arithmetic, .RestartRows = arithmetic ? 0 : 2});
    files.push_back(dir / (arithmetic ? "arithmetic.jpg" : "restarts.jpg"));
    std::ofstream(files.back(), std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  }
  return files;
}

// Compares our decode of `file` at 1/scale with djpeg's. CMYK goes through
// the plain CMYK formula, which truncates where djpeg rounds: 1 apart at most.
void Compare(const fs::path& file, unsigned scale, int& compared) {
  const auto reference = RunDjpeg(file, scale);
  if (!reference) return;  // djpeg cannot decode it either
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), {}};
  const uint8_t scaleCode = scale == 1 ? kJpegScaleFull : scale == 2 ? kJpegScaleHalf : scale == 4 ? kJpegScaleQuarter : kJpegScaleEighth;
  auto d = Decode(data, [&](TIOParamsVals& p, TJpegReadOptions& o) {
    p.JpegScale = scaleCode;
    o.NativePixelFormat = true;
  });
  const bool cmyk = d->Params.JpegColorSpace == kJpegCMYK || d->Params.JpegColorSpace == kJpegYCCK;
  if (cmyk) d = Decode(data, [&](TIOParamsVals& p, TJpegReadOptions&) { p.JpegScale = scaleCode; });
  const std::string what = file.filename().string() + " 1/" + std::to_string(scale);
  ASSERT_FALSE(d->Aborting) << what;
  ASSERT_EQ(d->Bitmap.Width(), reference->Width) << what;
  ASSERT_EQ(d->Bitmap.Height(), reference->Height) << what;
  const int channels = d->Bitmap.PixelFormat() == pf8g ? 1 : 3;
  ASSERT_EQ(channels, reference->Channels) << what;
  const int tolerance = cmyk ? 1 : 0;
  for (int y = 0; y < reference->Height; ++y) {
    const uint8_t* ours = d->Bitmap.ScanLine(y);
    const uint8_t* theirs = reference->Pixels.data() + size_t(y) * reference->Width * channels;
    for (int x = 0; x < reference->Width; ++x)
      for (int c = 0; c < channels; ++c) {
        const int mine = ours[x * channels + (channels == 3 ? 2 - c : 0)];
        ASSERT_LE(std::abs(mine - theirs[x * channels + c]), tolerance) << what << " at " << x << "," << y;
      }
  }
  ++compared;
}

TEST(JpegConformance, SamePixelsAsDjpegAtEveryScale) {
  if (std::system("djpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "djpeg is not installed";
  const fs::path dir = fs::temp_directory_path() / ("lumora_jpeg_conformance_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::vector<fs::path> files = MadeJpegs(dir);
  const std::vector<fs::path> corpus = CorpusJpegs();
  files.insert(files.end(), corpus.begin(), corpus.end());

  SetCmykProfileEnabled(false);
  int compared = 0;
  for (const auto& file : files)
    for (unsigned scale : {1u, 2u, 4u, 8u}) Compare(file, scale, compared);
  SetCmykProfileEnabled(true);
  fs::remove_all(dir);

  std::cout << "compared " << compared << " decodes of " << files.size() << " files (" << corpus.size()
            << " from the corpus) with djpeg\n";
  EXPECT_GE(compared, int(4 * (files.size() - corpus.size())));
  if (corpus.empty()) std::cout << "corpus not found: only the files made here were compared\n";
}

#else

TEST(JpegConformance, SamePixelsAsDjpegAtEveryScale) { GTEST_SKIP() << "djpeg runs on the Linux side only"; }

#endif

}  // namespace
}  // namespace lumora
