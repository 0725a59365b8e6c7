// Test double that asks Korvex.dll for a crash dump from its attach, so while the loading
// thread holds the loader lock (as a fault inside a DLL's start-up code would). It does so
// only when KVTEST_DUMP_IN_ATTACH is set in the environment.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  if (GetEnvironmentVariableA("KVTEST_DUMP_IN_ATTACH", nullptr, 0) == 0) return TRUE;
  HMODULE korvex = GetModuleHandleA("Korvex.dll");
  if (!korvex) return FALSE;
  using CrashDumpFn = void(__cdecl*)(int kind, EXCEPTION_POINTERS* pointers, int respect_auto);
  auto dump = reinterpret_cast<CrashDumpFn>(
      reinterpret_cast<void*>(GetProcAddress(korvex, "CreateProcessCrashDump")));
  if (!dump) return FALSE;
  dump(0, nullptr, 0);
  return TRUE;
}
