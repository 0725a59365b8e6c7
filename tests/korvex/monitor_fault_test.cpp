// An access violation inside the library's own "TIMN" monitor thread ends that thread
// with its "basalt::threadFunc" line, and the process goes on.
//
// The fault is made the way a host's bug would make it: memory of the library's that the
// host can reach gets damaged. The host hands the library the memory of its timing
// records: it replaces, in Korvex.dll's import table, the C++ runtime's operator new (and
// delete) with its own functions, which pass every call on except those made while the
// host starts one timing; those blocks are put in a page of the host's own. The host then
// makes the page read-only. The monitor's next pass resets the statistics of every
// record, a write to that page: a write fault in the library's code on the TIMN thread.
// Nothing in the shipped library is there for the test.
//
// What this cannot show for every fault: the fault is thrown again from the faulting
// frame as a C++ exception, so a fault inside a function that cannot throw (declared
// noexcept, as destructors, swaps and moves of the standard containers are) ends the
// process through std::terminate, as any exception leaving such a function does. The same
// damage to a node of TRAF's traffic table faults inside the table's swap, which is
// noexcept, and ends the process that way. Ending only the thread there, without the
// unwinding, would be worse: the swap runs under the traffic lock, which every later
// TrafficTrace would then wait for without end. The faults this test makes land in
// ordinary code.
//
// The case runs in a child process started from a folder of its own holding a copy of
// the program and the DLLs, so that the monitor's events.log and the settings file
// beside the program are the case's alone.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exceptions_host.h"
#include "kvstats.h"
#include "stats_host.h"

namespace {

constexpr DWORD kChildLimitMs = 240000;

#if defined(__x86_64__)
constexpr char kNewName[] = "_Znwy";
constexpr char kDeleteName[] = "_ZdlPvy";
#else
constexpr char kNewName[] = "_Znwj";
constexpr char kDeleteName[] = "_ZdlPvj";
#endif

using NewFn = void*(__cdecl*)(std::size_t);
using DeleteFn = void(__cdecl*)(void*, std::size_t);

// Replaces a function that module imports from dll by name; answers the original, or
// null when the module does not import it.
void* replace_import(HMODULE module, const char* dll, const char* name, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), name) != 0) continue;
      DWORD old = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
        return nullptr;
      void* original = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      return original;
    }
  }
  return nullptr;
}

// The host's allocator for the library: allocations on the armed thread go to a page of
// the host's (16-byte aligned, one after the other); deletes of them are not passed on.
NewFn g_real_new = nullptr;
DeleteFn g_real_delete = nullptr;
std::atomic<DWORD> g_armed_thread{0};
std::atomic<unsigned char*> g_page{nullptr};
std::size_t g_page_used = 0;  // by the armed thread only
std::atomic<int> g_blocks_given{0};

bool in_page(const void* p) {
  const unsigned char* page = g_page.load();
  const auto* at = static_cast<const unsigned char*>(p);
  return page != nullptr && at >= page && at < page + 4096;
}

void* __cdecl host_new(std::size_t size) {
  const std::size_t rounded = (size + 15) / 16 * 16;
  if (g_armed_thread.load() == GetCurrentThreadId() && g_page_used + rounded <= 4096) {
    void* block = g_page.load() + g_page_used;
    g_page_used += rounded;
    ++g_blocks_given;
    return block;
  }
  return g_real_new(size);
}

void __cdecl host_delete(void* p, std::size_t size) {
  if (!in_page(p)) g_real_delete(p, size);
}

// The fault's address in the thread's line, as a number (0 when there is none).
std::uintptr_t fault_address(const std::string& text) {
  const std::string head = "Exception 0xC0000005 occured at address 0x";
  const std::size_t at = text.find(head);
  if (at == std::string::npos) return 0;
  return static_cast<std::uintptr_t>(std::strtoull(text.c_str() + at + head.size(), nullptr, 16));
}

bool inside_korvex(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION region;
  return address != 0 &&
         VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) != 0 &&
         region.AllocationBase == korvex_host::library();
}

// The id of the TIMN thread, read from its first report line.
DWORD timing_thread_id() {
  for (int i = 0; i < 6000; ++i) {
    for (const stats_host::Line& line : stats_host::own_lines(stats_host::events_log())) {
      if (line.mark == "TIMN") return static_cast<DWORD>(std::stoul(line.thread));
    }
    Sleep(10);
  }
  return 0;
}

TEST(MonitorFault, DISABLED_ChildTimingMonitor) {
  WritePrivateProfileStringA("dumps", "auto", "0", stats_host::settings_file().c_str());
  HMODULE korvex = korvex_host::library();
  // The originals first: the replacements pass calls on to them from the moment they
  // are in place.
  HMODULE runtime = GetModuleHandleA("libstdc++-6.dll");
  ASSERT_NE(runtime, nullptr);
  g_real_new = reinterpret_cast<NewFn>(reinterpret_cast<void*>(GetProcAddress(runtime, kNewName)));
  g_real_delete =
      reinterpret_cast<DeleteFn>(reinterpret_cast<void*>(GetProcAddress(runtime, kDeleteName)));
  ASSERT_TRUE(g_real_new && g_real_delete);
  ASSERT_NE(replace_import(korvex, "libstdc++-6.dll", kNewName, reinterpret_cast<void*>(&host_new)),
            nullptr)
      << "Korvex.dll imports no " << kNewName;
  ASSERT_NE(
      replace_import(korvex, "libstdc++-6.dll", kDeleteName, reinterpret_cast<void*>(&host_delete)),
      nullptr)
      << "Korvex.dll imports no " << kDeleteName;

  ASSERT_NE(korvex_host::proc<decltype(&::MonitorTiming)>("MonitorTiming")(200, 0), 0);
  const DWORD id = timing_thread_id();
  ASSERT_NE(id, 0u) << "no report of the TIMN thread";
  HANDLE monitor = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(monitor, nullptr);

  // The first timing of this thread: its record goes to the host's page, and stays in
  // the table while it runs (whether or not a pass comes before the protection).
  auto* page = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(page, nullptr);
  g_page.store(page);
  g_armed_thread.store(GetCurrentThreadId());
  const bool started =
      korvex_host::proc<decltype(&::StartTiming)>("StartTiming")("damaged", 1, false);
  g_armed_thread.store(0);
  ASSERT_TRUE(started);
  ASSERT_GT(g_blocks_given.load(), 0) << "the timing's record was not allocated here";
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_READONLY, &old));

  ASSERT_EQ(WaitForSingleObject(monitor, 120000), WAIT_OBJECT_0) << "the TIMN thread goes on";
  DWORD exit_code = 1;
  GetExitCodeThread(monitor, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  CloseHandle(monitor);

  // The fault was in the library's own code. (The report sets the thread's mark to its
  // own, so the thread's lines are picked by its id.)
  bool in_library = false;
  for (const stats_host::Line& line : stats_host::own_lines(stats_host::events_log()))
    if (line.thread == std::to_string(id) &&
        line.text.find("basalt::threadFunc:tag<TIMN>") != std::string::npos)
      in_library = inside_korvex(fault_address(line.text));
  EXPECT_TRUE(in_library);

  // The process goes on: the library still serves this thread.
  auto util_init = korvex_host::proc<decltype(&::util_init)>("util_init");
  auto event = korvex_host::proc<decltype(&::event)>("event");
  util_init(".\\events.log", nullptr, nullptr, nullptr);
  event("still running after the TIMN thread ended");
  std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

// Copies the program and the DLLs it loads into folder.
void copy_program(const std::string& folder, std::string& program) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string name = std::string(self).substr(std::string(self).find_last_of('\\') + 1);
  program = folder + "\\" + name;
  ASSERT_TRUE(CopyFileA(self, program.c_str(), FALSE));
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((korvex_host::host_folder() + "*.dll").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    const std::string dll = found.cFileName;
    if (dll == "Korvex.dll" || dll.rfind("lib", 0) == 0) {
      ASSERT_TRUE(CopyFileA((korvex_host::host_folder() + dll).c_str(),
                            (folder + "\\" + dll).c_str(), FALSE))
          << dll;
    }
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

DWORD run_child(const std::string& program, const std::string& folder) {
  std::string command = "\"" + program +
                        "\" --gtest_also_run_disabled_tests "
                        "--gtest_filter=MonitorFault.DISABLED_ChildTimingMonitor";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process))
    return 255;
  DWORD code = exc_host::kScenarioTimedOut;
  if (WaitForSingleObject(process.hProcess, kChildLimitMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, code);
    WaitForSingleObject(process.hProcess, 10000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(MonitorFault, AccessViolationInTheTimingMonitorEndsOnlyThatThread) {
  korvex_host::TempFolder dir("monitor_fault");
  std::string program;
  copy_program(dir.path(), program);
  if (HasFatalFailure()) return;
  const DWORD code = run_child(program, dir.path());
  EXPECT_EQ(code, 0u) << "the child crashed, hung (0xDEAD) or failed its steps";

  // The TIMN thread's one end line, and the translator's report before it on that
  // thread (picked by the "(process:thread" of the end line).
  const std::vector<std::string> lines = korvex_host::read_lines(dir.file("events.log"));
  std::vector<std::string> ends;
  for (const std::string& line : lines)
    if (line.find("basalt::threadFunc:tag<TIMN>") != std::string::npos) ends.push_back(line);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_NE(ends[0].find("basalt::threadFunc:tag<TIMN>e.GetErrorDesc()<Exception 0xC0000005 "
                         "occured at address 0x"),
            std::string::npos)
      << ends[0];
  // A write (first parameter 1).
  EXPECT_NE(ends[0].find(". Parameters: 0x00000001 0x"), std::string::npos) << ends[0];
  const std::size_t open = ends[0].rfind('(', ends[0].find("): basalt::threadFunc"));
  const std::string thread =
      ends[0].substr(open, ends[0].find(':', ends[0].find(':', open) + 1) - open);
  std::vector<std::string> timn, others;
  for (const std::string& line : lines)
    (line.find(thread + ":") != std::string::npos || line.find(thread + ")") != std::string::npos
         ? timn
         : others)
        .push_back(line);
  EXPECT_TRUE(exc_host::any_line_has(timn, "SEH exception catched. Exception report:"));
  EXPECT_TRUE(exc_host::any_line_has(others, "still running after the TIMN thread ended"));
}

}  // namespace
