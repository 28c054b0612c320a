// The library's entry point: nothing to do at load. At unload (FreeLibrary,
// not process exit) viewers still open are freed and the window classes
// unregistered, since both would otherwise point into unmapped code. This
// runs under the loader's lock, where waiting for a thread to end would
// wait forever: nothing here waits. No thumbnail worker can be running by
// then, since each holds a reference to the library while it runs.
#include <windows.h>

#include "controls/control.h"
#include "controls/image_mview.h"
#include "plugin/lister_plugin.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    lumora::TImageMView::ForbidWaiting();
    try {
      lumora::DestroyAllViewers();
    } catch (...) {
    }
    lumora::UnregisterControlClasses();
  }
  return TRUE;
}
