// The library's entry point: nothing to do at load; at unload (FreeLibrary,
// not process exit) viewers still open are freed and the window classes
// unregistered, since both would otherwise point into unmapped code.
#include <windows.h>

#include "controls/control.h"
#include "plugin/lister_plugin.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    try {
      lumora::DestroyAllViewers();
    } catch (...) {
    }
    lumora::UnregisterControlClasses();
  }
  return TRUE;
}
