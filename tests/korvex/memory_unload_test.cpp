// Hosts that unload Korvex.dll while its monitor threads run, or right after the call
// that started one (before the new thread could have reached the library's code): the
// library stops them before it goes, so the process goes on unharmed and no monitor
// thread is left. Each case runs in a fresh child process, as the first use of the
// library there, and is ended by a limit if it hangs.
#include "exceptions_host.h"
// After windows.h (exceptions_host.h).
#include <tlhelp32.h>

#include "kvmemory.h"
#include "kvstats.h"

namespace {

template <class F>
F export_of(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int thread_count() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  int n = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snapshot);
  return n;
}

// Waits (at most 10 s) until the process has no more threads than before.
bool back_to(int threads) {
  for (int i = 0; i < 1000; ++i) {
    if (thread_count() <= threads) return true;
    Sleep(10);
  }
  return false;
}

// Loads the library, starts monitors with start(), unloads it at once; twice, so the
// library is used again after an unload.
template <class Start>
void start_then_unload(Start start) {
  const int threads = thread_count();
  for (int round = 0; round < 2; ++round) {
    HMODULE korvex = LoadLibraryA("Korvex.dll");
    ASSERT_NE(korvex, nullptr);
    start(korvex);
    ASSERT_TRUE(FreeLibrary(korvex));
    EXPECT_EQ(GetModuleHandleA("Korvex.dll"), nullptr);
    EXPECT_TRUE(back_to(threads)) << "a monitor thread is left after round " << round;
  }
}

TEST(MonitorUnload, DISABLED_ChildMemory) {
  start_then_unload([](HMODULE korvex) {
    auto new_memory = export_of<decltype(&::_NewMemory)>(korvex, "_NewMemory");
    auto delete_memory = export_of<decltype(&::_DeleteMemory)>(korvex, "_DeleteMemory");
    void* block = new_memory(10, "unload.cpp", 1, false);
    delete_memory(&block);
  });
}

TEST(MonitorUnload, DISABLED_ChildTraffic) {
  start_then_unload([](HMODULE korvex) {
    export_of<decltype(&::TrafficTrace)>(korvex, "TrafficTrace")(3, 10, true);
  });
}

TEST(MonitorUnload, DISABLED_ChildAllThree) {
  start_then_unload([](HMODULE korvex) {
    void* block = export_of<decltype(&::_NewMemory)>(korvex, "_NewMemory")(10, "u.cpp", 2, false);
    export_of<decltype(&::_DeleteMemory)>(korvex, "_DeleteMemory")(&block);
    export_of<decltype(&::TrafficTrace)>(korvex, "TrafficTrace")(3, 10, true);
    EXPECT_NE(export_of<decltype(&::MonitorTiming)>(korvex, "MonitorTiming")(50, 0), 0);
  });
}

// A DLL whose attach loads the library, starts TRAF and unloads the library again: the
// new thread waits for the loader lock all along, so it has not begun when the library
// goes.
TEST(MonitorUnload, DISABLED_ChildInsideADllAttach) {
  const int threads = thread_count();
  SetEnvironmentVariableA("KVTEST_UNLOAD_IN_ATTACH", "1");
  HMODULE unloader = LoadLibraryA("unloadinattach.dll");
  ASSERT_NE(unloader, nullptr);
  EXPECT_EQ(GetModuleHandleA("Korvex.dll"), nullptr);
  EXPECT_TRUE(back_to(threads)) << "the monitor thread is left";
  // Had the thread begun after the unload, it would have run in unmapped code by now; a
  // later load must work again.
  HMODULE korvex = LoadLibraryA("Korvex.dll");
  ASSERT_NE(korvex, nullptr);
  export_of<decltype(&::TrafficTrace)>(korvex, "TrafficTrace")(3, 10, true);
  EXPECT_TRUE(FreeLibrary(korvex));
}

TEST(MonitorUnload, UnloadRightAfterTheFirstAllocation) {
  EXPECT_EQ(exc_host::run_scenario("MonitorUnload", "Memory", {}, 60000), 0u);
}

TEST(MonitorUnload, UnloadRightAfterTheFirstTrafficRecord) {
  EXPECT_EQ(exc_host::run_scenario("MonitorUnload", "Traffic", {}, 60000), 0u);
}

TEST(MonitorUnload, UnloadInsideTheAttachThatStartedTheMonitor) {
  EXPECT_EQ(exc_host::run_scenario("MonitorUnload", "InsideADllAttach", {}, 60000), 0u);
}

TEST(MonitorUnload, UnloadRightAfterStartingAllThreeMonitors) {
  EXPECT_EQ(exc_host::run_scenario("MonitorUnload", "AllThree", {}, 60000), 0u);
}

}  // namespace
