// TfmMain: loading images, load progress and the status bar panels.
#include "draw/bevel_frame.h"
#include "viewer/main_form.h"

namespace lumora {

void TfmMain::OpenImage(const std::wstring& fileName, bool scanFolder) {
  // Loading through the view's I/O object, the progress gauge and the
  // panel texts come with the image loading work; for now the file is
  // taken as the current one.
  CurrentFile = fileName;
  LoadFinished = true;
}

void TfmMain::ImageViewProgress(TImageView& sender, int percent) {}

void TfmMain::ImageViewFinishWork(TImageView& sender) { LoadFinished = true; }

void TfmMain::StatusBar1DrawPanel(TStatusBar& sender, int panel, HDC dc, const RECT& rect) {
  RECT r = rect;
  r.bottom += 1;
  DrawBevelFrame(dc, r, GetSysColor(COLOR_BTNSHADOW), 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  const TStatusPanel& info = sender.Panel(panel);
  if (info.Alignment == TAlignment::taCenter) {
    DrawTextW(dc, info.Text.c_str(), static_cast<int>(info.Text.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  } else {
    r.left += 4;
    DrawTextW(dc, info.Text.c_str(), static_cast<int>(info.Text.size()), &r, DT_SINGLELINE | DT_VCENTER);
  }
}

}  // namespace lumora
