// Loading images into the viewer form: the status panels a load fills, the
// messages for missing and broken files, the load time and its formatting,
// the progress gauge, and the picture on the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// <windows.h> maps LoadImage to LoadImageW; TImageIO's member is meant.
#undef LoadImage

#include "controls/application.h"
#include "imageio/imageio.h"
#include "shell/messages.h"
#include "test_host.h"
#include "viewer/main_form.h"

namespace lumora::test {
namespace {

std::vector<std::wstring> g_messages;
int RecordMessage(const TMessageBoxRequest& request) {
  g_messages.emplace_back(request.Text);
  return IDOK;
}

TEST(LoadTime, SecondsWithThreeDecimalsAndAPoint) {
  struct Case {
    DWORD ms;
    const wchar_t* text;
  };
  const Case cases[] = {{0, L"0.000"}, {438, L"0.438"}, {1234, L"1.234"}, {12345, L"12.345"}, {60000, L"60.000"}};
  for (Case c : cases) EXPECT_EQ(FormatLoadSeconds(c.ms), c.text);
  // A locale whose decimal separator is a comma changes nothing.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "German_Germany.1252") || std::setlocale(LC_ALL, "de-DE")) {
    wchar_t probe[16];
    std::swprintf(probe, 16, L"%.1f", 1.5);
    EXPECT_STREQ(probe, L"1,5") << "the comma locale did not take effect";
    for (Case c : cases) EXPECT_EQ(FormatLoadSeconds(c.ms), c.text);
  }
  std::setlocale(LC_ALL, saved.c_str());
}

class Loading : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    previous_ = SetMessageBoxInterceptor(&RecordMessage);
    DeleteSettings();
    host_ = std::make_unique<TTestHost>();
    folder_ = MakeTempFolder();
    sample_ = folder_ + L"\\sample.bmp";
    ASSERT_TRUE(CopyTo(WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp"), sample_));
  }
  void TearDown() override {
    form_.reset();
    host_.reset();
    SetMessageBoxInterceptor(previous_);
    DeleteSettings();
    for (const std::wstring& name : written_) DeleteFileW(name.c_str());
    DeleteFileW(sample_.c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  TfmMain& MakeForm(const std::wstring& file) {
    form_ = std::make_unique<TfmMain>(host_->Handle(), file);
    form_->Show();
    PumpMessages();
    return *form_;
  }
  std::wstring WriteFile(const std::wstring& name, const std::string& bytes) {
    std::wstring path = folder_ + L"\\" + name;
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
    written_.push_back(path);
    return path;
  }

  MessageBoxInterceptor previous_ = nullptr;
  std::unique_ptr<TTestHost> host_;
  std::unique_ptr<TfmMain> form_;
  std::wstring folder_;
  std::wstring sample_;
  std::vector<std::wstring> written_;
};

TEST_F(Loading, BitmapFileFillsThePanelsAndShowsItsPixels) {
  TImageIO reference;
  reference.LoadImage(sample_);
  ASSERT_FALSE(reference.Aborting);
  TfmMain& form = MakeForm(sample_);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(form.CurrentFile, sample_);
  EXPECT_TRUE(form.LoadFinished);
  EXPECT_FALSE(form.ImageView->AutoShrink());
  EXPECT_EQ(Screen().Cursor(), crDefault);
  EXPECT_FALSE(form.Gauge->Visible());
  EXPECT_EQ(form.StatusBar1->PanelText(1), L"320 x 240 x 24 Бит");
  EXPECT_EQ(form.StatusBar1->PanelText(2), std::to_wstring(reference.Params.DpiX) + L"dpi");
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"100%");
  const std::wstring time = form.StatusBar1->PanelText(4);
  EXPECT_EQ(time.rfind(L"Загружено за ", 0), 0u) << Narrow(time);
  EXPECT_EQ(time.substr(time.size() - 4), L" сек");
  EXPECT_NE(time.find(L'.'), std::wstring::npos);
  EXPECT_EQ(form.StatusBar1->PanelText(5), L"Windows Bitmap (BMP) ver.3");

  // The picture on the screen, pixel for pixel at 100 %.
  TImageView& view = *form.ImageView;
  ASSERT_DOUBLE_EQ(view.Zoom(), 100);
  RedrawWindow(view.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC dc = GetDC(view.Handle());
  RECT image = view.ImageRect();
  int mismatches = 0;
  for (int y = 0; y < 240; y += 7) {
    const auto* row = reinterpret_cast<const TLmRGBTriple*>(reference.Bitmap().ScanLine(y));
    for (int x = 0; x < 320; x += 5) {
      TLmRGBTriple c = row[x];
      if (GetPixel(dc, image.left + x, image.top + y) != RGB(c.r, c.g, c.b)) ++mismatches;
    }
  }
  ReleaseDC(view.Handle(), dc);
  EXPECT_EQ(mismatches, 0);
}

TEST_F(Loading, BrokenFileNamesOnlyTheFileAndKeepsThePreviousImage) {
  TfmMain& form = MakeForm(sample_);
  std::wstring broken = WriteFile(L"broken.bmp", std::string("BM\x10\0\0\0garbage", 14));
  form.OpenImage(broken, false);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], L"Невозможно загрузить изображение: \"broken.bmp\"");
  EXPECT_EQ(form.CurrentFile, sample_);
  EXPECT_EQ(form.ImageView->Bitmap().Width(), 320);
  EXPECT_EQ(form.ImageView->Bitmap().Height(), 240);
  EXPECT_TRUE(form.LoadFinished);
  EXPECT_EQ(Screen().Cursor(), crDefault);
  EXPECT_TRUE(host_->Alive());
}

TEST_F(Loading, MissingFileIsReportedWithItsPathAndTheViewerCloses) {
  TfmMain& form = MakeForm(sample_);
  const std::wstring missing = folder_ + L"\\gone.bmp";
  form.OpenImage(missing, false);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], L"Файл не найден: \"" + missing + L"\"");
  EXPECT_EQ(form.CurrentFile, sample_);
  PumpMessages();
  EXPECT_FALSE(host_->Alive()) << "the Lister window was not asked to close";
}

TEST_F(Loading, CommandsDuringALoadStartNoSecondLoad) {
  TfmMain& form = MakeForm(sample_);
  std::wstring other = folder_ + L"\\other.bmp";
  ASSERT_TRUE(CopyTo(sample_, other));
  written_.push_back(other);
  form.ScanFolder(folder_ + L"\\");
  ASSERT_EQ(form.FolderFiles.size(), 2u);
  const int index = form.CurrentIndex;
  // Commands that load are waiting in the queue when a load starts; its
  // progress lets them run while it is still on the stack.
  int loads = 0;
  auto finish = form.ImageView->OnFinishWork;
  form.ImageView->OnFinishWork = [&](TImageView& sender) {
    ++loads;
    finish(sender);
  };
  HWND view = form.ImageView->Handle();
  PostMessageW(view, WM_KEYDOWN, index == 0 ? VK_NEXT : VK_PRIOR, 0);  // the neighbour
  PostMessageW(view, WM_KEYDOWN, 'R', 0);                              // Ctrl+R: reload
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  form.OpenImage(other, false);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  // Both commands ran inside the load and were turned away: one load, the
  // one asked for, and the index untouched.
  MSG pending;
  EXPECT_FALSE(PeekMessageW(&pending, view, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(form.CurrentFile, other);
  EXPECT_EQ(form.CurrentIndex, index);
  EXPECT_TRUE(form.LoadFinished);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loading, ProgressDrivesTheGaugeOncePerPercentage) {
  TfmMain& form = MakeForm(sample_);
  TImageView& view = *form.ImageView;
  form.ShowLoadTime = true;
  form.LastPercent = -1;
  form.ImageViewProgress(view, 40);
  EXPECT_TRUE(form.Gauge->Visible());
  EXPECT_EQ(form.Gauge->Progress(), 40);
  EXPECT_EQ(form.StatusBar1->PanelText(4), L"");
  // The same percentage again does nothing.
  form.Gauge->SetProgress(7);
  form.ImageViewProgress(view, 40);
  EXPECT_EQ(form.Gauge->Progress(), 7);
  form.LoadStartTick = GetTickCount() - 1234;
  form.ImageViewProgress(view, 100);
  EXPECT_FALSE(form.Gauge->Visible());
  const std::wstring time = form.StatusBar1->PanelText(4);
  EXPECT_EQ(time.rfind(L"Загружено за 1.", 0), 0u) << Narrow(time);
  EXPECT_FALSE(form.ShowLoadTime);
  // Later operations move the gauge but keep the load time.
  form.ImageViewProgress(view, 50);
  form.ImageViewProgress(view, 100);
  EXPECT_EQ(form.StatusBar1->PanelText(4), time);
  // A cancelled load stops its I/O object.
  form.LoadCancelled = true;
  view.IO().Aborting = false;
  form.ImageViewProgress(view, 60);
  EXPECT_TRUE(view.IO().Aborting);
  EXPECT_EQ(form.StatusBar1->PanelText(4), L"Загрузка отменена");
  EXPECT_FALSE(form.Gauge->Visible());
}

TEST_F(Loading, FormatPanelIsLeftAlignedAfterAnIndentAndOthersCentred) {
  TfmMain& form = MakeForm(sample_);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 20);
  ReleaseDC(nullptr, screen);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  SelectObject(dc, form.Font());
  // The first and last inked columns of a panel painted into 300 x 20.
  auto inkedColumns = [&](int panel) {
    RECT all{0, 0, 300, 20};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT r{0, 0, 300, 19};
    form.StatusBar1DrawPanel(*form.StatusBar1, panel, dc, r);
    int first = -1, last = -1;
    for (int x = 1; x < 299; ++x) {
      for (int y = 2; y < 18; ++y) {
        if (GetPixel(dc, x, y) == RGB(255, 255, 255)) continue;
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
    return std::pair<int, int>(first, last);
  };
  auto [left5, right5] = inkedColumns(5);
  EXPECT_GE(left5, 4);
  EXPECT_LE(left5, 6);
  auto [left1, right1] = inkedColumns(1);
  EXPECT_NEAR(left1 + right1, 300, 6) << left1 << ".." << right1;
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace
}  // namespace lumora::test
