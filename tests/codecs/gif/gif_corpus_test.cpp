// The GIF conformance suite in the shared corpus: every NAME.conf lists the
// frames a player shows, each as raw RGBA of the logical screen. Frame N is
// loaded with GifImageIndex N and compared pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "external_decoder.h"
#include "gif_test_util.h"
#include "imageio/imageio.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

fs::path SuiteDir() { return fs::path(LUMORA_CORPUS_DIR) / "gif"; }

using TIni = std::map<std::string, std::map<std::string, std::string>>;

TIni ReadIni(const fs::path& file) {
  TIni ini;
  std::ifstream in(file);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(" \t"));
      s.erase(s.find_last_not_of(" \t") + 1);
      return s;
    };
    ini[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return ini;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

std::vector<uint8_t> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Pixels of the screen where our frame differs from the expected one. Our
// image stands at (GifFrameLeft, GifFrameTop): a single-frame file keeps its
// frame's own size and position, an animation fills the screen. Outside our
// image the screen counts as transparent; colours count only where opaque.
int CountDifferences(TImageIO& io, const std::vector<uint8_t>& expected, int width, int height) {
  TLmBitmap& b = io.Bitmap();
  const int left = io.Params.GifFrameLeft, top = io.Params.GifFrameTop;
  std::vector<uint8_t> bgr(3 * static_cast<size_t>(b.Width()));
  int wrong = 0;
  for (int y = 0; y < height; ++y) {
    const int by = y - top;
    const bool rowInside = by >= 0 && by < b.Height();
    if (rowInside) PixelRowToBGR(b.PixelFormat(), b.ScanLine(by), bgr.data(), b.Width(), b.Palette(), b.PaletteLength());
    for (int x = 0; x < width; ++x) {
      const uint8_t* e = &expected[4 * (static_cast<size_t>(y) * width + x)];
      const int bx = x - left;
      const bool inside = rowInside && bx >= 0 && bx < b.Width();
      const int alpha = inside ? b.Alpha(bx, by) : 0;
      if (e[3] == 0 && alpha == 0) continue;
      if (e[3] != alpha) {
        ++wrong;
        continue;
      }
      const uint8_t* c = &bgr[3 * static_cast<size_t>(bx)];
      wrong += c[2] != e[0] || c[1] != e[1] || c[0] != e[2];
    }
  }
  return wrong;
}

struct TOutcome {
  bool expectFailure = false;  // the suite lists no frame: a decoder should refuse the file
  bool failed = false;         // we set the aborting flag on some frame
  int framesCompared = 0;
  int framesMatching = 0;
};

TOutcome RunCase(const std::string& name) {
  TOutcome outcome;
  const TIni ini = ReadIni(SuiteDir() / (name + ".conf"));
  const auto& config = ini.at("config");
  const std::vector<uint8_t> gif = ReadBytes(SuiteDir() / config.at("input"));
  const int width = std::stoi(config.at("width"));
  const int height = std::stoi(config.at("height"));
  const std::vector<std::string> frames = Split(config.count("frames") ? config.at("frames") : "");
  outcome.expectFailure = frames.empty();
  if (frames.empty()) {
    outcome.failed = test::LoadGif(gif, 0)->Aborting;
    return outcome;
  }
  // The suite's frames are what a player shows: several images without a
  // delay between them make one frame. Each expected frame is looked for
  // among our composites of the images that follow the previous match.
  const int imageCount = test::LoadGif(gif, 0)->Params.GifImageCount;
  int next = 0;
  for (size_t k = 0; k < frames.size(); ++k) {
    const auto& frame = ini.at(frames[k]);
    if (!frame.count("pixels")) continue;
    const std::vector<uint8_t> expected = ReadBytes(SuiteDir() / frame.at("pixels"));
    if (expected.size() != static_cast<size_t>(width) * height * 4) continue;
    ++outcome.framesCompared;
    for (int i = next; i < std::max(imageCount, 1); ++i) {
      const auto io = test::LoadGif(gif, i);
      if (io->Aborting) {
        outcome.failed = true;
        break;
      }
      if (CountDifferences(*io, expected, width, height) == 0) {
        ++outcome.framesMatching;
        if (frame.count("delay")) {
          EXPECT_EQ(io->Params.GifDelay, std::stoi(frame.at("delay"))) << name << " " << k;
        }
        next = i + 1;
        break;
      }
    }
  }
  return outcome;
}

// Files on which our results knowingly differ from this suite's player model.
const std::set<std::string> kKnownDifferences = {
    // The suite shows a file without pixels as a transparent logical screen;
    // we set the aborting flag: there is no image to show.
    "no-data", "image-zero-width", "image-zero-height", "image-zero-size",
    // The suite refuses pixel indices past the colour table; we show them
    // with the table's unused (black) entries.
    "invalid-colors",
    // A frame more than 65000 pixels wide or high is refused when fewer than
    // 2000 bytes follow it (these well-compressed lines hold about 400).
    "max-width", "max-height",
    // LZW minimum code size 11: the decoder accepts 2 to 9.
    "max-codes",
    // Disposal method 3 (restore to previous) keeps the canvas like 0 and 1.
    "dispose-restore-previous",
    // The suite lists no frame for a file with a plain-text extension; plain
    // text is not interpreted here and the file's image is shown.
    "plain-text",
};

TEST(GifCorpus, FramesMatchTheSuitesPlayerModel) {
  if (!fs::exists(SuiteDir() / "TESTS")) GTEST_SKIP() << "no GIF suite in " << SuiteDir();
  std::ifstream list(SuiteDir() / "TESTS");
  std::string name;
  int cases = 0, agreeing = 0;
  std::vector<std::string> differing;
  while (list >> name) {
    ++cases;
    const TOutcome o = RunCase(name);
    const bool agrees = o.expectFailure ? o.failed : !o.failed && o.framesMatching == o.framesCompared;
    if (agrees) {
      ++agreeing;
      EXPECT_FALSE(kKnownDifferences.count(name)) << name << " now agrees: take it off the list";
    } else {
      differing.push_back(name);
      EXPECT_TRUE(kKnownDifferences.count(name))
          << name << ": " << (o.expectFailure ? "should fail" : "frames") << " failed=" << o.failed << " "
          << o.framesMatching << "/" << o.framesCompared;
    }
  }
  std::string list_;
  for (const std::string& d : differing) list_ += " " + d;
  std::printf("GIF suite: %d of %d cases agree; differing:%s\n", agreeing, cases, list_.c_str());
  EXPECT_GT(cases, 0);
}

// The GIF files of the image-rs test set, every frame against ImageMagick's
// coalesced frames (its player model: frames drawn over a transparent
// screen with their disposal methods).
std::vector<uint8_t> ImageMagickFrames(const fs::path& file) {
  return test::CommandOutput("/usr/bin/convert-im6.q16 '" + file.string() + "' -coalesce -depth 8 rgba:- 2>/dev/null",
                             false)
      .value_or(std::vector<uint8_t>{});
}

// Where our frames knowingly differ from ImageMagick's.
const std::set<std::string> kKnownImageMagickDifferences = {
    // Disposal method 3 (restore to previous) keeps the canvas here.
    "mixed-disposal.gif",
    // Where no frame has drawn yet, ImageMagick shows the background colour
    // opaque when the first frame has no transparency; the screen stays
    // transparent here (as in browsers).
    "border_touching_layers.gif", "issue_1455_undersized.gif",
};

TEST(GifCorpus, AnimationsMatchImageMagick) {
#ifdef _WIN32
  GTEST_SKIP() << "ImageMagick runs on the Linux host";
#endif
  const fs::path dir = fs::path(LUMORA_CORPUS_DIR) / "misc" / "gif";
  if (!fs::exists(dir) || !fs::exists("/usr/bin/convert-im6.q16")) GTEST_SKIP() << "no image-rs GIFs or ImageMagick";
  int files = 0, agreeing = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().extension() != ".gif") continue;
    const std::string name = entry.path().filename().string();
    const std::vector<uint8_t> gif = ReadBytes(entry.path());
    const std::vector<uint8_t> frames = ImageMagickFrames(entry.path());
    const auto first = test::LoadGif(gif, 0);
    ASSERT_FALSE(first->Aborting) << name;
    const int width = first->Params.GifScreenWidth, height = first->Params.GifScreenHeight;
    const size_t frameBytes = static_cast<size_t>(width) * height * 4;
    ASSERT_GT(frameBytes, 0u) << name;
    ASSERT_EQ(frames.size() % frameBytes, 0u) << name;
    const int count = static_cast<int>(frames.size() / frameBytes);
    EXPECT_EQ(count, first->Params.GifImageCount) << name;
    int matching = 0;
    std::string detail;
    for (int i = 0; i < count; ++i) {
      const auto io = test::LoadGif(gif, i);
      const std::vector<uint8_t> expected(frames.begin() + i * frameBytes, frames.begin() + (i + 1) * frameBytes);
      const int wrong = io->Aborting ? -1 : CountDifferences(*io, expected, width, height);
      matching += wrong == 0;
      detail += " " + std::to_string(wrong);
    }
    ++files;
    const bool agrees = matching == count;
    agreeing += agrees;
    EXPECT_EQ(agrees, !kKnownImageMagickDifferences.count(name)) << name << ": pixels differing per frame" << detail;
  }
  std::printf("image-rs GIFs: %d of %d files agree with ImageMagick frame by frame\n", agreeing, files);
}

}  // namespace
}  // namespace lumora
