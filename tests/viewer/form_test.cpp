// TfmMain built inside a stand-in Lister window: its components and menus
// as the form resource gives them, its settings, the resize rule, the zoom
// panel and the painting of the status panels and menu items.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/application.h"
#include "shell/messages.h"
#include "test_host.h"
#include "viewer/main_form.h"

namespace lumora::test {
namespace {

int AnswerOk(const TMessageBoxRequest&) { return IDOK; }

class ViewerForm : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxInterceptor(&AnswerOk);
    DeleteSettings();
    host_ = std::make_unique<TTestHost>();
  }
  void TearDown() override {
    form_.reset();
    host_.reset();
    SetMessageBoxInterceptor(previous_);
    DeleteSettings();
  }
  TfmMain& MakeForm() {
    // A file that exists (a missing one makes the viewer ask to be closed)
    // but holds no image: the form starts empty, its message box answered.
    form_ = std::make_unique<TfmMain>(host_->Handle(),
                                      WindowsPath(std::string(LUMORA_TEST_DATA_DIR) + "/make_sample.py"));
    form_->Show();
    PumpMessages();
    return *form_;
  }

  MessageBoxInterceptor previous_ = nullptr;
  std::unique_ptr<TTestHost> host_;
  std::unique_ptr<TfmMain> form_;
};

RECT Bounds(const TControl& control) { return control.BoundsRect(); }
bool SameRect(const RECT& r, int left, int top, int width, int height) {
  return r.left == left && r.top == top && r.right - r.left == width && r.bottom - r.top == height;
}

TEST_F(ViewerForm, LayoutAndSettingsOfTheResource) {
  TfmMain& form = MakeForm();
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(form.Handle(), GWL_STYLE)) & ~WS_VISIBLE, WS_CHILD | WS_MAXIMIZE);
  EXPECT_EQ(GetParent(form.Handle()), host_->Handle());
  EXPECT_TRUE(SameRect(Bounds(form), 0, 0, 800, 600));
  LOGFONTW font{};
  GetObjectW(form.Font(), sizeof(font), &font);
  EXPECT_EQ(font.lfHeight, -11);
  EXPECT_STREQ(font.lfFaceName, L"Tahoma");
  EXPECT_TRUE(form.KeyPreview());
  EXPECT_TRUE(form.Opaque() && form.ImageView->Opaque() && form.Gauge->Opaque() && form.DoubleBuffered());

  TStatusBar& bar = *form.StatusBar1;
  EXPECT_TRUE(SameRect(Bounds(bar), 0, 581, 800, 19));
  ASSERT_EQ(bar.PanelCount(), 6);
  const int widths[] = {70, 160, 71, 61, 160, 300};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(bar.Panel(i).Width, widths[i]);
    EXPECT_TRUE(bar.Panel(i).OwnerDraw);
    EXPECT_EQ(bar.Panel(i).Alignment, i < 5 ? TAlignment::taCenter : TAlignment::taLeftJustify);
  }

  ASSERT_EQ(form.Notebook->PageCount(), 2);
  EXPECT_EQ(form.Notebook->Page(0).Name(), L"One");
  EXPECT_EQ(form.Notebook->Page(1).Name(), L"Two");
  EXPECT_EQ(form.Notebook->PageIndex(), 0);
  EXPECT_TRUE(SameRect(Bounds(*form.Notebook), 0, 0, 800, 581));
  EXPECT_EQ(form.ImageView->Parent(), &form.Notebook->Page(0));
  EXPECT_TRUE(SameRect(Bounds(*form.ImageView), 0, 0, 800, 581));
  EXPECT_EQ(form.ImageMView->Parent(), &form.Notebook->Page(1));
  EXPECT_TRUE(form.ImageView->EnableInteractionHints);
  EXPECT_EQ(form.ImageView->PopupMenu(), form.ppView.get());
  EXPECT_EQ(form.ImageMView->PopupMenu(), form.ppThumbs.get());
  EXPECT_EQ(form.ImageMView->ThumbnailsBorderColor, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(form.ImageMView->ThreadPoolSize(), 10);
  EXPECT_TRUE(form.ImageView->IO().Params.JpegAutoOrientation);

  // Gauge and slider over panel 4, hidden until a load or page 1.
  EXPECT_EQ(form.Gauge->Parent(), &bar);
  EXPECT_TRUE(SameRect(Bounds(*form.Gauge), 365, 3, 156, 16));
  EXPECT_FALSE(form.Gauge->Visible());
  EXPECT_EQ(form.Gauge->ColorBorder(), RGB(160, 150, 131));
  form.Gauge->SetProgress(42);
  EXPECT_EQ(form.Gauge->Caption(), L"Загружено 42 %");
  EXPECT_EQ(form.ThumbsVidth->Parent(), &bar);
  EXPECT_TRUE(SameRect(Bounds(*form.ThumbsVidth), 365, 3, 156, 15));
  EXPECT_FALSE(form.ThumbsVidth->Visible());
  EXPECT_EQ(form.ThumbsVidth->Min(), 128);
  EXPECT_EQ(form.ThumbsVidth->Max(), 256);
  EXPECT_EQ(form.ThumbsVidth->Position(), 160);
  EXPECT_EQ(form.ThumbsVidth->Hint(), L"Размер эскизов");

  EXPECT_EQ(form.ImageList->Count(), 14);
  EXPECT_EQ(form.ImageList->Width(), 16);
  EXPECT_EQ(form.ImageList->Height(), 16);
  EXPECT_NE(Screen().Cursors(crHand), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(Screen().Cursors(crHand), LoadCursorW(ThisModule(), L"MANO"));
  EXPECT_TRUE(form.KeyboardHook().Installed());
}

struct TItemSpec {
  const wchar_t* name;
  const wchar_t* caption;
  int image;
  const wchar_t* shortCut;
  bool autoCheck;
};

void ExpectMenu(const TPopupMenu& menu, const std::vector<TItemSpec>& spec) {
  ASSERT_EQ(menu.Count(), static_cast<int>(spec.size())) << Narrow(menu.Name());
  for (size_t i = 0; i < spec.size(); ++i) {
    const TMenuItem& item = menu.Items(static_cast<int>(i));
    SCOPED_TRACE(Narrow(spec[i].name));
    EXPECT_EQ(item.Name(), spec[i].name);
    EXPECT_EQ(item.Caption(), spec[i].caption);
    EXPECT_EQ(item.ImageIndex(), spec[i].image);
    EXPECT_EQ(item.ShortCutText(), spec[i].shortCut);
    EXPECT_EQ(item.AutoCheck(), spec[i].autoCheck);
    EXPECT_TRUE(item.OnMeasureItem && item.OnAdvancedDrawItem);  // AttachMenuPainters reached every item
  }
}

TEST_F(ViewerForm, MenusHoldEveryItemAsListed) {
  TfmMain& form = MakeForm();
  ExpectMenu(*form.ppView, {
      {L"mnuCopy", L"Копировать", 0, L"Ctrl+C", false},
      {L"mnuSaveSel", L"Сохранить как...", 4, L"Ctrl+S", false},
      {L"mnuCopyAll", L"Копировать", 0, L"Ctrl+C", false},
      {L"mnuSave", L"Сохранить как...", 1, L"Ctrl+S", false},
      {L"N13", L"-", -1, L"", false},
      {L"N7", L"Печать...", 6, L"", false},
      {L"N1", L"-", -1, L"", false},
      {L"mnu100percent", L"Масштаб 100%", 13, L"", false},
      {L"mnuFit", L"Масштаб по размерам окна", -1, L"", false},
      {L"N2", L"-", -1, L"", false},
      {L"mnuInterpolation", L"Интерполяция", -1, L"D", true},
      {L"mnuMouseSelect", L"Выделение мышью", -1, L"M", true},
      {L"N10", L"-", -1, L"", false},
      {L"mnuThumbs", L"Эскизы", 11, L"Enter", false},
      {L"mnuFullScreen", L"Во весь экран", -1, L"", true},
      {L"N16", L"-", -1, L"", false},
      {L"N15", L"Открыть с помощью...", -1, L"F4", false},
      {L"N3", L"-", -1, L"", false},
      {L"N8", L"Удалить...", 12, L"Del", false},
      {L"N5", L"Обновить", 5, L"Ctrl+R", false},
      {L"N6", L"-", -1, L"", false},
      {L"N4", L"Настройки изображения...", 9, L"", false},
  });
  ExpectMenu(*form.ppThumbs, {
      {L"mnuView", L"Просмотр", 10, L"Enter", false},
      {L"N14", L"-", -1, L"", false},
      {L"N9", L"Удалить файл", 12, L"Del", false},
      {L"mnuReloadThum", L"Обновить эскиз", 5, L"Ctrl+R", false},
      {L"N18", L"-", -1, L"", false},
      {L"N17", L"Открыть с помощью...", 13, L"F4", false},
      {L"N11", L"-", -1, L"", false},
      {L"mnuFullScreen2", L"Во весь экран", -1, L"", false},
      {L"N12", L"-", -1, L"", false},
      {L"mnuFileProperties", L"Свойства...", 9, L"", false},
  });
  EXPECT_EQ(form.ppView->Images(), form.ImageList.get());
  EXPECT_EQ(form.ppThumbs->Images(), form.ImageList.get());
}

TEST_F(ViewerForm, CheckItemsFlipBeforeTheirHandlersRun) {
  TfmMain& form = MakeForm();
  ASSERT_FALSE(form.mnuInterpolation->Checked());
  EXPECT_EQ(form.ImageView->ZoomFilter(), TResampleFilter::rfNone);
  form.mnuInterpolation->Click();
  EXPECT_TRUE(form.mnuInterpolation->Checked());
  EXPECT_EQ(form.ImageView->ZoomFilter(), TResampleFilter::rfFastLinear);
  form.mnuInterpolation->Click();
  EXPECT_EQ(form.ImageView->ZoomFilter(), TResampleFilter::rfNone);

  form.mnuMouseSelect->Click();
  EXPECT_TRUE(form.mnuMouseSelect->Checked());
  EXPECT_EQ(form.ImageView->MouseInteract(), miSelect);
  EXPECT_EQ(form.ImageView->Cursor(), crDefault);

  // The thumbnail menu's item clicks the page-0 item, which flips.
  form.mnuFullScreen2->Click();
  EXPECT_TRUE(form.mnuFullScreen->Checked());
  EXPECT_FALSE(form.mnuFullScreen2->AutoCheck());
}

TEST_F(ViewerForm, SettingsComeFromTheRegistry) {
  struct Case {
    const wchar_t* name;
    const wchar_t* value;
  };
  {
    for (Case c : {Case{L"ThumbsSize", L"1000"}, Case{L"Interpolation", L"2"}, Case{L"MouseSelect", L"1"},
                   Case{L"ThreadsCount", L"3"}}) {
      WriteSetting(c.name, c.value);
    }
    TfmMain& form = MakeForm();
    EXPECT_EQ(form.ThumbsVidth->Position(), 256);
    EXPECT_TRUE(form.mnuInterpolation->Checked());
    EXPECT_EQ(form.ImageView->ZoomFilter(), TResampleFilter::rfFastLinear);
    EXPECT_TRUE(form.mnuMouseSelect->Checked());
    EXPECT_EQ(form.ImageView->MouseInteract(), miSelect);
    EXPECT_EQ(form.ImageMView->ThreadPoolSize(), 3);
    form.ThumbsVidth->SetPosition(200);
    form_.reset();
  }
  EXPECT_EQ(ReadSetting(L"ThumbsSize"), L"200");
  EXPECT_EQ(ReadSetting(L"Interpolation"), L"1");
  EXPECT_EQ(ReadSetting(L"MouseSelect"), L"1");
  EXPECT_EQ(ReadSetting(L"ThreadsCount"), L"3");

  DeleteSettings();
  WriteSetting(L"ThumbsSize", L"abc");
  WriteSetting(L"MouseSelect", L"yes");
  TfmMain& form = MakeForm();
  EXPECT_EQ(form.ThumbsVidth->Position(), 160);
  EXPECT_FALSE(form.mnuMouseSelect->Checked());
}

TEST_F(ViewerForm, ResizeRuleRunsOnceUntilTheTagIsCleared) {
  TfmMain& form = MakeForm();
  EXPECT_EQ(form.ImageView->Tag(), 1);  // the first resize ran at construction

  // A small image in the 800 x 581 view is shown at 100 percent ...
  ASSERT_TRUE(form.ImageView->Bitmap().Allocate(200, 100, pf24RGB));
  form.ImageView->SetZoom(50);
  form.ImageView->SetTag(0);
  form.Resize();
  EXPECT_DOUBLE_EQ(form.ImageView->Zoom(), 100);
  EXPECT_EQ(form.ImageView->Tag(), 1);

  // ... a large one is fitted ...
  ASSERT_TRUE(form.ImageView->Bitmap().Allocate(4000, 3000, pf1g));
  form.ImageView->SetTag(0);
  form.Resize();
  EXPECT_NEAR(form.ImageView->Zoom(), 100.0 * 581 / 3000, 1e-9);

  // ... and later resizes of the Lister window keep the zoom.
  double zoom = form.ImageView->Zoom();
  SetWindowPos(host_->Handle(), nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpMessages();
  EXPECT_LT(form.ImageView->Width(), 800);
  EXPECT_DOUBLE_EQ(form.ImageView->Zoom(), zoom);
}

TEST_F(ViewerForm, ZoomPanelAndMouseModeFollowTheView) {
  TfmMain& form = MakeForm();
  EXPECT_EQ(form.StatusBar1->PanelText(3), L"100%");
  ASSERT_TRUE(form.ImageView->Bitmap().Allocate(200, 100, pf24RGB));
  struct Case {
    double zoom;
    const wchar_t* text;
  };
  for (Case c : {Case{33.5, L"34%"}, Case{32.5, L"32%"}, Case{100, L"100%"}}) {
    form.ImageView->SetZoom(c.zoom);
    form.UpdateZoomPanel(0);
    EXPECT_EQ(form.StatusBar1->PanelText(3), c.text);
  }
  // The whole image visible: the mouse selects, the arrow shows.
  EXPECT_EQ(form.ImageView->MouseInteract(), miSelect);
  EXPECT_EQ(form.ImageView->Cursor(), crDefault);
  form.ImageView->Select(RECT{10, 10, 50, 50});
  // Larger than the view: dragging with the hand, selection gone.
  form.ImageView->SetZoom(1000);
  form.UpdateZoomPanel(0);
  EXPECT_EQ(form.ImageView->MouseInteract(), miScroll);
  EXPECT_EQ(form.ImageView->Cursor(), crHand);
  EXPECT_FALSE(form.ImageView->HasSelection());
  // "Mouse select" keeps selecting at every zoom.
  form.mnuMouseSelect->Click();
  EXPECT_EQ(form.ImageView->MouseInteract(), miSelect);
  EXPECT_EQ(form.ImageView->Cursor(), crDefault);
}

TEST_F(ViewerForm, PopupOffersOneCopyAndOneSaveItem) {
  TfmMain& form = MakeForm();
  ASSERT_TRUE(form.ImageView->Bitmap().Allocate(200, 100, pf24RGB));
  for (bool selection : {false, true}) {
    if (selection) form.ImageView->Select(RECT{0, 0, 20, 20});
    form.ppViewPopup(*form.ppView);
    EXPECT_EQ(form.mnuCopy->Visible(), selection);
    EXPECT_EQ(form.mnuSaveSel->Visible(), selection);
    EXPECT_EQ(form.mnuCopyAll->Visible(), !selection);
    EXPECT_EQ(form.mnuSave->Visible(), !selection);
  }
}

TEST_F(ViewerForm, KeyPreviewSeesTheKeysOfItsControls) {
  TfmMain& form = MakeForm();
  std::vector<WORD> keys;
  form.OnKeyDown = [&](TControl& sender, WORD key, TShiftState) {
    EXPECT_EQ(&sender, &form);
    keys.push_back(key);
  };
  SendMessageW(form.ImageView->Handle(), WM_KEYDOWN, 'D', 0);
  SendMessageW(form.ImageMView->Handle(), WM_KEYDOWN, VK_F3, 0);
  EXPECT_EQ(keys, (std::vector<WORD>{'D', VK_F3}));
}

TEST_F(ViewerForm, StatusPanelsAreDrawnSunkenWithTheirText) {
  TfmMain& form = MakeForm();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 30);
  ReleaseDC(nullptr, screen);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  RECT all{0, 0, 200, 30};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectObject(dc, form.Font());
  form.StatusBar1->SetPanelText(3, L"100%");
  RECT panel{10, 3, 71, 18};
  form.StatusBar1DrawPanel(*form.StatusBar1, 3, dc, panel);
  // One ring: shadow along the top and left, highlight along the bottom
  // (one pixel lower than the rectangle) and the right.
  EXPECT_EQ(GetPixel(dc, 10, 3), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, 40, 3), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, 10, 12), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, 70, 12), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(GetPixel(dc, 40, 18), GetSysColor(COLOR_BTNHIGHLIGHT));
  int inked = 0;
  for (int y = 5; y < 17; ++y) {
    for (int x = 12; x < 69; ++x) inked += GetPixel(dc, x, y) != RGB(255, 255, 255) ? 1 : 0;
  }
  EXPECT_GT(inked, 10) << "no text drawn";
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// The popup opens owner-drawn: every visible item is measured and painted
// through the form's painters.
int g_timerRuns = 0;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  ++g_timerRuns;
  KillTimer(nullptr, timer);
  EndMenu();
}

TEST_F(ViewerForm, PopupMenuIsMeasuredAndPaintedByTheForm) {
  TfmMain& form = MakeForm();
  int measured = 0;
  int drawn = 0;
  for (int i = 0; i < form.ppView->Count(); ++i) {
    TMenuItem& item = form.ppView->Items(i);
    auto measure = item.OnMeasureItem;
    auto draw = item.OnAdvancedDrawItem;
    item.OnMeasureItem = [&, measure](TMenuItem& sender, HDC dc, int& width, int& height) {
      ++measured;
      measure(sender, dc, width, height);
      EXPECT_GT(width, 78);
    };
    item.OnAdvancedDrawItem = [&, draw](TMenuItem& sender, HDC dc, const RECT& rect, UINT state) {
      ++drawn;
      draw(sender, dc, rect, state);
    };
  }
  SetForegroundWindow(host_->Handle());
  g_timerRuns = 0;
  SetTimer(nullptr, 0, 500, CloseMenu);
  POINT at{100, 100};
  ClientToScreen(form.ImageView->Handle(), &at);
  SendMessageW(form.ImageView->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form.ImageView->Handle()),
               MAKELPARAM(at.x, at.y));
  EXPECT_EQ(g_timerRuns, 1);
  EXPECT_EQ(measured, static_cast<int>(form.ppView->VisibleItems().size()));
  EXPECT_EQ(form.ppView->VisibleItems().size(), 20u);  // one copy and one save item
  EXPECT_GT(drawn, 0);
}

}  // namespace
}  // namespace lumora::test
