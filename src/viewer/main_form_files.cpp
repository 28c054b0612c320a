// TfmMain: file commands (clipboard, save, print, adjustments, reload,
// delete, properties, open with, drop).
#include "viewer/main_form.h"

namespace lumora {

// Clipboard, saving, printing, the adjustment dialog, deleting, the
// properties sheet and opening with another program come with the file
// commands; their menu items are in place and do nothing yet.
void TfmMain::mnuCopyClick(TMenuItem& sender) {}
void TfmMain::mnuCopyAllClick(TMenuItem& sender) {}
void TfmMain::mnuSaveClick(TMenuItem& sender) {}
void TfmMain::mnuSaveSelClick(TMenuItem& sender) {}
void TfmMain::N7Click(TMenuItem& sender) {}
void TfmMain::N4Click(TMenuItem& sender) {}
void TfmMain::N8Click(TMenuItem& sender) {}
void TfmMain::N15Click(TMenuItem& sender) {}
void TfmMain::mnuFilePropertiesClick(TMenuItem& sender) {}

void TfmMain::N5Click(TMenuItem& sender) { OpenImage(CurrentFile, false); }

void TfmMain::JvDragDrop1Drop(TDropTarget& sender, POINT point, const std::vector<std::wstring>& names) {
  // Only the first name counts; the load itself reports a file it cannot read.
  ThumbsFolder.clear();
  OpenImage(names.front(), true);
  if (Closing()) return;
  if (Notebook->PageIndex() == 1) NotebookPageChanged(*Notebook);
}

}  // namespace lumora
