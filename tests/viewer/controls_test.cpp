// The controls layer on its own: window binding, menus, notebook, slider,
// status bar messages, settings parsing and the image view's geometry.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "controls/flat_gauge.h"
#include "controls/form.h"
#include "controls/gauge_bar.h"
#include "controls/image_view.h"
#include "controls/notebook.h"
#include "controls/popup_menu.h"
#include "controls/reg_ini_file.h"
#include "controls/status_bar.h"
#include "test_form.h"
#include "test_host.h"

namespace lumora::test {
namespace {

class Controls : public ::testing::Test {
 protected:
  TTestHost host_{nullptr, 400, 300};
  TTestForm form_{host_.Handle()};
};

TEST(ParseDecimalInteger, AcceptsWholeDecimalNumbersOnly) {
  struct Case {
    const wchar_t* text;
    std::optional<int> value;
  };
  const Case cases[] = {
      {L"160", 160},   {L"-5", -5},          {L"+7", 7},
      {L" 42 ", 42},   {L"abc", std::nullopt}, {L"12abc", std::nullopt},
      {L"", std::nullopt}, {L"-", std::nullopt}, {L"0x10", std::nullopt},
      {L"2147483647", INT_MAX}, {L"-2147483648", INT_MIN}, {L"2147483648", std::nullopt},
      {L"99999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDecimalInteger(c.text), c.value) << Narrow(c.text);
}

TEST(ShortCutText, NamesKeysAsMenusShowThem) {
  EXPECT_EQ(ShortCutToText({'C', ssCtrl}), L"Ctrl+C");
  EXPECT_EQ(ShortCutToText({VK_RETURN, 0}), L"Enter");
  EXPECT_EQ(ShortCutToText({VK_DELETE, 0}), L"Del");
  EXPECT_EQ(ShortCutToText({VK_F4, 0}), L"F4");
  EXPECT_EQ(ShortCutToText({'D', 0}), L"D");
  EXPECT_EQ(ShortCutToText({}), L"");
}

TEST(MenuItem, AutoCheckFlipsBeforeTheHandlerAlsoWhenClickedByCode) {
  TPopupMenu menu(L"menu");
  TMenuItem& check = menu.Add(L"check", L"Check", -1, {}, true);
  TMenuItem& plain = menu.Add(L"plain", L"Plain");
  std::vector<bool> seen;
  check.OnClick = [&](TMenuItem& sender) { seen.push_back(sender.Checked()); };
  plain.OnClick = [&](TMenuItem& sender) { seen.push_back(sender.Checked()); };
  check.Click();
  check.Click();
  plain.Click();
  EXPECT_EQ(seen, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(menu.Find(L"plain"), &plain);
  plain.SetVisible(false);
  EXPECT_EQ(menu.VisibleItems(), (std::vector<TMenuItem*>{&check}));
}

TEST_F(Controls, WindowUserDataStaysFreeAndDestructionWorksBothWays) {
  auto gauge = std::make_unique<TFlatGauge>(TFlatGauge::CreateArgs{&form_});
  HWND window = gauge->Handle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 0);  // left to whoever embeds the window
  // Freeing the object destroys its window ...
  gauge.reset();
  EXPECT_FALSE(IsWindow(window));
  // ... and a window destroyed from outside leaves a harmless object.
  gauge = std::make_unique<TFlatGauge>(TFlatGauge::CreateArgs{&form_});
  DestroyWindow(gauge->Handle());
  EXPECT_EQ(gauge->Handle(), nullptr);
  gauge->SetProgress(50);
  gauge->Invalidate();
}

TEST_F(Controls, NotebookReportsOnlyRealPageChanges) {
  TNotebook notebook(TNotebook::CreateArgs{&form_, {L"One", L"Two"}});
  int changes = 0;
  notebook.OnPageChanged = [&](TNotebook&) { ++changes; };
  notebook.SetPageIndex(0);
  notebook.SetPageIndex(5);
  notebook.SetPageIndex(-1);
  EXPECT_EQ(changes, 0);
  notebook.SetPageIndex(1);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(notebook.Page(0).Visible());
  EXPECT_TRUE(notebook.Page(1).Visible());
}

TEST_F(Controls, GaugeBarKeepsItsRangeAndReportsChanges) {
  TGaugeBar::CreateArgs args;
  args.parent = &form_;
  args.min = 128;
  args.max = 256;
  args.position = 160;
  TGaugeBar bar(args);
  std::vector<int> reported;
  bar.OnChange = [&](TGaugeBar& sender) { reported.push_back(sender.Position()); };
  bar.SetPosition(160);
  bar.SetPosition(1000);
  bar.SetPosition(1000);
  bar.SetPosition(-3);
  EXPECT_EQ(reported, (std::vector<int>{256, 128}));
  // A click on the increment button steps by one.
  RECT button = bar.IncrementButton();
  SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button.left + 2, button.top + 2));
  SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(button.left + 2, button.top + 2));
  EXPECT_EQ(bar.Position(), 129);
}

TEST_F(Controls, StatusBarTextsAreReadAndWrittenByMessage) {
  TStatusBar bar(TStatusBar::CreateArgs{&form_, 19});
  bar.AddPanel(50, TAlignment::taCenter, true);
  bar.AddPanel(80, TAlignment::taLeftJustify, false);
  SendMessageW(bar.Handle(), SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"Загрузка"));
  EXPECT_EQ(bar.PanelText(1), L"Загрузка");
  int edge = 0;
  EXPECT_EQ(SendMessageW(bar.Handle(), SB_GETPARTS, 1, reinterpret_cast<LPARAM>(&edge)), 2);
  EXPECT_EQ(edge, 50);
  EXPECT_EQ(LOWORD(SendMessageW(bar.Handle(), SB_GETTEXTLENGTHW, 1, 0)), 8);
  bar.SetPanelText(7, L"ignored");
  RECT part{};
  ASSERT_TRUE(SendMessageW(bar.Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part)));
  EXPECT_EQ(part.left, 52);
  EXPECT_EQ(part.right, bar.Width());
}

class View : public Controls {
 protected:
  void SetUp() override {
    view_ = std::make_unique<TImageView>(TImageView::CreateArgs{&form_});
    view_->SetBounds(0, 0, 200, 100);
    PumpMessages(10);
  }
  std::unique_ptr<TImageView> view_;
};

TEST_F(View, ZoomAndScrollStayValid) {
  ASSERT_TRUE(view_->Bitmap().Allocate(400, 300, pf24RGB));
  view_->UpdateView();
  view_->SetZoom(0);
  view_->SetZoom(-5);
  EXPECT_DOUBLE_EQ(view_->Zoom(), 100);
  view_->SetZoomX(200);
  EXPECT_DOUBLE_EQ(view_->ZoomX(), 200);
  EXPECT_DOUBLE_EQ(view_->ZoomY(), 100);
  EXPECT_EQ(view_->ExtentX(), 800);
  view_->SetViewXY(100000, -50);
  EXPECT_EQ(view_->ViewX(), view_->MaxViewX());
  EXPECT_EQ(view_->ViewY(), 0);
  EXPECT_GT(view_->MaxViewX(), 0);

  view_->Fit();
  EXPECT_DOUBLE_EQ(view_->Zoom(), 100.0 * 100 / 300);
  EXPECT_EQ(view_->MaxViewX(), 0);
  EXPECT_EQ(view_->MaxViewY(), 0);
}

TEST_F(View, AutoShrinkFitsOnlyWhatIsTooLarge) {
  view_->SetAutoShrink(true);
  ASSERT_TRUE(view_->Bitmap().Allocate(400, 300, pf24RGB));
  view_->UpdateView();
  EXPECT_DOUBLE_EQ(view_->Zoom(), view_->FitZoom());
  ASSERT_TRUE(view_->Bitmap().Allocate(20, 10, pf24RGB));
  view_->UpdateView();
  EXPECT_DOUBLE_EQ(view_->Zoom(), 100);
  view_->SetAutoShrink(false);
  view_->SetZoom(300);
  view_->UpdateView();
  EXPECT_DOUBLE_EQ(view_->Zoom(), 300);
}

TEST_F(View, ZoomEventsComeOnlyFromTheViewItself) {
  ASSERT_TRUE(view_->Bitmap().Allocate(400, 300, pf24RGB));
  view_->UpdateView();
  std::vector<double> in;
  std::vector<double> out;
  view_->OnZoomIn = [&](TImageView&, double zoom) { in.push_back(zoom); };
  view_->OnZoomOut = [&](TImageView&, double zoom) { out.push_back(zoom); };
  view_->SetZoom(150);
  view_->Fit();
  EXPECT_TRUE(in.empty() && out.empty());
  POINT middle{100, 50};
  ClientToScreen(view_->Handle(), &middle);
  SendMessageW(view_->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(middle.x, middle.y));
  ASSERT_EQ(in.size(), 1u);
  EXPECT_DOUBLE_EQ(in[0], view_->Zoom());
  SendMessageW(view_->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(middle.x, middle.y));
  EXPECT_EQ(out.size(), 1u);
}

TEST_F(View, SelectionIsClippedToTheImageAndDrawnByDragging) {
  ASSERT_TRUE(view_->Bitmap().Allocate(100, 50, pf24RGB));
  view_->UpdateView();
  view_->Select(RECT{-10, -10, 30, 500});
  ASSERT_TRUE(view_->HasSelection());
  RECT r = view_->SelectionRect();
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.bottom, 50);
  view_->Select(RECT{120, 0, 130, 10});  // outside the image
  EXPECT_FALSE(view_->HasSelection());

  // Dragging in select mode draws a selection in image coordinates (the
  // 100 x 50 image is centred in the 200 x 100 view).
  view_->SetMouseInteract(miSelect);
  SendMessageW(view_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 30));
  SendMessageW(view_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(90, 50));
  SendMessageW(view_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(90, 50));
  ASSERT_TRUE(view_->HasSelection());
  r = view_->SelectionRect();
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.right, 40);
  EXPECT_EQ(r.bottom, 25);
}

TEST_F(View, DraggingInScrollModeMovesTheImageWithThePointer) {
  ASSERT_TRUE(view_->Bitmap().Allocate(1000, 800, pf24RGB));
  view_->UpdateView();
  view_->SetMouseInteract(miScroll);
  view_->SetViewXY(100, 100);
  SendMessageW(view_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 80));
  SendMessageW(view_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 90));
  EXPECT_EQ(view_->ViewX(), 130);
  EXPECT_EQ(view_->ViewY(), 90);
  SendMessageW(view_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(199, 99));
  EXPECT_EQ(view_->ViewX(), 51);
  EXPECT_EQ(view_->ViewY(), 81);
  SendMessageW(view_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(199, 99));
  // The button is up: moving no longer scrolls, and nothing was selected.
  SendMessageW(view_->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
  EXPECT_EQ(view_->ViewX(), 51);
  EXPECT_FALSE(view_->HasSelection());
}

TEST_F(View, LoadsThroughItsOwnIOAndPaintsTheImage) {
  std::vector<int> progress;
  int finished = 0;
  view_->OnProgress = [&](TImageView&, int percent) { progress.push_back(percent); };
  view_->OnFinishWork = [&](TImageView&) { ++finished; };
  view_->SetBackground(RGB(10, 20, 30));
  view_->SetAutoShrink(true);
  view_->IO().LoadImage(std::filesystem::path(WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/sample.bmp")));
  ASSERT_FALSE(view_->IO().Aborting);
  EXPECT_EQ(view_->Bitmap().Width(), 320);
  EXPECT_EQ(finished, 1);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  // 320 x 240 shrunk into 200 x 100, centred.
  EXPECT_NEAR(view_->Zoom(), 100.0 * 100 / 240, 1e-9);
  RECT image = view_->ImageRect();
  EXPECT_EQ(image.top, 0);
  EXPECT_GT(image.left, 0);

  view_->Repaint();
  HDC dc = GetDC(view_->Handle());
  // The sample's top-left bar is white; the sides show the background.
  EXPECT_EQ(GetPixel(dc, image.left + 2, 2), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 2, 50), RGB(10, 20, 30));
  ReleaseDC(view_->Handle(), dc);
}

}  // namespace
}  // namespace lumora::test
