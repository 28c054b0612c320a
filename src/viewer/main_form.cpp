// TfmMain: construction, components, settings, resize rule and teardown.
#include "viewer/main_form.h"

#include "controls/application.h"
#include "controls/reg_ini_file.h"

namespace lumora {

namespace {

// Panel widths of the status bar; panels 0 to 4 are centred, 5 left-aligned.
constexpr int kPanelWidths[] = {70, 160, 71, 61, 160, 300};
constexpr int kStatusBarHeight = 19;
constexpr COLORREF kGaugeBorder = RGB(160, 150, 131);
constexpr COLORREF kIconTransparent = RGB(255, 0, 255);

}  // namespace

TfmMain::TfmMain(HWND listerWindow, const std::wstring& fileName) {
  HostWindow = listerWindow;
  HostIsChild = GetParent(listerWindow) != nullptr;
  CurrentFile = fileName;
  // A child window has no menu: GetMenu would answer its control id.
  HostMenu = HostIsChild ? nullptr : GetMenu(listerWindow);
  CreateForm(listerWindow, L"TfmMain");
  CreateComponents();
  OnKeyDown = [this](TControl& sender, WORD key, TShiftState shift) { FormKeyDown(sender, key, shift); };
  OnResize = [this](TControl& sender) { FormResize(sender); };
  try {
    FormCreate();
  } catch (...) {
    // Reported like an exception of any event handler; the form stays.
    Application().HandleCurrentException();
  }
  ConstructionDone();
  // The first resize, now that the first image is in place.
  Resize();
}

TfmMain::~TfmMain() {
  try {
    Teardown();
  } catch (...) {
    // Nothing may leave a destructor.
  }
  // Also after a teardown that failed half-way: the window goes with the form.
  DestroyFormWindow();
}

void TfmMain::Teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  FormDestroy();
  DestroyFormWindow();
}

void TfmMain::CancelLoad() {
  ImageView->IO().Aborting = true;
  ImageMView->StopWorkers();
}

void TfmMain::CreateParams(TCreateParams& params) {
  // A frameless child that fills its parent's client area.
  params.style = WS_CHILD | WS_MAXIMIZE;
}

// What the form resource holds: components, their settings and events.
void TfmMain::CreateComponents() {
  SetFormFont(L"Tahoma", -11);
  SetColor(GetSysColor(COLOR_BTNFACE));
  SetKeyPreview(true);

  StatusBar1 = std::make_unique<TStatusBar>(TStatusBar::CreateArgs{this, kStatusBarHeight});
  for (size_t i = 0; i < std::size(kPanelWidths); ++i) {
    StatusBar1->AddPanel(kPanelWidths[i], i < 5 ? TAlignment::taCenter : TAlignment::taLeftJustify, true);
  }
  StatusBar1->OnDrawPanel = [this](TStatusBar& sender, int panel, HDC dc, const RECT& rect) {
    StatusBar1DrawPanel(sender, panel, dc, rect);
  };

  Notebook = std::make_unique<TNotebook>(TNotebook::CreateArgs{this, {L"One", L"Two"}});
  Notebook->SetAlign(TAlign::alClient);
  Notebook->OnPageChanged = [this](TNotebook& sender) { NotebookPageChanged(sender); };

  ImageView = std::make_unique<TImageView>(TImageView::CreateArgs{&Notebook->Page(0)});
  ImageView->SetAlign(TAlign::alClient);
  ImageView->SetMouseInteract(miScroll);
  ImageView->EnableInteractionHints = true;
  ImageView->OnZoomIn = [this](TImageView& sender, double zoom) { ImageViewZoomIn(sender, zoom); };
  ImageView->OnZoomOut = [this](TImageView& sender, double zoom) { ImageViewZoomIn(sender, zoom); };
  ImageView->OnProgress = [this](TImageView& sender, int percent) { ImageViewProgress(sender, percent); };
  ImageView->OnFinishWork = [this](TImageView& sender) { ImageViewFinishWork(sender); };
  ImageView->OnDrawCanvas = [this](TImageView& sender, HDC dc, const RECT& rect) {
    ImageViewDrawCanvas(sender, dc, rect);
  };
  ImageView->OnDblClick = [this](TImageView& sender) { ImageViewDblClick(sender); };

  TFlatGauge::CreateArgs gauge;
  gauge.parent = ImageView.get();
  gauge.left = 8;
  gauge.top = 8;
  gauge.width = 150;
  gauge.height = 16;
  gauge.visible = false;
  Gauge = std::make_unique<TFlatGauge>(gauge);
  Gauge->SetColorBorder(kGaugeBorder);
  Gauge->SetAdvColorBorder(0);
  Gauge->SetTextFormat(L"Загружено %d %%");

  ImageMView = std::make_unique<TImageMView>(TImageMView::CreateArgs{&Notebook->Page(1)});
  ImageMView->SetAlign(TAlign::alClient);
  ImageMView->StoreType = TGridStoreType::gsThumb;
  ImageMView->SetThumbWidth(160);
  ImageMView->SetThumbHeight(160);
  ImageMView->HorizBorder = 10;
  ImageMView->VertBorder = 10;
  ImageMView->UpperGap = 7;
  ImageMView->BottomGap = 23;
  ImageMView->GridWidth = -1;
  ImageMView->MouseInteract = mmiScroll | mmiSelect;
  ImageMView->SelectionWidth = 3;
  ImageMView->SelectionColor = RGB(166, 202, 240);
  ImageMView->SelectionStyle = TSelectionStyle::ssACD;
  ImageMView->ThumbnailsBorderWidth = 4;
  ImageMView->ThumbnailsBorderColor = RGB(0, 0, 0);
  ImageMView->ThumbnailsInternalBorder = true;
  ImageMView->ThumbnailsInternalBorderColor = RGB(255, 0, 0);
  ImageMView->WallPaperStyle = TWallPaperStyle::woTile;
  ImageMView->SetThreadPoolSize(10);
  // Whole folders of ordinary size are loaded in the background, so that
  // scrolling finds the thumbnails ready; 500 on each side of the view cost
  // at most about 150 MB at the largest thumbnail size.
  ImageMView->LookAhead = 500;
  ImageMView->OnImageSelect = [this](TImageMView& sender, int index) { ImageMViewImageSelect(sender, index); };
  ImageMView->OnDblClick = [this](TImageMView& sender) { ImageMViewDblClick(sender); };
  ImageMView->OnMouseDown = [this](TImageMView& sender, TMouseButton button, TShiftState shift, int x, int y) {
    ImageMViewMouseDown(sender, button, shift, x, y);
  };

  TGaugeBar::CreateArgs slider;
  slider.parent = ImageMView.get();
  slider.left = 8;
  slider.top = 8;
  slider.width = 150;
  slider.height = 15;
  slider.min = 128;
  slider.max = 256;
  slider.position = 160;
  slider.visible = false;
  ThumbsVidth = std::make_unique<TGaugeBar>(slider);
  ThumbsVidth->SetHint(L"Размер эскизов");
  ThumbsVidth->OnChange = [this](TGaugeBar& sender) { ThumbsVidthChange(sender); };

  JvDragDrop1 = std::make_unique<TDropTarget>(*this);
  JvDragDrop1->OnDrop = [this](TDropTarget& sender, POINT point, const std::vector<std::wstring>& names) {
    JvDragDrop1Drop(sender, point, names);
  };

  ImageList = std::make_unique<TImageList>(16, 16);
  ImageList->AddFromResource(ThisModule(), L"MENUICONS", kIconTransparent);

  CreateMenus();
  ImageView->SetPopupMenu(ppView.get());
  ImageMView->SetPopupMenu(ppThumbs.get());
  SetActiveControl(ImageView.get());
}

void TfmMain::CreateMenus() {
  auto bind = [this](void (TfmMain::*handler)(TMenuItem&)) {
    return [this, handler](TMenuItem& sender) { (this->*handler)(sender); };
  };
  const TShortCut none{};
  auto ctrl = [](char key) { return TShortCut{static_cast<WORD>(key), ssCtrl}; };
  auto key = [](WORD code) { return TShortCut{code, 0}; };

  ppView = std::make_unique<TPopupMenu>(L"ppView");
  ppView->SetImages(ImageList.get());
  ppView->OnPopup = [this](TPopupMenu& sender) { ppViewPopup(sender); };
  TPopupMenu& v = *ppView;
  mnuCopy = &v.Add(L"mnuCopy", L"Копировать", 0, ctrl('C'));
  mnuSaveSel = &v.Add(L"mnuSaveSel", L"Сохранить как...", 4, ctrl('S'));
  mnuCopyAll = &v.Add(L"mnuCopyAll", L"Копировать", 0, ctrl('C'));
  mnuSave = &v.Add(L"mnuSave", L"Сохранить как...", 1, ctrl('S'));
  N13 = &v.Add(L"N13", L"-");
  N7 = &v.Add(L"N7", L"Печать...", 6);
  N1 = &v.Add(L"N1", L"-");
  mnu100percent = &v.Add(L"mnu100percent", L"Масштаб 100%", 13);
  mnuFit = &v.Add(L"mnuFit", L"Масштаб по размерам окна");
  N2 = &v.Add(L"N2", L"-");
  mnuInterpolation = &v.Add(L"mnuInterpolation", L"Интерполяция", -1, key('D'), true);
  mnuMouseSelect = &v.Add(L"mnuMouseSelect", L"Выделение мышью", -1, key('M'), true);
  N10 = &v.Add(L"N10", L"-");
  mnuThumbs = &v.Add(L"mnuThumbs", L"Эскизы", 11, key(VK_RETURN));
  mnuFullScreen = &v.Add(L"mnuFullScreen", L"Во весь экран", -1, none, true);
  N16 = &v.Add(L"N16", L"-");
  N15 = &v.Add(L"N15", L"Открыть с помощью...", -1, key(VK_F4));
  N3 = &v.Add(L"N3", L"-");
  N8 = &v.Add(L"N8", L"Удалить...", 12, key(VK_DELETE));
  N5 = &v.Add(L"N5", L"Обновить", 5, ctrl('R'));
  N6 = &v.Add(L"N6", L"-");
  N4 = &v.Add(L"N4", L"Настройки изображения...", 9);

  mnuCopy->OnClick = bind(&TfmMain::mnuCopyClick);
  mnuSaveSel->OnClick = bind(&TfmMain::mnuSaveSelClick);
  mnuCopyAll->OnClick = bind(&TfmMain::mnuCopyAllClick);
  mnuSave->OnClick = bind(&TfmMain::mnuSaveClick);
  N7->OnClick = bind(&TfmMain::N7Click);
  mnu100percent->OnClick = bind(&TfmMain::mnu100percentClick);
  mnuFit->OnClick = bind(&TfmMain::mnuFitClick);
  mnuInterpolation->OnClick = bind(&TfmMain::mnuInterpolationClick);
  mnuMouseSelect->OnClick = bind(&TfmMain::mnuMouseSelectClick);
  mnuThumbs->OnClick = bind(&TfmMain::mnuThumbsClick);
  mnuFullScreen->OnClick = bind(&TfmMain::mnuFullScreenClick);
  N15->OnClick = bind(&TfmMain::N15Click);
  N8->OnClick = bind(&TfmMain::N8Click);
  N5->OnClick = bind(&TfmMain::N5Click);
  N4->OnClick = bind(&TfmMain::N4Click);

  ppThumbs = std::make_unique<TPopupMenu>(L"ppThumbs");
  ppThumbs->SetImages(ImageList.get());
  TPopupMenu& t = *ppThumbs;
  mnuView = &t.Add(L"mnuView", L"Просмотр", 10, key(VK_RETURN));
  N14 = &t.Add(L"N14", L"-");
  N9 = &t.Add(L"N9", L"Удалить файл", 12, key(VK_DELETE));
  mnuReloadThum = &t.Add(L"mnuReloadThum", L"Обновить эскиз", 5, ctrl('R'));
  N18 = &t.Add(L"N18", L"-");
  N17 = &t.Add(L"N17", L"Открыть с помощью...", 13, key(VK_F4));
  N11 = &t.Add(L"N11", L"-");
  mnuFullScreen2 = &t.Add(L"mnuFullScreen2", L"Во весь экран");
  N12 = &t.Add(L"N12", L"-");
  mnuFileProperties = &t.Add(L"mnuFileProperties", L"Свойства...", 9);

  mnuView->OnClick = bind(&TfmMain::mnuViewClick);
  N9->OnClick = bind(&TfmMain::N8Click);
  mnuReloadThum->OnClick = bind(&TfmMain::mnuReloadThumClick);
  N17->OnClick = bind(&TfmMain::N15Click);
  mnuFullScreen2->OnClick = bind(&TfmMain::mnuFullScreen2Click);
  mnuFileProperties->OnClick = bind(&TfmMain::mnuFilePropertiesClick);
}

void TfmMain::FormCreate() {
  LoadFinished = true;
  FolderFiles.clear();
  SetOpaque(true);
  ImageView->SetOpaque(true);
  Gauge->SetOpaque(true);
  SetDoubleBuffered(true);
  keyboardHook_.Install(*this, HostWindow);
  ShowLoadTime = false;

  // The first image comes before the rest of the set-up. A load that fails
  // with an exception is reported and the set-up goes on: a form without
  // its settings would write the defaults over the user's at teardown.
  try {
    OpenImage(CurrentFile, true);
  } catch (...) {
    Application().HandleCurrentException();
  }

  // Gauge and slider move into the status bar, over panel 4.
  int x = 3;
  for (int i = 0; i < 4; ++i) x += StatusBar1->Panel(i).Width;
  int width = StatusBar1->Panel(4).Width - 4;
  Gauge->SetParent(StatusBar1.get());
  Gauge->SetBounds(x, 3, width, StatusBar1->Height() - 3);
  ThumbsVidth->SetParent(StatusBar1.get());
  ThumbsVidth->SetBounds(x, 3, width, ThumbsVidth->Height());

  ImageView->IO().Params.SetAutoOrientation(true);
  Notebook->SetPageIndex(0);
  ImageMView->ThumbnailsBorderColor = GetSysColor(COLOR_BTNFACE);
  AttachMenuPainters(*ppView);
  AttachMenuPainters(*ppThumbs);
  Screen().SetCursors(crHand, LoadCursorW(ThisModule(), L"MANO"));
  ReadSettings();
}

void TfmMain::ReadSettings() {
  TRegIniFile settings(kSettingsKey);
  ThumbsVidth->SetPosition(settings.ReadInteger(L"ThumbsSize", ThumbsVidth->Position()));
  mnuInterpolation->SetChecked(settings.ReadBool(L"Interpolation", mnuInterpolation->Checked()));
  mnuInterpolationClick(*mnuInterpolation);
  mnuMouseSelect->SetChecked(settings.ReadBool(L"MouseSelect", mnuMouseSelect->Checked()));
  mnuMouseSelectClick(*mnuMouseSelect);
  ImageMView->SetThreadPoolSize(settings.ReadInteger(L"ThreadsCount", ImageMView->ThreadPoolSize()));
}

void TfmMain::FormDestroy() {
  // The thumbnail workers end with the viewer, here on the user-interface
  // thread, never later from the library's unloading (which may not wait).
  ImageMView->StopWorkers();
  keyboardHook_.Uninstall();
  FolderFiles.clear();
  WriteSettings();
}

void TfmMain::WriteSettings() {
  TRegIniFile settings(kSettingsKey);
  settings.WriteInteger(L"ThumbsSize", ThumbsVidth->Position());
  settings.WriteBool(L"Interpolation", mnuInterpolation->Checked());
  settings.WriteBool(L"MouseSelect", mnuMouseSelect->Checked());
  settings.WriteInteger(L"ThreadsCount", ImageMView->ThreadPoolSize());
}

double TfmMain::FitZoom() const { return ImageView->FitZoom(); }

void TfmMain::FormResize(TControl& sender) {
  // Runs once after creation and once after each full-screen switch (which
  // sets the tag back to 0); later resizes keep the zoom the user chose.
  if (ImageView->Tag() != 0) return;
  ImageView->SetTag(1);
  if (FitZoom() > 100) {
    ImageView->SetZoom(100);
  } else {
    ImageView->Fit();
  }
}

void TfmMain::AttachMenuPainters(TPopupMenu& menu) {
  for (int i = 0; i < menu.Count(); ++i) {
    TMenuItem& item = menu.Items(i);
    item.OnMeasureItem = [this](TMenuItem& sender, HDC dc, int& width, int& height) {
      mnuCopyMeasureItem(sender, dc, width, height);
    };
    item.OnAdvancedDrawItem = [this](TMenuItem& sender, HDC dc, const RECT& rect, UINT state) {
      mnuCopyAdvancedDrawItem(sender, dc, rect, state);
    };
  }
}

void TfmMain::mnuCopyMeasureItem(TMenuItem& sender, HDC dc, int& width, int& height) {
  MeasureMenuItem(sender.PaintInfo(), dc, width, height);
}

void TfmMain::mnuCopyAdvancedDrawItem(TMenuItem& sender, HDC dc, const RECT& rect, UINT state) {
  DrawMenuItem(sender.PaintInfo(), dc, rect, state, ImageList->Handle());
}

}  // namespace lumora
