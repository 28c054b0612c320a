// The Lister plugin: the three exports the host calls and the binding of
// each viewer form to the window handed to the host.
//
// ListLoad creates a TfmMain inside the Lister window, gives it to the
// application object, and subclasses its window with ViewerWindowProc; the
// window's user data points to the ViewerLink of the viewer. The viewer
// ends exactly once, through ListCloseWindow or through the WM_DESTROY of
// its window, whichever comes first (DestroyViewer).
#pragma once

#include <windows.h>

namespace lumora {

class TfmMain;

// One per viewer window, from ListLoad to DestroyViewer.
struct ViewerLink {
  WNDPROC OldWndProc = nullptr;  // the form window's procedure before the subclass
  TfmMain* Viewer = nullptr;     // not owned: the application object owns the form
  HWND Window = nullptr;         // the window ListLoad returned
};

// The ViewerLink of a live viewer's window, or nullptr for any other window.
// Viewers are recognised by the list of live viewers, not by the window's
// procedure: a host may subclass the window after ListLoad.
ViewerLink* FindViewerLink(HWND window);

// Ends the viewer of `window` and frees its link. `windowIsDying` says that
// the window is already being destroyed (its WM_DESTROY), so it is not
// destroyed again. A viewer whose code is still running (a load letting
// messages run, a modal box) has its load cancelled and ends as soon as
// that code has returned. Windows that are not viewer windows are ignored.
// Errors are reported ("DestroyWindow error:"); nothing leaves.
void DestroyViewer(HWND window, bool windowIsDying = false);

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Frees every viewer still open, at once; used when the library is
// unloaded, when no code of a viewer can still be running.
void DestroyAllViewers();

}  // namespace lumora

extern "C" {
// Writes "MULTIMEDIA" into the buffer, cut to `maxlen` bytes including the
// terminating zero.
void __stdcall ListGetDetectString(char* detectString, int maxlen);
// A viewer window inside `parentWin` for the file (ANSI path), or null when
// the file's extension is not readable or the viewer could not be made.
HWND __stdcall ListLoad(HWND parentWin, char* fileToLoad, int showFlags);
void __stdcall ListCloseWindow(HWND listWin);
}
