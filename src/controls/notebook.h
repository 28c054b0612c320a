// TNotebook: a stack of pages of which one is shown at a time, without tabs.
// Each page is a plain container that fills the notebook.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/control.h"

namespace lumora {

class TNotebookPage : public TControl {
 public:
  TNotebookPage(TControl* notebook, std::wstring name, bool visible);
  const std::wstring& Name() const { return name_; }

 private:
  std::wstring name_;
};

class TNotebook : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
    std::vector<std::wstring> pages;  // names, in page order
  };
  explicit TNotebook(const CreateArgs& args);
  ~TNotebook() override;

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TNotebookPage& Page(int index) const { return *pages_.at(static_cast<size_t>(index)); }

  int PageIndex() const { return pageIndex_; }
  // Shows the page and hides the others. OnPageChanged runs only when the
  // page actually changes; out-of-range indexes are ignored.
  void SetPageIndex(int index);

  std::function<void(TNotebook& sender)> OnPageChanged;

 private:
  std::vector<std::unique_ptr<TNotebookPage>> pages_;
  int pageIndex_ = 0;
};

}  // namespace lumora
