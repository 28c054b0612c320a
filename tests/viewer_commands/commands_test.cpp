// The viewer's commands driven inside a stand-in Lister window: the folder
// list and its texts, the key table, the view commands with full screen,
// and the thumbnail page with its grid.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "imageio/imageio.h"
#include "shell/messages.h"
#include "test_host.h"
#include "viewer/main_form.h"

namespace lumora::test {
namespace {

int AnswerOk(const TMessageBoxRequest&) { return IDOK; }

// A w x h 24-bit BMP whose pixel (x, y) has red x, green y, blue 77.
void WriteBmp(const std::wstring& path, int w, int h) {
  TLmBitmap bitmap;
  ASSERT_TRUE(bitmap.Allocate(w, h, pf24RGB));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[x * 3] = 77;
      row[x * 3 + 1] = static_cast<uint8_t>(y);
      row[x * 3 + 2] = static_cast<uint8_t>(x);
    }
  }
  TImageIO io(bitmap);
  io.SaveImage(std::filesystem::path(path));
  ASSERT_FALSE(io.Aborting);
}

void WriteBytes(const std::wstring& path, long long size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end{};
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
}

std::wstring Caption(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

// Five images a.bmp .. e.bmp (the fifth 1200 x 900, larger than the
// view), a text file and a folder whose name looks like an image.
class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxInterceptor(&AnswerOk);
    DeleteSettings();
    // A folder of this test's own: the temporary folder's name can be one
    // another test program left behind.
    folder_ = MakeTempFolder() + L"\\commands";
    RemoveTree(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    folder_ += L"\\";
    for (wchar_t c = L'a'; c <= L'e'; ++c) WriteBmp(Path(c), c == L'e' ? 1200 : 40 + (c - L'a'), 30);
    WriteBytes(folder_ + L"notes.txt", 10);
    CreateDirectoryW((folder_ + L"sub.jpg").c_str(), nullptr);
  }
  void TearDown() override {
    form_.reset();
    host_.reset();
    outer_.reset();
    SetMessageBoxInterceptor(previous_);
    DeleteSettings();
    RemoveTree(folder_.substr(0, folder_.size() - 1));
    RemoveDirectoryW(folder_.substr(0, folder_.size() - 10).c_str());
  }
  std::wstring Path(wchar_t letter) const { return folder_ + letter + L".bmp"; }

  // A viewer of `file` in a stand-alone (or embedded) Lister window, its
  // folder scanned and its page and texts as after a load.
  TfmMain& MakeForm(wchar_t letter = L'b', bool embedded = false) {
    if (embedded) outer_ = std::make_unique<TTestHost>();
    host_ = std::make_unique<TTestHost>(embedded ? outer_->Handle() : nullptr);
    form_ = std::make_unique<TfmMain>(host_->Handle(), Path(letter));
    form_->CurrentFile = Path(letter);
    form_->ScanFolder(folder_);
    form_->ShowPosition();
    form_->Show();
    PumpMessages();
    return *form_;
  }
  // Files of the list by name only.
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (const std::wstring& f : form_->FolderFiles) names.push_back(f.substr(folder_.size()));
    return names;
  }
  static void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 100 && !done(); ++i) PumpMessages(50);
  }

  MessageBoxInterceptor previous_ = nullptr;
  std::wstring folder_;
  std::unique_ptr<TTestHost> outer_;
  std::unique_ptr<TTestHost> host_;
  std::unique_ptr<TfmMain> form_;
};

// ---- Folder list and its texts ------------------------------------------------

TEST_F(Commands, ScanListsReadableFilesInAStableOrderAndFindsTheCurrentOne) {
  TfmMain& form = MakeForm(L'c');
  std::vector<std::wstring> names = Names();
  std::vector<std::wstring> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::wstring>{L"a.bmp", L"b.bmp", L"c.bmp", L"d.bmp", L"e.bmp"}));
  ASSERT_GE(form.CurrentIndex, 0);
  EXPECT_EQ(form.FolderFiles[form.CurrentIndex], Path(L'c'));
  EXPECT_EQ(form.StatusBar1->PanelText(0), std::to_wstring(form.CurrentIndex + 1) + L"/5");

  // A rescan with a new file keeps the known order and appends the new one;
  // the current file is found whatever its letter case.
  WriteBmp(folder_ + L"0.bmp", 8, 8);
  form.CurrentFile = folder_ + L"D.BMP";
  form.ScanFolder(folder_);
  std::vector<std::wstring> again = Names();
  ASSERT_EQ(again.size(), 6u);
  EXPECT_TRUE(std::equal(names.begin(), names.end(), again.begin()));
  EXPECT_EQ(again.back(), L"0.bmp");
  EXPECT_EQ(form.FolderFiles[form.CurrentIndex], Path(L'd'));

  // A current file the list does not hold starts at the first entry.
  form.CurrentFile = folder_ + L"notes.txt";
  form.ScanFolder(folder_);
  EXPECT_EQ(form.CurrentIndex, 0);

  // A folder that cannot be enumerated gives an empty list; nothing to view.
  form.ScanFolder(folder_ + L"missing\\");
  EXPECT_TRUE(form.FolderFiles.empty());
  EXPECT_EQ(form.CurrentIndex, -1);
  form.ShowPosition();
  EXPECT_EQ(form.StatusBar1->PanelText(0), L"0/0");
  form.mnuViewClick(*form.mnuView);
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
}

TEST_F(Commands, ListerCaptionKeepsItsTextUpToTheFirstBracket) {
  TfmMain& form = MakeForm();
  SetWindowTextW(host_->Handle(), L"Lister - [old] [x]");
  form.UpdateListerCaption(L"C:\\pics\\b.bmp");
  EXPECT_EQ(Caption(host_->Handle()), L"Lister - [C:\\pics\\b.bmp]");
  SetWindowTextW(host_->Handle(), L"Lister");
  form.UpdateListerCaption(L"C:\\pics\\b.bmp");
  EXPECT_EQ(Caption(host_->Handle()), L"C:\\pics\\b.bmp]");
}

TEST_F(Commands, EmbeddedListerCaptionIsLeftAlone) {
  TfmMain& form = MakeForm(L'b', true);
  ASSERT_TRUE(form.HostIsChild);
  SetWindowTextW(host_->Handle(), L"Lister - [old]");
  form.UpdateListerCaption(L"C:\\pics\\b.bmp");
  EXPECT_EQ(Caption(host_->Handle()), L"Lister - [old]");
}

TEST(FormatFileSize, UnitsAndOneDecimalOnlyWhenNeeded) {
  std::wstring folder = MakeTempFolder() + L"\\";
  struct Case {
    long long size;
    const wchar_t* text;
  };
  const Case cases[] = {{0, L"0Байт"},         {1023, L"1023Байт"},       {1024, L"1Кб"},
                        {1536, L"1.5Кб"},      {1048576, L"1Мб"},         {1572864, L"1.5Мб"},
                        {1073741824, L"1Гб"},  {1610612736, L"1.5Гб"}};
  for (const Case& c : cases) {
    std::wstring path = folder + std::to_wstring(c.size);
    WriteBytes(path, c.size);
    EXPECT_EQ(TfmMain::FormatFileSize(path), c.text) << c.size;
    DeleteFileW(path.c_str());
  }
  EXPECT_EQ(TfmMain::FormatFileSize(folder + L"missing.jpg"), L"> 2 Гб");
  RemoveDirectoryW(folder.c_str());
}

// ---- Keys ---------------------------------------------------------------------

TEST_F(Commands, DigitGoesToTheListerAsACharacterAndHidesTheViewer) {
  TfmMain& form = MakeForm();
  form.FormKeyDown(form, '3', 0);
  PumpMessages();
  EXPECT_EQ(host_->Chars(), (std::vector<unsigned>{51}));
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
  EXPECT_TRUE(host_->Alive());
}

TEST_F(Commands, QAndEscCloseAStandAloneListerButOnlyHideAnEmbeddedViewer) {
  for (WORD key : {WORD('Q'), WORD(VK_ESCAPE)}) {
    TfmMain& form = MakeForm();
    form.FormKeyDown(form, key, 0);
    PumpMessages();
    EXPECT_FALSE(host_->Alive()) << key;
    form_.reset();
    host_.reset();
  }
  TfmMain& form = MakeForm(L'b', true);
  form.FormKeyDown(form, VK_ESCAPE, 0);
  PumpMessages();
  EXPECT_TRUE(host_->Alive());
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

TEST_F(Commands, PageKeysStepWithoutWrapAroundAndNotWhileLoading) {
  TfmMain& form = MakeForm(L'a');
  int last = static_cast<int>(form.FolderFiles.size()) - 1;
  form.CurrentIndex = 0;
  form.FormKeyDown(form, VK_PRIOR, 0);
  EXPECT_EQ(form.CurrentIndex, 0);
  form.FormKeyDown(form, VK_NEXT, 0);
  EXPECT_EQ(form.CurrentIndex, 1);
  EXPECT_EQ(form.CurrentFile, form.FolderFiles[1]);
  form.CurrentIndex = last;
  form.FormKeyDown(form, VK_NEXT, 0);
  EXPECT_EQ(form.CurrentIndex, last);
  EXPECT_EQ(form.CurrentFile, form.FolderFiles[1]);  // nothing reloaded

  // A PageUp that comes in while a load lets messages run is turned away.
  HWND view = form.ImageView->Handle();
  PostMessageW(view, WM_KEYDOWN, VK_PRIOR, 0);
  form.OpenImage(form.CurrentFile, false);
  MSG pending;
  EXPECT_FALSE(PeekMessageW(&pending, view, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));  // it ran inside the load
  EXPECT_EQ(form.CurrentIndex, last);
  form.Notebook->SetPageIndex(1);
  form.FormKeyDown(form, VK_PRIOR, 0);
  EXPECT_EQ(form.FolderFiles[form.CurrentIndex], form.FolderFiles[last]);
}

// The folder is scanned once; a step notices that its entries changed
// since (a picture removed, one added) and steps through the new list.
TEST_F(Commands, PageKeysNoticeThatTheFolderChanged) {
  TfmMain& form = MakeForm(L'a');
  ASSERT_EQ(form.FolderFiles.size(), 5u);
  const int index = form.CurrentIndex;
  const bool down = index + 1 < 5;
  const std::wstring neighbour = form.FolderFiles[down ? index + 1 : index - 1];
  ASSERT_TRUE(DeleteFileW(neighbour.c_str()));
  WriteBmp(Path(L'z'), 41, 30);
  form.FormKeyDown(form, down ? VK_NEXT : VK_PRIOR, 0);
  std::vector<std::wstring> names = Names();
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(std::count(names.begin(), names.end(), std::wstring(L"z.bmp")), 1);
  EXPECT_EQ(std::count(form.FolderFiles.begin(), form.FolderFiles.end(), neighbour), 0);
  // The step went from the current picture to its new neighbour, which exists.
  ASSERT_GE(form.CurrentIndex, 0);
  EXPECT_EQ(form.CurrentFile, form.FolderFiles[form.CurrentIndex]);
  EXPECT_NE(form.CurrentFile, Path(L'a'));
  EXPECT_NE(GetFileAttributesW(form.CurrentFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Commands, ArrowsScrollThroughTheHookAndKeypadStepsTheZoom) {
  TfmMain& form = MakeForm();
  TImageView& view = *form.ImageView;
  ASSERT_TRUE(view.Bitmap().Allocate(3000, 3000, pf24RGB));
  view.UpdateView();
  view.SetZoom(100);
  ASSERT_GT(view.MaxViewX(), 100);
  form.FormKeyDown(form, VK_RIGHT, 0);
  EXPECT_EQ(view.ViewX(), 25);
  view.SetViewX(0);
  ASSERT_TRUE(form.KeyboardHook().Installed());
  // The focus is in the host, not in the viewer: only the hook brings it.
  SetForegroundWindow(host_->Handle());
  SetFocus(host_->Handle());
  PumpMessages();
  ASSERT_EQ(GetFocus(), host_->Handle());
  PressKey(VK_RIGHT);
  EXPECT_EQ(view.ViewX(), 50);  // on the key going down and coming up
  int x = view.ViewX();
  form.FormKeyDown(form, VK_LEFT, 0);
  EXPECT_EQ(view.ViewX(), x - 25);
  form.FormKeyDown(form, VK_DOWN, 0);
  form.FormKeyDown(form, VK_DOWN, 0);
  form.FormKeyDown(form, VK_UP, 0);
  EXPECT_EQ(view.ViewY(), 25);

  for (int i = 0; i < 3; ++i) form.FormKeyDown(form, VK_NUMPAD9, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 103);
  EXPECT_DOUBLE_EQ(view.ZoomY(), 103);
  form.FormKeyDown(form, VK_NUMPAD6, 0);
  form.FormKeyDown(form, VK_NUMPAD2, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 104);
  EXPECT_DOUBLE_EQ(view.ZoomY(), 102);
  form.FormKeyDown(form, VK_NUMPAD1, 0);
  form.FormKeyDown(form, VK_NUMPAD4, 0);
  form.FormKeyDown(form, VK_NUMPAD8, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 102);
  EXPECT_DOUBLE_EQ(view.ZoomY(), 102);
  form.FormKeyDown(form, VK_NUMPAD3, 0);
  form.FormKeyDown(form, VK_NUMPAD7, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 102);

  form.FormKeyDown(form, VK_ADD, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 109);
  EXPECT_DOUBLE_EQ(view.ZoomY(), 109);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"109%");
  form.FormKeyDown(form, VK_SUBTRACT, 0);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"102%");
  form.FormKeyDown(form, VK_MULTIPLY, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), view.FitZoom());
  form.FormKeyDown(form, VK_DIVIDE, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), 100);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"100%");
  // Keypad 5: the image is larger than the view, so it is fitted.
  form.FormKeyDown(form, VK_NUMPAD5, 0);
  EXPECT_DOUBLE_EQ(view.ZoomX(), view.FitZoom());
}

TEST_F(Commands, KeypadPlusOnTheThumbnailPageSizesTheThumbnailsWithinRange) {
  TfmMain& form = MakeForm();
  form.Notebook->SetPageIndex(1);
  form.ThumbsVidth->SetPosition(255);
  form.FormKeyDown(form, VK_ADD, 0);
  EXPECT_EQ(form.ThumbsVidth->Position(), 256);
  EXPECT_EQ(form.ImageMView->ThumbWidth(), 256);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"256");
  form.FormKeyDown(form, VK_ADD, 0);
  EXPECT_EQ(form.ThumbsVidth->Position(), 256);
  form.FormKeyDown(form, VK_SUBTRACT, 0);
  EXPECT_EQ(form.ImageMView->ThumbHeight(), 255);
  // On the image page the slider still sizes the grid but panel 3 keeps the zoom.
  form.Notebook->SetPageIndex(0);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"100%");
  form.ThumbsVidth->SetPosition(200);
  EXPECT_EQ(form.ImageMView->ThumbWidth(), 200);
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"100%");
}

TEST_F(Commands, LettersFlipChecksAndTurnTheImage) {
  TfmMain& form = MakeForm();
  TLmBitmap& bitmap = form.ImageView->Bitmap();
  ASSERT_TRUE(bitmap.Allocate(3, 2, pf24RGB));
  // Pixel (x, y) holds x + 10 y in its blue byte.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) bitmap.ScanLine(y)[x * 3] = static_cast<uint8_t>(x + 10 * y);
  form.FormKeyDown(form, 'L', ssShift);  // a quarter turn counter-clockwise
  ASSERT_EQ(bitmap.Width(), 2);
  ASSERT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 2);   // the old top-right corner
  EXPECT_EQ(bitmap.ScanLine(2)[3], 10);  // the old bottom-left corner
  form.FormKeyDown(form, 'R', 0);        // and back
  ASSERT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.ScanLine(1)[2 * 3], 12);

  bool interpolation = form.mnuInterpolation->Checked();
  form.FormKeyDown(form, 'D', 0);
  EXPECT_NE(form.mnuInterpolation->Checked(), interpolation);
  EXPECT_EQ(form.ImageView->ZoomFilter(),
            form.mnuInterpolation->Checked() ? TResampleFilter::rfFastLinear : TResampleFilter::rfNone);
  bool select = form.mnuMouseSelect->Checked();
  form.FormKeyDown(form, 'M', 0);
  EXPECT_NE(form.mnuMouseSelect->Checked(), select);
}

TEST_F(Commands, CtrlEnterSwitchesFullScreenAndEnterSwitchesPages) {
  TfmMain& form = MakeForm(L'c');
  HMENU menu = GetMenu(host_->Handle());
  ASSERT_NE(menu, nullptr);
  int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  for (int round = 0; round < 2; ++round) {
    form.FormKeyDown(form, VK_RETURN, ssCtrl);
    PumpMessages();
    EXPECT_TRUE(form.mnuFullScreen->Checked());
    EXPECT_TRUE(form.mnuFullScreen2->Checked());
    EXPECT_EQ(GetWindowLongW(host_->Handle(), GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_EQ(GetMenu(host_->Handle()), nullptr);
    EXPECT_FALSE(form.StatusBar1->Visible());
    EXPECT_EQ(form.ImageView->Background(), RGB(0, 0, 0));
    RECT r{};
    GetWindowRect(host_->Handle(), &r);
    EXPECT_EQ(r.left, -3);
    EXPECT_EQ(r.top, -3);
    EXPECT_EQ(r.right - r.left, screenW + 6);
    EXPECT_EQ(r.bottom - r.top, screenH + 6);
    EXPECT_EQ(form.OverlayText(), L"[" + form.StatusBar1->PanelText(0) + L"] - c.bmp");

    form.mnuFullScreen2Click(*form.mnuFullScreen2);  // the thumbnail menu's mirror
    PumpMessages();
    EXPECT_FALSE(form.mnuFullScreen->Checked());
    EXPECT_EQ(GetWindowLongW(host_->Handle(), GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(GetMenu(host_->Handle()), menu);
    EXPECT_TRUE(form.StatusBar1->Visible());
    EXPECT_EQ(form.ImageView->Background(), GetSysColor(COLOR_BTNFACE));
    GetWindowRect(host_->Handle(), &r);
    EXPECT_EQ(r.right - r.left, screenW + 6);  // the rectangle is kept
  }

  form.FormKeyDown(form, VK_RETURN, 0);
  EXPECT_EQ(form.Notebook->PageIndex(), 1);
  form.FormKeyDown(form, VK_RETURN, 0);
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
  form.FormKeyDown(form, VK_F3, 0);
  EXPECT_EQ(form.Notebook->PageIndex(), 1);
  form.FormKeyDown(form, VK_F3, 0);
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
}

TEST_F(Commands, FullScreenDrawsATranslucentCaptionOverTheImage) {
  TfmMain& form = MakeForm(L'c');
  TImageView& view = *form.ImageView;
  ASSERT_TRUE(view.Bitmap().Allocate(3000, 3000, pf24RGB));
  view.UpdateView();
  view.Fill(RGB(255, 255, 255));
  auto pixelAt = [&](int x, int y) {
    RedrawWindow(view.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(view.Handle());
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(view.Handle(), dc);
    return colour;
  };
  COLORREF plain = pixelAt(12, 12);
  COLORREF corner = pixelAt(8, 8);
  ASSERT_GT(GetRValue(plain), 200);
  form.mnuFullScreen->Click();
  PumpMessages();
  view.SetZoom(100);
  // About 30 percent black over the image inside the box, nothing outside it.
  COLORREF inside = pixelAt(12, 12);
  EXPECT_NEAR(GetRValue(inside), GetRValue(plain) * 0.7, 4);
  EXPECT_EQ(GetRValue(inside), GetBValue(inside));
  EXPECT_EQ(pixelAt(8, 8), corner);
  // The overlay follows the check mark alone (leaving refits the image).
  form.mnuFullScreen->Click();
  PumpMessages();
  view.SetZoom(100);
  EXPECT_EQ(pixelAt(12, 12), plain);
}

TEST_F(Commands, EmbeddedFullScreenOnlyFlipsTheCheck) {
  TfmMain& form = MakeForm(L'b', true);
  LONG style = GetWindowLongW(host_->Handle(), GWL_STYLE);
  RECT before{}, after{};
  GetWindowRect(host_->Handle(), &before);
  form.FormKeyDown(form, VK_RETURN, ssCtrl);
  PumpMessages();
  EXPECT_TRUE(form.mnuFullScreen->Checked());
  EXPECT_FALSE(form.mnuFullScreen2->Checked());
  EXPECT_EQ(GetWindowLongW(host_->Handle(), GWL_STYLE), style);
  GetWindowRect(host_->Handle(), &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  EXPECT_TRUE(form.StatusBar1->Visible());
}

// ---- Thumbnail page -----------------------------------------------------------

TEST_F(Commands, ThumbnailPageFillsOnceShortensTheSizeTextAndSelectsTheCurrentImage) {
  TfmMain& form = MakeForm(L'c');
  form.StatusBar1->SetPanelText(1, L"1024 x 768 x 24 Бит");
  form.StatusBar1->SetPanelText(2, L"12Кб");
  form.mnuThumbsClick(*form.mnuThumbs);
  TImageMView& grid = *form.ImageMView;
  EXPECT_EQ(form.Notebook->PageIndex(), 1);
  EXPECT_EQ(form.StatusBar1->PanelText(1), L"1024 x 768 ");
  EXPECT_EQ(form.StatusBar1->PanelText(2), L"");
  EXPECT_EQ(form.StatusBar1->PanelText(3), std::to_wstring(form.ThumbsVidth->Position()));
  EXPECT_TRUE(form.ThumbsVidth->Visible());
  ASSERT_EQ(grid.ImageCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(grid.ImageFileName(i), form.FolderFiles[i]);
    EXPECT_EQ(grid.ImageBottomText(i), form.FolderFiles[i].substr(folder_.size()));
  }
  EXPECT_EQ(grid.SelectedItem(), form.CurrentIndex);
  EXPECT_TRUE(grid.Focused());

  // The thumbnails arrive from the workers with the images' full sizes.
  WaitFor([&] {
    for (int i = 0; i < 5; ++i)
      if (grid.IsVisible(i) && !grid.ImageLoaded(i)) return false;
    return true;
  });
  for (int i = 0; i < 5; ++i) {
    if (!grid.IsVisible(i)) continue;
    EXPECT_TRUE(grid.ImageLoaded(i)) << i;
    EXPECT_EQ(grid.ImageOriginalHeight(i), 30) << i;
  }

  // Back and in again for the same folder (spelled in other letter case):
  // no refill, so the mark on item 0 stays.
  grid.SetImageBottomText(0, L"mark");
  form.Notebook->SetPageIndex(0);
  EXPECT_FALSE(form.ThumbsVidth->Visible());
  for (wchar_t& c : form.CurrentFile) c = static_cast<wchar_t>(towupper(c));
  form.CurrentIndex = 1;
  form.mnuThumbsClick(*form.mnuThumbs);
  EXPECT_EQ(grid.ImageBottomText(0), L"mark");
  EXPECT_EQ(grid.SelectedItem(), 1);
  // After the folder mark is cleared (a drop, a delete) the grid is refilled.
  form.Notebook->SetPageIndex(0);
  form.ThumbsFolder.clear();
  form.mnuThumbsClick(*form.mnuThumbs);
  EXPECT_NE(grid.ImageBottomText(0), L"mark");
}

TEST_F(Commands, UserSelectionDrivesTheIndexAndTheTextsButProgramSelectionDoesNot) {
  TfmMain& form = MakeForm(L'a');
  form.mnuThumbsClick(*form.mnuThumbs);
  TImageMView& grid = *form.ImageMView;
  int selects = 0;
  auto previous = grid.OnImageSelect;
  grid.OnImageSelect = [&](TImageMView& sender, int index) {
    ++selects;
    previous(sender, index);
  };
  grid.SetSelectedItem(3);
  EXPECT_EQ(selects, 0);

  // A right click selects the thumbnail under the pointer before the menu.
  // Before its thumbnail has come (results reach the grid only through
  // messages, and none has run since the page was shown) panel 1 is empty ...
  RECT cell = grid.ImageRect(2);
  POINT inside{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
  ASSERT_FALSE(grid.ImageLoaded(2));
  SendMessageW(grid.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(inside.x, inside.y));
  EXPECT_EQ(grid.SelectedItem(), 2);
  EXPECT_EQ(form.CurrentIndex, 2);
  EXPECT_EQ(form.StatusBar1->PanelText(0), L"3/5");
  EXPECT_EQ(form.StatusBar1->PanelText(1), L"");
  EXPECT_EQ(form.StatusBar1->PanelText(2), TfmMain::FormatFileSize(form.FolderFiles[2]));
  EXPECT_EQ(Caption(host_->Handle()), L"Lister - [" + form.FolderFiles[2] + L"]");
  EXPECT_EQ(selects, 1);
  // ... and once it has come, it shows the picture's full size.
  WaitFor([&] { return grid.ImageLoaded(2); });
  ASSERT_TRUE(grid.ImageLoaded(2));
  ASSERT_GT(grid.ImageOriginalWidth(2), 0);
  SendMessageW(grid.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(inside.x, inside.y));
  EXPECT_EQ(form.StatusBar1->PanelText(1),
            std::to_wstring(grid.ImageOriginalWidth(2)) + L" x " + std::to_wstring(grid.ImageOriginalHeight(2)));
  EXPECT_EQ(selects, 2);

  // Keys move the selection as user input.
  SendMessageW(grid.Handle(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(form.CurrentIndex, 3);
  EXPECT_EQ(selects, 3);

  // Enter shows the selected image on page 0.
  form.FormKeyDown(form, VK_RETURN, 0);
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
  EXPECT_EQ(form.CurrentIndex, 3);
  EXPECT_EQ(form.CurrentFile, form.FolderFiles[3]);

  // A double click on a thumbnail shows that one.
  form.mnuThumbsClick(*form.mnuThumbs);
  cell = grid.ImageRect(1);
  LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
  SendMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(grid.Handle(), WM_LBUTTONUP, 0, at);
  SendMessageW(grid.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(grid.Handle(), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
  EXPECT_EQ(form.CurrentFile, form.FolderFiles[1]);
}

TEST_F(Commands, ReloadingAThumbnailLoadsItAgain) {
  TfmMain& form = MakeForm(L'a');
  form.mnuThumbsClick(*form.mnuThumbs);
  TImageMView& grid = *form.ImageMView;
  form.CurrentIndex = 0;
  WaitFor([&] { return grid.ImageLoaded(0); });
  ASSERT_TRUE(grid.ImageLoaded(0));
  int width = grid.ImageOriginalWidth(0);
  WriteBmp(form.FolderFiles[0], 64, 30);
  form.FormKeyDown(form, 'R', ssCtrl);
  EXPECT_FALSE(grid.ImageLoaded(0));
  WaitFor([&] { return grid.ImageLoaded(0); });
  EXPECT_EQ(grid.ImageOriginalWidth(0), 64);
  EXPECT_NE(width, 64);
}

TEST_F(Commands, GridLoadsAroundTheViewDropsFarThumbnailsAndScrollsByDragging) {
  for (int i = 0; i < 60; ++i) WriteBmp(folder_ + L"m" + std::to_wstring(100 + i) + L".bmp", 20, 10 + i);
  TfmMain& form = MakeForm(L'a');
  TImageMView& grid = *form.ImageMView;
  grid.LookAhead = 4;
  form.mnuThumbsClick(*form.mnuThumbs);
  ASSERT_EQ(grid.ImageCount(), 65);
  int lastVisible = 0;
  while (grid.IsVisible(lastVisible + 1)) ++lastVisible;
  ASSERT_LT(lastVisible + 4, 40) << "the test wants a view well above the end of the grid";

  // The visible items and LookAhead more load; the rest wait.
  WaitFor([&] { return grid.ImageLoaded(lastVisible + 4); });
  for (int i = 0; i <= lastVisible + 4; ++i) EXPECT_TRUE(grid.ImageLoaded(i)) << i;
  PumpMessages(200);
  EXPECT_FALSE(grid.ImageLoaded(lastVisible + 5));
  int heightOfFirst = grid.ImageOriginalHeight(0);
  EXPECT_GT(heightOfFirst, 0);

  // Dragging with the left button scrolls; the selection follows the click.
  RECT cell = grid.ImageRect(1);
  int x = (cell.left + cell.right) / 2, y = cell.bottom - 2;
  int distance = y - 5;
  SendMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  EXPECT_EQ(grid.SelectedItem(), 1);
  SendMessageW(grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y - distance));
  SendMessageW(grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y - distance));
  EXPECT_EQ(grid.ViewY(), std::min(distance, grid.MaxViewY()));
  SendMessageW(grid.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, 0));
  EXPECT_EQ(grid.ViewY(), std::min(distance, grid.MaxViewY())) << "no dragging after the button is up";

  // At the end of the grid the thumbnails far above are dropped again; the
  // full sizes read from the files stay.
  SendMessageW(grid.Handle(), WM_KEYDOWN, VK_END, 0);
  WaitFor([&] { return grid.ImageLoaded(64); });
  EXPECT_TRUE(grid.ImageLoaded(64));
  PumpMessages(100);
  EXPECT_FALSE(grid.ImageLoaded(0));
  EXPECT_EQ(grid.ImageOriginalHeight(0), heightOfFirst);
}

}  // namespace
}  // namespace lumora::test
