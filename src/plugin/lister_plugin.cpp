#include "plugin/lister_plugin.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

namespace {

// Links of the viewers from ListLoad to their teardown (user-interface
// thread only).
std::vector<ViewerLink*>& LiveLinks() {
  static std::vector<ViewerLink*> links;
  return links;
}

void Forget(ViewerLink* link) {
  auto& links = LiveLinks();
  links.erase(std::remove(links.begin(), links.end(), link), links.end());
}

// The teardown proper: the form leaves the application object and is freed
// (its FormDestroy writes the settings), then the link goes.
void FinishViewer(ViewerLink* raw) {
  std::unique_ptr<ViewerLink> link(raw);
  try {
    std::unique_ptr<TForm> form = Application().RemoveComponent(link->Viewer);
    Application().SetHandle(nullptr);
    if (form) link->Viewer->Teardown();
  } catch (...) {
    ShowInfoMessage(nullptr, L"DestroyWindow error:\r" + CurrentExceptionText());
  }
}

// Unbinds the viewer from its window and ends it, now or (allowDefer) once
// its running code has returned.
void EndViewer(ViewerLink* link, bool windowIsDying, bool allowDefer) {
  Forget(link);
  HWND window = link->Window;
  if (GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(link)) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  // The previous procedure goes back only while ours is the one installed:
  // a host that subclassed the window after ListLoad keeps its chain, which
  // still passes through ViewerWindowProc (and from there to the form).
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ViewerWindowProc)) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->OldWndProc));
  }
  TfmMain* viewer = link->Viewer;
  if (windowIsDying) viewer->WindowIsBeingDestroyed();
  if (allowDefer && viewer->Busy()) {
    // A load (or a modal loop) of the viewer let this close in; freeing the
    // form now would pull it from under that code.
    viewer->CancelLoad();
    viewer->RunWhenIdle([link] { FinishViewer(link); });
    return;
  }
  FinishViewer(link);
}

}  // namespace

ViewerLink* FindViewerLink(HWND window) {
  if (!window) return nullptr;
  for (ViewerLink* link : LiveLinks()) {
    if (link->Window == window) return link;
  }
  return nullptr;
}

void DestroyViewer(HWND window, bool windowIsDying) {
  if (ViewerLink* link = FindViewerLink(window)) EndViewer(link, windowIsDying, true);
}

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  ViewerLink* link = FindViewerLink(window);
  if (!link) {
    // Ended already, but a host's subclass above us still calls down the
    // chain: the form's own class procedure takes the message.
    auto classProc = reinterpret_cast<WNDPROC>(GetClassLongPtrW(window, GCLP_WNDPROC));
    return CallWindowProcW(classProc, window, msg, wParam, lParam);
  }
  if (msg == WM_DESTROY) {
    // The host destroys the window without ListCloseWindow (for example
    // together with the Lister window): the viewer ends here.
    DestroyViewer(window, true);
    return 0;
  }
  return CallWindowProcW(link->OldWndProc, window, msg, wParam, lParam);
}

void DestroyAllViewers() {
  std::vector<ViewerLink*> links = LiveLinks();
  for (ViewerLink* link : links) EndViewer(link, false, false);
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
    // The first load lets messages run; a host that closed the Lister
    // window meanwhile took the form's window with it: no viewer then.
    if (!form->Handle()) return nullptr;
    link->Viewer = form.get();
    form->Show();
    window = form->Handle();
    Application().SetHandle(parentWin);
    Application().InsertComponent(std::move(form));
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link.get()));
    link->Window = window;
    link->OldWndProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewerWindowProc)));
    LiveLinks().push_back(link.get());
    if (!link->Viewer->HostIsChild) PostMessageW(window, WM_SETFOCUS, 0, 0);
    (void)link.release();  // from now on freed by DestroyViewer
    return window;
  } catch (...) {
    std::wstring message = CurrentExceptionText();
    // Nothing of the failed viewer stays behind: the window loses the
    // subclass and the link, the form (and with it the window) is freed.
    try {
      if (link) Forget(link.get());
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
