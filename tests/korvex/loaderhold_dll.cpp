// Test double that holds the loader lock: its attach signals the event named
// "kvtest_loader_held_<process id>" and then waits for good, so the thread that loads
// it keeps the loader lock until it is terminated.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const std::string name = "kvtest_loader_held_" + std::to_string(GetCurrentProcessId());
  HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
  if (held == nullptr) return FALSE;  // loaded by something other than the test
  SetEvent(held);
  CloseHandle(held);
  for (;;) Sleep(INFINITE);
}
