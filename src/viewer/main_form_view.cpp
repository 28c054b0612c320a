// TfmMain: view commands (zoom, fit, interpolation, mouse mode, full screen).
#include <cmath>

#include "controls/application.h"
#include "viewer/main_form.h"

namespace lumora {

void TfmMain::UpdateZoomPanel(int zoom) {
  // The view's zoom rounded to the nearest integer, halves to even.
  if (zoom == 0) zoom = static_cast<int>(std::nearbyint(ImageView->Zoom()));
  StatusBar1->SetPanelText(3, std::to_wstring(zoom) + L"%");
  if (mnuMouseSelect->Checked()) {
    ImageView->SetCursor(crDefault);
    return;
  }
  if (FitZoom() >= ImageView->Zoom()) {
    ImageView->SetMouseInteract(miSelect);
    ImageView->SetCursor(crDefault);
  } else {
    ImageView->Deselect();
    ImageView->SetMouseInteract(miScroll);
    ImageView->SetCursor(crHand);
  }
}

void TfmMain::mnu100percentClick(TMenuItem& sender) {
  ImageView->SetZoom(100);
  UpdateZoomPanel(0);
}

void TfmMain::mnuFitClick(TMenuItem& sender) {
  ImageView->Fit();
  UpdateZoomPanel(0);
}

void TfmMain::mnuInterpolationClick(TMenuItem& sender) {
  ImageView->SetZoomFilter(mnuInterpolation->Checked() ? TResampleFilter::rfFastLinear : TResampleFilter::rfNone);
}

void TfmMain::mnuMouseSelectClick(TMenuItem& sender) {
  ImageView->SetMouseInteract(mnuMouseSelect->Checked() ? miSelect : miScroll);
  UpdateZoomPanel(0);
}

void TfmMain::mnuFullScreenClick(TMenuItem& sender) {
  // Switching the Lister window to full screen and back comes with the
  // view commands.
}

void TfmMain::mnuFullScreen2Click(TMenuItem& sender) { mnuFullScreen->Click(); }

void TfmMain::ImageViewZoomIn(TImageView& sender, double zoom) {
  UpdateZoomPanel(static_cast<int>(std::nearbyint(zoom)));
}

void TfmMain::ImageViewDblClick(TImageView& sender) { mnuThumbsClick(*mnuThumbs); }

void TfmMain::ImageViewDrawCanvas(TImageView& sender, HDC dc, const RECT& rect) {
  // The full-screen caption over the image comes with the view commands.
}

void TfmMain::ppViewPopup(TPopupMenu& sender) {
  // One "copy" and one "save" item: for the selection when there is one,
  // for the whole image otherwise.
  bool selection = ImageView->HasSelection();
  mnuCopy->SetVisible(selection);
  mnuSaveSel->SetVisible(mnuCopy->Visible());
  mnuSave->SetVisible(!mnuCopy->Visible());
  mnuCopyAll->SetVisible(!mnuCopy->Visible());
}

}  // namespace lumora
