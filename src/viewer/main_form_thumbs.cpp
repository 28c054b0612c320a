// TfmMain: the thumbnail page and the folder around the current image.
#include "viewer/main_form.h"

namespace lumora {

void TfmMain::mnuThumbsClick(TMenuItem& sender) { Notebook->SetPageIndex(1); }

// Filling the grid, the folder list, the position text, the Lister caption
// and the slider's effect come with the thumbnail browser.
void TfmMain::mnuViewClick(TMenuItem& sender) {}
void TfmMain::mnuReloadThumClick(TMenuItem& sender) {}
void TfmMain::NotebookPageChanged(TNotebook& sender) {}
void TfmMain::ThumbsVidthChange(TGaugeBar& sender) {}
void TfmMain::ScanFolder(const std::wstring& folder) {}
void TfmMain::UpdateListerCaption(const std::wstring& fileName) {}
void TfmMain::ShowPosition() {}

}  // namespace lumora
