#include "controls/form.h"

#include <atomic>

namespace lumora {

namespace {
std::atomic<int> g_liveForms{0};
}  // namespace

TForm::TForm() { ++g_liveForms; }

int TForm::LiveCount() { return g_liveForms; }

TForm::~TForm() {
  --g_liveForms;
  // A window in the middle of its destruction must not be destroyed again;
  // the system finishes it, and its later messages find no object.
  if (windowDying_) DetachWindow();
}

void TForm::CreateForm(HWND parentWindow, const wchar_t* className) {
  TCreateParams params;
  params.parent = parentWindow;
  RECT area{0, 0, 0, 0};
  if (parentWindow) GetClientRect(parentWindow, &area);
  params.width = area.right;
  params.height = area.bottom;
  CreateParams(params);

  TCreateArgs args;
  args.parentWindow = params.parent;
  args.left = params.left;
  args.top = params.top;
  args.width = params.width;
  args.height = params.height;
  args.style = params.style & ~WS_VISIBLE;
  args.exStyle = params.exStyle;
  args.visible = false;
  CreateHandle(className, args);
}

void TForm::SetFormFont(const wchar_t* face, int height) {
  font_.Reset(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
  SetFont(font_.Get());
}

void TForm::PreviewKeyDown(WORD key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
}

void TForm::KeyDown(WORD key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
}

void TForm::Resize() {
  if (OnResize) OnResize(*this);
}

void TForm::WindowIsBeingDestroyed() { windowDying_ = true; }

TForm::TBusyScope::TBusyScope(TForm* form) : form_(form) {
  if (form_) ++form_->busyDepth_;
}

TForm::TBusyScope::~TBusyScope() {
  if (!form_ || --form_->busyDepth_ > 0 || !form_->whenIdle_) return;
  std::function<void()> action = std::move(form_->whenIdle_);
  form_->whenIdle_ = nullptr;
  action();  // may free the form: nothing of it is touched afterwards
}

void TForm::RunWhenIdle(std::function<void()> action) {
  if (busyDepth_ > 0) {
    whenIdle_ = std::move(action);
    return;
  }
  action();
}

void TForm::DestroyFormWindow() {
  if (windowDying_) {
    DetachWindow();
    return;
  }
  if (HWND window = Handle()) DestroyWindow(window);
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETFOCUS:
      if (activeControl_ && activeControl_->Handle() && IsWindowVisible(activeControl_->Handle())) {
        activeControl_->SetFocus();
      }
      return 0;
    case WM_SIZE: {
      LRESULT result = TControl::WndProc(msg, wParam, lParam);
      if (constructed_) Resize();
      return result;
    }
  }
  return TControl::WndProc(msg, wParam, lParam);
}

}  // namespace lumora
