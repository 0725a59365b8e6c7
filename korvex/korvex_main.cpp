// The library's entry: process attach and detach, thread detach.
#include <windows.h>

#include "basalt_translator.h"
#include "kv_monitor.h"
#include "kv_timing.h"
#include "kv_util.h"
#include "kv_util_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return kv::library_attach(instance) ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
      kv::end_thread_timing(GetCurrentThreadId());
      kv::detach_thread();
      break;
    case DLL_PROCESS_DETACH:
      basalt::remove_translator();  // its handler lies in this module's code
      // Monitors are stopped while the state they use still stands; when the process
      // ends they are gone already.
      if (reserved == nullptr) kv::stop_monitors_at_unload();
      kv::library_detach(reserved != nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
