#include "controls/application.h"

#include <algorithm>

#include "controls/form.h"
#include "shell/messages.h"
#include "controls/win_util.h"

namespace lumora {

TApplication::~TApplication() {
  // Reached only when the process ends (the plugin frees its forms when it
  // is unloaded); the windows go with the process, so the forms are left
  // alone rather than torn down at a point where the window system may
  // already be gone.
  for (auto& form : components_) (void)form.release();
}

void TApplication::InsertComponent(std::unique_ptr<TForm> form) {
  if (form) components_.push_back(std::move(form));
}

std::unique_ptr<TForm> TApplication::RemoveComponent(TForm* form) {
  auto it = std::find_if(components_.begin(), components_.end(), [form](const auto& c) { return c.get() == form; });
  if (it == components_.end()) return nullptr;
  std::unique_ptr<TForm> owned = std::move(*it);
  components_.erase(it);
  return owned;
}

bool TApplication::OwnsComponent(const TForm* form) const {
  return std::any_of(components_.begin(), components_.end(), [form](const auto& c) { return c.get() == form; });
}

std::vector<TForm*> TApplication::Components() const {
  std::vector<TForm*> forms;
  for (const auto& form : components_) forms.push_back(form.get());
  return forms;
}

void TApplication::FreeComponents() {
  // Freed one at a time and removed first, so a form whose teardown looks
  // at the list does not see itself.
  while (!components_.empty()) {
    std::unique_ptr<TForm> form = std::move(components_.back());
    components_.pop_back();
  }
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TApplication::ShowException(const std::exception& error) { ShowException(Utf8ToWide(error.what())); }

void TApplication::ShowException(const std::wstring& text) {
  ShowMessageBox({handle_, text, L"Lumora", MB_OK | MB_ICONERROR | MB_TASKMODAL, nullptr});
}

void TApplication::HandleCurrentException() {
  try {
    throw;
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException(L"Неизвестная ошибка");
  }
}

TApplication& Application() {
  static TApplication application;
  return application;
}

void TScreen::SetCursor(int index) {
  cursor_ = index;
  // Shown at once: a synchronous load keeps the message loop from asking.
  ::SetCursor(Cursors(index == crDefault ? crArrow : index));
}

HCURSOR TScreen::Cursors(int index) const {
  auto it = custom_.find(index);
  if (it != custom_.end() && it->second) return it->second;
  const wchar_t* system = IDC_ARROW;
  switch (index) {
    case crHourGlass:
      system = IDC_WAIT;
      break;
    case crHandPoint:
      system = IDC_HAND;
      break;
    default:
      break;
  }
  return LoadCursorW(nullptr, system);
}

void TScreen::SetCursors(int index, HCURSOR cursor) { custom_[index] = cursor; }

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

}  // namespace lumora
