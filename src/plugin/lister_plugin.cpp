#include "plugin/lister_plugin.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "controls/application.h"
#include "controls/win_util.h"
#include "draw/gdi.h"
#include "imageio/registry.h"
#include "shell/messages.h"
#include "viewer/main_form.h"

namespace lumora {

namespace {

constexpr char kDetectString[] = "MULTIMEDIA";

// The host passes file names in the system's ANSI code page.
std::wstring AnsiToWide(const char* text) {
  int length = static_cast<int>(std::strlen(text));
  if (length == 0) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), n);
  return wide;
}

// The message of the exception being handled (call inside a catch block).
std::wstring CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& error) {
    return Utf8ToWide(error.what());
  } catch (...) {
    return L"Неизвестная ошибка";
  }
}

}  // namespace

ViewerLink* FindViewerLink(HWND window) {
  if (!window || !IsWindow(window)) return nullptr;
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&ViewerWindowProc)) return nullptr;
  return reinterpret_cast<ViewerLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void DestroyViewer(HWND window, bool windowIsDying) {
  std::unique_ptr<ViewerLink> link(FindViewerLink(window));
  if (!link) return;
  // From here on the window no longer counts as a viewer window.
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  try {
    std::unique_ptr<TForm> form = Application().RemoveComponent(link->Viewer);
    Application().SetHandle(nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->OldWndProc));
    if (form) {
      if (windowIsDying) form->WindowIsBeingDestroyed();
      link->Viewer->Teardown();
    }
  } catch (...) {
    ShowInfoMessage(nullptr, L"DestroyWindow error:\r" + CurrentExceptionText());
  }
}

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* link = reinterpret_cast<ViewerLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!link) return DefWindowProcW(window, msg, wParam, lParam);
  if (msg == WM_DESTROY) {
    // The host destroys the window without ListCloseWindow (for example
    // together with the Lister window): the viewer ends here.
    DestroyViewer(window, true);
    return 0;
  }
  return CallWindowProcW(link->OldWndProc, window, msg, wParam, lParam);
}

void DestroyAllViewers() {
  for (TForm* form : Application().Components()) {
    if (FindViewerLink(form->Handle())) DestroyViewer(form->Handle());
  }
  Application().FreeComponents();
}

}  // namespace lumora

using namespace lumora;

extern "C" void __stdcall ListGetDetectString(char* detectString, int maxlen) {
  if (!detectString || maxlen <= 0) return;
  size_t count = std::min(std::strlen(kDetectString), static_cast<size_t>(maxlen) - 1);
  std::memcpy(detectString, kDetectString, count);
  detectString[count] = '\0';
}

extern "C" HWND __stdcall ListLoad(HWND parentWin, char* fileToLoad, int showFlags) {
  if (!fileToLoad) return nullptr;
  try {
    if (!IsReadableExtension(std::filesystem::path(AnsiToWide(fileToLoad)))) return nullptr;
  } catch (...) {
    return nullptr;
  }

  std::unique_ptr<ViewerLink> link;
  std::unique_ptr<TfmMain> form;
  HWND window = nullptr;
  try {
    link = std::make_unique<ViewerLink>();
    form = std::make_unique<TfmMain>(parentWin, AnsiToWide(fileToLoad));
    link->Viewer = form.get();
    form->Show();
    window = form->Handle();
    Application().SetHandle(parentWin);
    Application().InsertComponent(std::move(form));
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link.get()));
    link->OldWndProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWindowProc)));
    if (!link->Viewer->HostIsChild) PostMessageW(window, WM_SETFOCUS, 0, 0);
    (void)link.release();  // from now on freed by DestroyViewer
    return window;
  } catch (...) {
    std::wstring message = CurrentExceptionText();
    // Nothing of the failed viewer stays behind: the window loses the
    // subclass and the link, the form (and with it the window) is freed.
    try {
      if (window && link) {
        if (link->OldWndProc) SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->OldWndProc));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      }
      if (!form && link && link->Viewer) {
        std::unique_ptr<TForm> owned = Application().RemoveComponent(link->Viewer);
        if (owned) Application().SetHandle(nullptr);
      }
      form.reset();
      link.reset();
    } catch (...) {
    }
    ShowInfoMessage(parentWin, L"Open error:\r" + message);
    return nullptr;
  }
}

extern "C" void __stdcall ListCloseWindow(HWND listWin) {
  try {
    DestroyViewer(listWin);
  } catch (...) {
  }
}
