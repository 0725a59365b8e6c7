// A host that unloads Korvex.dll after its monitor threads started: the library stops
// them before it goes, so the process goes on unharmed. (Its own program: the other
// host programs keep the library loaded for their whole life.)
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "kvmemory.h"
#include "kvstats.h"

namespace {

template <class F>
F export_of(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TEST(MemoryUnload, UnloadingStopsTheMonitorsAndTheProcessGoesOn) {
  HMODULE korvex = LoadLibraryA("Korvex.dll");
  ASSERT_NE(korvex, nullptr);
  auto new_memory = export_of<decltype(&::_NewMemory)>(korvex, "_NewMemory");
  auto delete_memory = export_of<decltype(&::_DeleteMemory)>(korvex, "_DeleteMemory");
  auto traffic = export_of<decltype(&::TrafficTrace)>(korvex, "TrafficTrace");
  auto monitor_timing = export_of<decltype(&::MonitorTiming)>(korvex, "MonitorTiming");
  ASSERT_NE(new_memory, nullptr);
  ASSERT_NE(traffic, nullptr);
  ASSERT_NE(monitor_timing, nullptr);

  void* block = new_memory(10, "unload.cpp", 1, false);
  delete_memory(&block);
  traffic(3, 10, true);
  ASSERT_NE(monitor_timing(50, 0), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(FreeLibrary(korvex));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(GetModuleHandleA("Korvex.dll"), nullptr);
  EXPECT_LT(took, std::chrono::seconds(3));
  // Monitors left running would wake in unmapped code within their periods.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  SUCCEED();
}

}  // namespace
