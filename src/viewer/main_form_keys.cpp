// TfmMain: keyboard commands and the request to close the viewer.
#include "viewer/main_form.h"

namespace lumora {

void TfmMain::FormKeyDown(TControl& sender, WORD key, TShiftState shift) {
  // The key table (scrolling, zoom steps, rotation, paging, keys handed to
  // the host) is added with the keyboard commands.
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
