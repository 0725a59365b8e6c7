// Test double of vigilor.dll: "SendInfo" records what it receives, for the host tests
// to query through the Test* exports. With KORVEX_TEST_NO_SENDINFO set in the
// environment the DLL refuses to load, as if it were missing.
#include <windows.h>

#include <cstring>
#include <mutex>

namespace {

constexpr std::size_t kRecordSize = 51;
constexpr int kSendInfoAnswer = 7714;

std::mutex g_lock;
int g_calls = 0;
void* g_module = nullptr;
int g_kind = 0;
unsigned char g_record[kRecordSize];

}  // namespace

extern "C" __declspec(dllexport) int __cdecl SendInfo(void* module, int kind, void* record) {
  std::lock_guard<std::mutex> lock(g_lock);
  ++g_calls;
  g_module = module;
  g_kind = kind;
  std::memcpy(g_record, record, kRecordSize);
  return kSendInfoAnswer;
}

// The number of calls so far; copies the last record (51 bytes), module and kind.
extern "C" __declspec(dllexport) int __cdecl TestLastSendInfo(unsigned char* record, void** module,
                                                              int* kind) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (record) std::memcpy(record, g_record, kRecordSize);
  if (module) *module = g_module;
  if (kind) *kind = g_kind;
  return g_calls;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH &&
      GetEnvironmentVariableA("KORVEX_TEST_NO_SENDINFO", nullptr, 0))
    return FALSE;
  return TRUE;
}
