// TfmMain: keyboard commands and the request to close the viewer.
#include "viewer/main_form.h"

namespace lumora {

namespace {

constexpr int kScrollStep = 25;    // pixels per arrow key
constexpr int kZoomKeyStep = 7;    // percentage points per keypad + / -

}  // namespace

void TfmMain::FormKeyDown(TControl& sender, WORD key, TShiftState shift) {
  // Digits 1 to 7 switch the Lister's mode and Q quits it: the Lister
  // window handles them, as if the viewer were not there.
  if ((key >= '1' && key <= '7') || key == 'Q') {
    ::SetFocus(HostWindow);
    if (key == 'Q') {
      CloseViewer();
    } else {
      PostMessageW(HostWindow, WM_CHAR, key, 0);
    }
    Close();
    return;
  }

  const bool ctrl = (shift & ssCtrl) != 0;
  const bool thumbsPage = Notebook->PageIndex() == 1;
  TImageView& view = *ImageView;
  switch (key) {
    case VK_RETURN:
      if (ctrl) {
        mnuFullScreen->Click();
      } else if (thumbsPage) {
        mnuViewClick(*mnuView);
      } else {
        mnuThumbsClick(*mnuThumbs);
      }
      break;
    case VK_ESCAPE: CloseViewer(); break;
    case VK_PRIOR:
    case VK_NEXT:
      if (LoadFinished && !FolderFiles.empty() && !thumbsPage) StepImage(key == VK_NEXT ? 1 : -1);
      break;
    case VK_LEFT: view.SetViewX(view.ViewX() - kScrollStep); break;
    case VK_UP: view.SetViewY(view.ViewY() - kScrollStep); break;
    case VK_RIGHT: view.SetViewX(view.ViewX() + kScrollStep); break;
    case VK_DOWN: view.SetViewY(view.ViewY() + kScrollStep); break;
    case VK_DELETE: N8Click(*N8); break;
    case 'C':
      if (!ctrl) break;
      if (view.HasSelection()) {
        mnuCopyClick(*mnuCopy);
      } else {
        mnuCopyAllClick(*mnuCopyAll);
      }
      break;
    case 'D': mnuInterpolation->Click(); break;
    case 'L': RotateImage(90); break;
    case 'M': mnuMouseSelect->Click(); break;
    case 'R':
      if (!ctrl) {
        RotateImage(-90);
      } else if (thumbsPage) {
        mnuReloadThumClick(*mnuReloadThum);
      } else {
        N5Click(*N5);
      }
      break;
    case 'S':
      if (!ctrl) break;
      if (view.HasSelection()) {
        mnuSaveSelClick(*mnuSaveSel);
      } else {
        mnuSaveClick(*mnuSave);
      }
      break;
    case VK_NUMPAD1:
      view.SetZoomY(view.ZoomY() - 1);
      view.SetZoomX(view.ZoomX() - 1);
      break;
    case VK_NUMPAD2: view.SetZoomY(view.ZoomY() - 1); break;
    case VK_NUMPAD4: view.SetZoomX(view.ZoomX() - 1); break;
    case VK_NUMPAD5:
      if (FitZoom() > 100) {
        view.SetZoom(100);
      } else {
        view.Fit();
      }
      break;
    case VK_NUMPAD6: view.SetZoomX(view.ZoomX() + 1); break;
    case VK_NUMPAD8: view.SetZoomY(view.ZoomY() + 1); break;
    case VK_NUMPAD9:
      view.SetZoomY(view.ZoomY() + 1);
      view.SetZoomX(view.ZoomX() + 1);
      break;
    case VK_MULTIPLY: mnuFitClick(*mnuFit); break;
    case VK_ADD:
    case VK_SUBTRACT: {
      int sign = key == VK_ADD ? 1 : -1;
      if (thumbsPage) {
        ThumbsVidth->SetPosition(ThumbsVidth->Position() + sign);
      } else {
        view.SetZoom(view.Zoom() + sign * kZoomKeyStep);
        UpdateZoomPanel(0);
      }
      break;
    }
    case VK_DIVIDE: mnu100percentClick(*mnu100percent); break;
    case VK_F3:
      if (thumbsPage) {
        mnuViewClick(*mnuView);
      } else {
        mnuThumbsClick(*mnuThumbs);
      }
      break;
    case VK_F4: N15Click(*N15); break;
    default: break;
  }
}

void TfmMain::StepImage(int direction) {
  if (FolderChangedSinceScan()) {
    ScanFolder(scannedFolder_);
    // The scan put the index on the current file (or the list's start when
    // that file has gone); the step goes on from there.
  }
  int next = CurrentIndex + direction;
  if (next < 0 || next >= static_cast<int>(FolderFiles.size())) return;
  CurrentIndex = next;
  LoadCancelled = true;
  ImageView->IO().Aborting = true;
  OpenImage(FolderFiles[next], false);
}

void TfmMain::CloseViewer() {
  if (HostIsChild) {
    // An embedded Lister keeps its window; the viewer only hides.
    Close();
    return;
  }
  PostMessageW(HostWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
}

}  // namespace lumora
