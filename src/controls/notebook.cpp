#include "controls/notebook.h"

namespace lumora {

TNotebookPage::TNotebookPage(TControl* notebook, std::wstring name, bool visible) : name_(std::move(name)) {
  TCreateArgs create;
  create.parent = notebook;
  create.visible = visible;
  CreateHandle(L"LumoraNotebookPage", create);
  SetAlign(TAlign::alClient);
}

TNotebook::TNotebook(const CreateArgs& args) {
  TCreateArgs create;
  create.parent = args.parent;
  CreateHandle(L"LumoraNotebook", create);
  for (size_t i = 0; i < args.pages.size(); ++i) {
    pages_.push_back(std::make_unique<TNotebookPage>(this, args.pages[i], i == 0));
  }
}

TNotebook::~TNotebook() {
  // Pages go first, while the notebook window still exists to hold them.
  pages_.clear();
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == pageIndex_) return;
  Page(index).Show();
  Page(pageIndex_).Hide();
  pageIndex_ = index;
  Realign();
  if (OnPageChanged) OnPageChanged(*this);
}

}  // namespace lumora
