// lister.exe, the stand-in host, in its scripted use: what it prints, the
// keys it types, the screenshot it saves and its exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

// <windows.h> maps LoadImage to LoadImageW; TImageIO's member is meant.
#undef LoadImage

#include "imageio/imageio.h"
#include "lister_run.h"
#include "test_host.h"

namespace lumora::test {
namespace {

TListerRun RunLister(const std::wstring& arguments) { return test::RunLister(WindowsPath(LUMORA_LISTER_PATH), arguments); }

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

class Lister : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder();
    sample_ = WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp");
  }
  std::wstring folder_;
  std::wstring sample_;
};

TEST_F(Lister, ScriptedRunPrintsTheViewerStateAndSavesTheWindow) {
  std::wstring shot = folder_ + L"\\shot.bmp";
  // Keypad 9 three times stretches both ways to 103 %, keypad + then sets
  // 103 + 7: only keys that really arrived give 110 % in panel 3.
  TListerRun run =
      RunLister(L"--keys Num9,Num9,Num9,NumAdd --quit --screenshot " + Quoted(shot) + L" " + Quoted(sample_));
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.values["detect"], "MULTIMEDIA");
  EXPECT_EQ(run.values["loaded"], "yes");
  EXPECT_EQ(run.values["caption"], "Lister - [" + Narrow(sample_) + "]");
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(run.values.count("panel" + std::to_string(i))) << run.output;
  EXPECT_EQ(run.values["panel3"], "110%");
  EXPECT_EQ(run.values["closed"], "no");

  // The screenshot is the whole Lister window: at least its 800 x 600
  // client area, and not one flat colour.
  TImageIO io;
  io.LoadImage(std::filesystem::path(shot));
  ASSERT_FALSE(io.Aborting);
  TLmBitmap& picture = io.Bitmap();
  EXPECT_GE(picture.Width(), 800);
  EXPECT_GE(picture.Height(), 600);
  ASSERT_EQ(picture.PixelFormat(), pf24RGB);
  const uint8_t* bottom = picture.ScanLine(picture.Height() - 10);
  bool varied = false;
  for (int x = 1; x < picture.Width() && !varied; ++x) varied = std::memcmp(bottom, bottom + 3 * x, 3) != 0;
  EXPECT_TRUE(varied) << "the status bar row shows no frames";
}

TEST_F(Lister, KeysTypedWithoutAPluginWindowReachTheLister) {
  std::wstring notes = folder_ + L"\\notes.txt";
  CloseHandle(CreateFileW(notes.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  TListerRun run = RunLister(L"--keys 3,A,52 --quit " + Quoted(notes));
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.values["loaded"], "no");
  EXPECT_EQ(run.values["chars"], "51,97,52");
  EXPECT_EQ(run.values["panel0"], "");
}

TEST_F(Lister, WritesThePictureInTheFormatOfItsName) {
  std::wstring shot = folder_ + L"\\shot.png";
  TListerRun run = RunLister(L"--quit --screenshot " + Quoted(shot) + L" " + Quoted(sample_));
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  HANDLE file = CreateFileW(shot.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  unsigned char signature[8] = {};
  DWORD got = 0;
  ReadFile(file, signature, 8, &got, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(signature) + 1, 3), "PNG");
}

TEST_F(Lister, RefusesBadCommandLines) {
  EXPECT_EQ(RunLister(L"").exitCode, 2u);
  EXPECT_EQ(RunLister(L"--keys NoSuchKey " + Quoted(sample_)).exitCode, 2u);
  EXPECT_EQ(RunLister(L"--plugin " + Quoted(folder_ + L"\\missing.wlx") + L" " + Quoted(sample_)).exitCode, 3u);
}

}  // namespace
}  // namespace lumora::test

namespace lumora::test {
namespace {

// Five flat pictures, each of its own colour, named img1.bmp to img5.bmp.
const uint8_t kFiveColours[5][3] = {{0, 230, 230}, {30, 230, 30}, {230, 230, 30}, {230, 30, 30}, {230, 30, 230}};  // BGR

void WriteFlatBmp(const std::wstring& path, const uint8_t bgr[3]) {
  TImageIO io;
  TLmBitmap& bitmap = io.Bitmap();
  ASSERT_TRUE(bitmap.Allocate(200, 150, pf24RGB));
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) std::memcpy(row + 3 * x, bgr, 3);
  }
  io.SaveImage(std::filesystem::path(path));
  ASSERT_FALSE(io.Aborting);
}

// The pixels in the gap left of the first cell showing `bgr`, at mid-height
// of that cell: where the grid draws its selection frame.
std::vector<uint32_t> GapLeftOf(TLmBitmap& shot, const uint8_t bgr[3]) {
  for (int y = 0; y < shot.Height(); ++y) {
    const uint8_t* row = shot.ScanLine(y);
    for (int x = 12; x < shot.Width(); ++x) {
      if (std::memcmp(row + 3 * x, bgr, 3) != 0) continue;
      const uint8_t* mid = shot.ScanLine(std::min(y + 40, shot.Height() - 1));
      std::vector<uint32_t> gap;
      for (int d = 2; d <= 10; ++d) {
        const uint8_t* p = mid + 3 * (x - d);
        gap.push_back(p[0] | p[1] << 8 | p[2] << 16);
      }
      return gap;
    }
  }
  return {};
}

TEST_F(Lister, KeysStepThroughTheFolderAndOpenTheThumbnailPage) {
  // A folder of its own: the fixture's folder may hold other tests' pictures.
  std::wstring five = folder_ + L"\\five-" + std::to_wstring(GetTickCount());
  ASSERT_TRUE(CreateDirectoryW(five.c_str(), nullptr));
  for (int i = 0; i < 5; ++i) WriteFlatBmp(five + L"\\img" + std::to_wstring(i + 1) + L".bmp", kFiveColours[i]);
  std::wstring shot = folder_ + L"\\thumbs.bmp";
  TListerRun run = RunLister(L"--keys PageDown,PageDown,Return --quit --screenshot " + Quoted(shot) + L" " +
                             Quoted(five + L"\\img2.bmp"));
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.values["panel0"], "4/5") << run.output;
  EXPECT_EQ(run.values["caption"], "Lister - [" + Narrow(five) + "\\img4.bmp]");
  // The run waited for every thumbnail, and timed the page and the whole.
  EXPECT_EQ(run.values["thumbnails"], "5/5") << run.output;
  for (const char* figure : {"thumbnails page", "thumbnails all"}) {
    const std::string& ms = run.values[figure];
    EXPECT_TRUE(!ms.empty() && ms.find_first_not_of("0123456789") == std::string::npos) << figure << ": " << ms;
  }

  // Every thumbnail is on the page, and only the fourth has the selection
  // frame beside it.
  TImageIO io;
  io.LoadImage(std::filesystem::path(shot));
  ASSERT_FALSE(io.Aborting);
  TLmBitmap& picture = io.Bitmap();
  std::vector<std::vector<uint32_t>> gaps;
  for (const auto& colour : kFiveColours) {
    gaps.push_back(GapLeftOf(picture, colour));
    ASSERT_FALSE(gaps.back().empty()) << "a thumbnail is missing from the page";
  }
  EXPECT_NE(gaps[3], gaps[1]);
  EXPECT_EQ(gaps[1], gaps[2]);
}

}  // namespace
}  // namespace lumora::test
