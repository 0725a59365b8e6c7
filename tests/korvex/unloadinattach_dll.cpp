// Test double that loads Korvex.dll from its attach, records traffic (the first record
// starts the TRAF monitor thread) and unloads the library again, all while the loading
// thread holds the loader lock: the new monitor thread can't begin before the unload. It
// does so only when KVTEST_UNLOAD_IN_ATTACH is set in the environment.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (GetEnvironmentVariableA("KVTEST_UNLOAD_IN_ATTACH", nullptr, 0) == 0) return TRUE;
  HMODULE korvex = LoadLibraryA("Korvex.dll");
  if (!korvex) return FALSE;
  using TraceFn = void(__cdecl*)(unsigned short code, int bytes, bool incoming);
  auto trace =
      reinterpret_cast<TraceFn>(reinterpret_cast<void*>(GetProcAddress(korvex, "TrafficTrace")));
  if (trace) trace(3, 10, true);
  FreeLibrary(korvex);
  return trace ? TRUE : FALSE;
}
