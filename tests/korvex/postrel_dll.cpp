// Test double of postrel.dll: PstSend records the mail (or fails with a reason on
// request), for the host tests to query through the Test* exports. With
// KORVEX_TEST_NO_POSTREL set in the environment the DLL refuses to load.
#include <windows.h>

#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
int g_sent = 0;
std::string g_fields[6];  // server, from, to, subject, body, port
std::string g_fail_reason;
bool g_fault = false;

}  // namespace

extern "C" __declspec(dllexport) int __stdcall PstSend(const char* server, unsigned short port,
                                                       const char* from, const char* to,
                                                       const char* subject, const char* body,
                                                       char* error) {
  if (g_fault) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_fail_reason.empty()) {
    lstrcpynA(error, g_fail_reason.c_str(), 512);
    return 0;
  }
  ++g_sent;
  g_fields[0] = server;
  g_fields[1] = from;
  g_fields[2] = to;
  g_fields[3] = subject;
  g_fields[4] = body;
  g_fields[5] = std::to_string(port);
  return 1;
}

// Mails sent so far; copies field i (0 server, 1 from, 2 to, 3 subject, 4 body, 5 port)
// of the last one into out (size bytes).
extern "C" __declspec(dllexport) int __cdecl TestSentMail(int field, char* out, int size) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (out && size > 0 && field >= 0 && field < 6) lstrcpynA(out, g_fields[field].c_str(), size);
  return g_sent;
}

// Makes every later PstSend fail with this reason (empty: succeed again).
extern "C" __declspec(dllexport) void __cdecl TestFailWith(const char* reason) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_fail_reason = reason ? reason : "";
}

// Makes every later PstSend fault (a write through a null pointer) before it sends.
extern "C" __declspec(dllexport) void __cdecl TestFaultInSend(int fault) {
  g_fault = fault != 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("KORVEX_TEST_NO_POSTREL", nullptr, 0))
    return FALSE;
  return TRUE;
}
