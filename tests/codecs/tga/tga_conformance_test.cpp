// Conformance: every TGA file of the corpus gives the pixels (colour and
// alpha) of an independent rendering: ImageMagick's, or the rendering the
// corpus carries beside the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "imageio/imageio.h"
#include "reference_image.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// The independent decoders run on the Linux side only: these comparisons are
// native tests.
#ifndef _WIN32

const fs::path kCorpus = fs::path(LUMORA_CORPUS_DIR);

struct TKnownDifference {
  int Allowed;       // largest channel difference
  bool ColourOnly;   // alpha not compared
};

// Files where our pixels differ from every reference by design.
const std::map<std::string, TKnownDifference> kKnownDifferences = {
    // 5-bit channels (16-bit pixels and colour-map entries) expand with zero
    // low bits (v * 8, white is 248); ImageMagick and the corpus renderings
    // scale to the full range.
    {"b5-attrib.tga", {7, false}},
    {"b5-noattrib.tga", {7, false}},
    {"b5-unused-cmap.tga", {7, false}},
    {"b5-cmap.tga", {7, false}},
    {"ccm8.tga", {7, false}},
    {"ucm8.tga", {7, false}},
    // The descriptor announces one attribute bit, but every pixel has it
    // clear: an alpha that hides the whole picture says nothing, so we show
    // it opaque; ImageMagick shows it fully transparent.
    {"utc16.tga", {7, true}},
};

std::vector<fs::path> CorpusTgaFiles() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(kCorpus, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& p = it->path();
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".tga" && p.string().find("/reference/") == std::string::npos) files.push_back(p);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The corpus keeps renderings at reference/<path below misc>.png.
fs::path RenderingOf(const fs::path& file) {
  const fs::path misc = kCorpus / "misc";
  const fs::path relative = fs::relative(file, misc);
  return misc / "reference" / (relative.string() + ".png");
}

TEST(TgaConformance, CorpusFilesMatchAnIndependentRendering) {
  ASSERT_TRUE(fs::exists(kCorpus)) << "no corpus at " << kCorpus;
  ASSERT_TRUE(fs::exists(test::kImageMagick)) << "ImageMagick is not installed";
  int compared = 0;
  for (const fs::path& file : CorpusTgaFiles()) {
    const std::string name = file.filename().string();
    TImageIO io;
    io.LoadImage(file);
    EXPECT_FALSE(io.Aborting) << name << ": " << io.LastFailure().Describe();
    if (io.Aborting) continue;
    const auto known = kKnownDifferences.find(name);
    const TKnownDifference expected = known == kKnownDifferences.end() ? TKnownDifference{0, false} : known->second;

    std::vector<std::pair<fs::path, std::string>> references = {{file, "tga:"}};
    if (fs::exists(RenderingOf(file))) references.push_back({RenderingOf(file), ""});
    bool anyReference = false, matched = false;
    std::string differences;
    for (const auto& [reference, format] : references) {
      test::TRgbaImage ref;
      if (!test::DecodeWithImageMagick(reference, ref, format)) continue;
      anyReference = true;
      const int difference = test::LargestDifference(io.Bitmap(), ref, !expected.ColourOnly);
      differences += " " + std::to_string(difference);
      if (difference >= 0 && difference <= expected.Allowed) {
        matched = true;
        break;
      }
    }
    EXPECT_TRUE(anyReference) << name;
    EXPECT_TRUE(matched) << name << " differs by" << differences;
    ++compared;
  }
  EXPECT_GE(compared, 18);
  std::printf("[ tga corpus ] %d files compared\n", compared);
}

#endif  // !_WIN32

}  // namespace
}  // namespace lumora
