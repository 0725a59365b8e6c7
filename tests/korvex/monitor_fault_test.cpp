// An access violation inside one of the library's own monitor threads ("TIMN", "MEMM",
// "TRAF") ends that thread with its "basalt::threadFunc" line, and the process goes on.
//
// The fault is made the way a host's bug would make it: memory of the library's that the
// host can reach gets damaged. The host hands the library some of its memory: it
// replaces, in Korvex.dll's import table, the C++ runtime's operator new (and delete)
// with its own functions, which pass every call on except those made on the one thread
// the host arms; those blocks are put in a page of the host's own. The host then takes
// its rights to that page away.
// - TIMN: the armed thread starts its first timing, whose record lands in the page; the
//   page is made read-only, and the monitor's next pass, which resets the statistics of
//   every record, faults writing there.
// - MEMM: the armed thread allocates traced blocks at a site known already, so that the
//   block table's entries grow into the page; the page is made unreadable, and the
//   monitor's next pass, which sums the live blocks per site, faults reading there.
// - TRAF: while the monitor is held where it next frees a block, a code is counted, and
//   then a lower one on the armed thread, whose node lands in the page (the table's first
//   node, never its root, so the pass takes the table whole without touching the page);
//   the page is made unreadable, and the pass that takes the table faults reading the
//   lowest code's bytes as it sums them.
// Nothing in the shipped library is there for the test.
//
// What this cannot show for every fault: the fault is thrown again from the faulting
// frame as a C++ exception, so a fault inside a function that cannot throw (declared
// noexcept, as destructors, swaps and moves of the standard containers are) ends the
// process through std::terminate, as any exception leaving such a function does. TRAF's
// pass swaps the table out under the traffic lock, and the swap writes to the root node:
// damage there faults inside the swap, which is noexcept, and ends the process that way.
// Ending only the thread there, without the unwinding, would be worse: every later
// TrafficTrace would wait for that lock without end. The same holds for the destructor of
// the table the pass took, which reads every node as it frees them: so once the fault has
// happened, the host gives the page back for reading (its handler runs before the
// library's translator), and the unwinding frees the table without a second fault. The
// faults this test makes land in ordinary code.
//
// Each case runs in a child process started from a folder of its own holding a copy of
// the program and the DLLs, so that the monitor's events.log and the settings file
// beside the program are the case's alone.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exceptions_host.h"
#include "kvmemory.h"
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

// The thread held at its next delete (TRAF's, between two passes), and the events that
// tell it is held and let it go.
std::atomic<DWORD> g_hold_thread{0};
HANDLE g_held = nullptr;
HANDLE g_release = nullptr;

void __cdecl host_delete(void* p, std::size_t size) {
  DWORD hold = GetCurrentThreadId();
  if (g_hold_thread.compare_exchange_strong(hold, 0)) {
    SetEvent(g_held);
    WaitForSingleObject(g_release, INFINITE);
  }
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

// The id of the monitor thread with that mark, read from its first report line.
DWORD monitor_thread_id(const std::string& mark) {
  for (int i = 0; i < 6000; ++i) {
    for (const stats_host::Line& line : stats_host::own_lines(stats_host::events_log())) {
      if (line.mark == mark) return static_cast<DWORD>(std::stoul(line.thread));
    }
    Sleep(10);
  }
  return 0;
}

// Puts host_new and host_delete in place of Korvex.dll's imports of the runtime's
// operator new and delete; the originals first, as the replacements pass calls on to
// them from the moment they are in place.
void replace_runtime_allocation() {
  HMODULE runtime = GetModuleHandleA("libstdc++-6.dll");
  ASSERT_NE(runtime, nullptr);
  g_real_new = reinterpret_cast<NewFn>(reinterpret_cast<void*>(GetProcAddress(runtime, kNewName)));
  g_real_delete =
      reinterpret_cast<DeleteFn>(reinterpret_cast<void*>(GetProcAddress(runtime, kDeleteName)));
  ASSERT_TRUE(g_real_new && g_real_delete);
  HMODULE korvex = korvex_host::library();
  ASSERT_NE(replace_import(korvex, "libstdc++-6.dll", kNewName, reinterpret_cast<void*>(&host_new)),
            nullptr)
      << "Korvex.dll imports no " << kNewName;
  ASSERT_NE(
      replace_import(korvex, "libstdc++-6.dll", kDeleteName, reinterpret_cast<void*>(&host_delete)),
      nullptr)
      << "Korvex.dll imports no " << kDeleteName;
}

unsigned char* host_page() {
  auto* page = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  g_page.store(page);
  return page;
}

// Waits for the monitor thread to end, then checks that it ended on its own and that the
// fault its line names lay in the library's code; the library still serves this thread.
void expect_monitor_ended_by_its_fault(HANDLE monitor, DWORD id, const std::string& mark) {
  ASSERT_EQ(WaitForSingleObject(monitor, 120000), WAIT_OBJECT_0)
      << "the " << mark << " thread goes on";
  DWORD exit_code = 1;
  GetExitCodeThread(monitor, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  CloseHandle(monitor);

  // (The report sets the thread's mark to its own, so the thread's lines are picked by
  // its id.)
  bool in_library = false;
  for (const stats_host::Line& line : stats_host::own_lines(stats_host::events_log()))
    if (line.thread == std::to_string(id) &&
        line.text.find("basalt::threadFunc:tag<" + mark + ">") != std::string::npos)
      in_library = inside_korvex(fault_address(line.text));
  EXPECT_TRUE(in_library);

  auto util_init = korvex_host::proc<decltype(&::util_init)>("util_init");
  auto event = korvex_host::proc<decltype(&::event)>("event");
  util_init(".\\events.log", nullptr, nullptr, nullptr);
  event("still running after the %s thread ended", mark.c_str());
}

TEST(MonitorFault, DISABLED_ChildTimingMonitor) {
  WritePrivateProfileStringA("dumps", "auto", "0", stats_host::settings_file().c_str());
  replace_runtime_allocation();
  if (HasFatalFailure()) return;

  ASSERT_NE(korvex_host::proc<decltype(&::MonitorTiming)>("MonitorTiming")(200, 0), 0);
  const DWORD id = monitor_thread_id("TIMN");
  ASSERT_NE(id, 0u) << "no report of the TIMN thread";
  HANDLE monitor = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(monitor, nullptr);

  // The first timing of this thread: its record goes to the host's page, and stays in
  // the table while it runs (whether or not a pass comes before the protection).
  unsigned char* page = host_page();
  ASSERT_NE(page, nullptr);
  g_armed_thread.store(GetCurrentThreadId());
  const bool started =
      korvex_host::proc<decltype(&::StartTiming)>("StartTiming")("damaged", 1, false);
  g_armed_thread.store(0);
  ASSERT_TRUE(started);
  ASSERT_GT(g_blocks_given.load(), 0) << "the timing's record was not allocated here";
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_READONLY, &old));

  expect_monitor_ended_by_its_fault(monitor, id, "TIMN");
  std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

TEST(MonitorFault, DISABLED_ChildMemoryMonitor) {
  const std::string settings = stats_host::settings_file();
  WritePrivateProfileStringA("dumps", "auto", "0", settings.c_str());
  WritePrivateProfileStringA("mem_trace", "enable", "1", settings.c_str());
  WritePrivateProfileStringA("mem_trace", "period", "0", settings.c_str());  // the shortest
  replace_runtime_allocation();
  if (HasFatalFailure()) return;
  auto new_memory = korvex_host::proc<decltype(&::_NewMemory)>("_NewMemory");

  // The first allocation starts MEMM (and makes the library's trace state); its first
  // pass switches tracing on, and then reports.
  ASSERT_NE(new_memory(16, "fault.cpp", 1, false), nullptr);
  const DWORD id = monitor_thread_id("MEMM");
  ASSERT_NE(id, 0u) << "no report of the MEMM thread";
  HANDLE monitor = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(monitor, nullptr);

  // A traced block makes the site; more blocks of the same site on the armed thread grow
  // the block table's entries into the host's page.
  constexpr char kSiteFile[] = "fault.cpp";
  constexpr int kSiteLine = 2;
  ASSERT_NE(new_memory(16, kSiteFile, kSiteLine, false), nullptr);
  unsigned char* page = host_page();
  ASSERT_NE(page, nullptr);
  g_armed_thread.store(GetCurrentThreadId());
  for (int i = 0; i < 8; ++i) new_memory(16, kSiteFile, kSiteLine, false);
  g_armed_thread.store(0);
  ASSERT_GT(g_blocks_given.load(), 0) << "the block table's entries were not allocated here";
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_NOACCESS, &old));

  expect_monitor_ended_by_its_fault(monitor, id, "MEMM");
  // The table still points into the page: readable again before the library lets go of it.
  VirtualProtect(page, 4096, PAGE_READWRITE, &old);
  std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

// The host's first handler: a read of the page, which has been damaged, gives the page
// back for reading, so that the unwinding frees the table's nodes without a second fault;
// the library's translator (the next handler) still takes the fault.
LONG WINAPI give_the_page_back(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2 &&
      in_page(reinterpret_cast<const void*>(record.ExceptionInformation[1]))) {
    DWORD old = 0;
    VirtualProtect(g_page.load(), 4096, PAGE_READONLY, &old);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(MonitorFault, DISABLED_ChildTrafficMonitor) {
  const std::string settings = stats_host::settings_file();
  WritePrivateProfileStringA("dumps", "auto", "0", settings.c_str());
  WritePrivateProfileStringA("traffic_trace", "enable", "1", settings.c_str());
  WritePrivateProfileStringA("traffic_trace", "period", "0", settings.c_str());  // the shortest
  replace_runtime_allocation();
  if (HasFatalFailure()) return;
  auto trace = korvex_host::proc<decltype(&::TrafficTrace)>("TrafficTrace");

  // The first trace starts TRAF; counting begins with its first pass, which reports.
  trace(9, 0, true);
  const DWORD id = monitor_thread_id("TRAF");
  ASSERT_NE(id, 0u) << "no report of the TRAF thread";
  HANDLE monitor = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(monitor, nullptr);

  // A counted code makes a pass free a node: the monitor is held where it next frees a
  // block (never under the traffic lock), while the table is filled.
  g_held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(g_held && g_release);
  g_hold_thread.store(id);
  trace(9, 1, true);
  ASSERT_EQ(WaitForSingleObject(g_held, 120000), WAIT_OBJECT_0) << "TRAF freed no node";

  // Code 2's node lies outside the page and is the table's root (a code 9 still there is
  // rotated below it); code 1's, the table's first, lies inside.
  unsigned char* page = host_page();
  ASSERT_NE(page, nullptr);
  trace(2, 20, true);
  g_armed_thread.store(GetCurrentThreadId());
  trace(1, 10, true);
  g_armed_thread.store(0);
  ASSERT_GT(g_blocks_given.load(), 0) << "the code's node was not allocated here";
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_NOACCESS, &old));
  PVOID handler = AddVectoredExceptionHandler(1, give_the_page_back);
  ASSERT_NE(handler, nullptr);
  SetEvent(g_release);

  expect_monitor_ended_by_its_fault(monitor, id, "TRAF");
  RemoveVectoredExceptionHandler(handler);
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

DWORD run_child(const std::string& program, const std::string& folder, const std::string& child) {
  std::string command = "\"" + program +
                        "\" --gtest_also_run_disabled_tests "
                        "--gtest_filter=MonitorFault.DISABLED_Child" +
                        child;
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

// Runs the child case in a folder of its own, then checks the monitor's one end line
// with the access violation (parameter: 1 for a write, 0 for a read), the translator's
// report before it on that thread (picked by the "(process:thread" of the end line), and
// the line the process wrote after the monitor had ended.
void expect_only_the_monitor_ended(const std::string& child, const std::string& mark,
                                   const char* access) {
  korvex_host::TempFolder dir("monitor_fault_" + mark);
  std::string program;
  copy_program(dir.path(), program);
  if (::testing::Test::HasFatalFailure()) return;
  const DWORD code = run_child(program, dir.path(), child);
  EXPECT_EQ(code, 0u) << "the child crashed, hung (0xDEAD) or failed its steps";

  const std::vector<std::string> lines = korvex_host::read_lines(dir.file("events.log"));
  const std::string tag = "basalt::threadFunc:tag<" + mark + ">";
  std::vector<std::string> ends;
  for (const std::string& line : lines)
    if (line.find(tag) != std::string::npos) ends.push_back(line);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_NE(ends[0].find(tag + "e.GetErrorDesc()<Exception 0xC0000005 occured at address 0x"),
            std::string::npos)
      << ends[0];
  EXPECT_NE(ends[0].find(std::string(". Parameters: ") + access + " 0x"), std::string::npos)
      << ends[0];
  const std::size_t open = ends[0].rfind('(', ends[0].find("): basalt::threadFunc"));
  const std::string thread =
      ends[0].substr(open, ends[0].find(':', ends[0].find(':', open) + 1) - open);
  std::vector<std::string> monitor, others;
  for (const std::string& line : lines)
    (line.find(thread + ":") != std::string::npos || line.find(thread + ")") != std::string::npos
         ? monitor
         : others)
        .push_back(line);
  EXPECT_TRUE(exc_host::any_line_has(monitor, "SEH exception catched. Exception report:"));
  EXPECT_TRUE(exc_host::any_line_has(others, "still running after the " + mark + " thread ended"));
}

TEST(MonitorFault, AccessViolationInTheTimingMonitorEndsOnlyThatThread) {
  expect_only_the_monitor_ended("TimingMonitor", "TIMN", "0x00000001");
}

// A fault while the pass sums the blocks per site is not taken for a lack of memory
// there (the pass goes on without the sums when their copy can't be made).
TEST(MonitorFault, AccessViolationInTheMemoryMonitorEndsOnlyThatThread) {
  expect_only_the_monitor_ended("MemoryMonitor", "MEMM", "0x00000000");
}

TEST(MonitorFault, AccessViolationInTheTrafficMonitorEndsOnlyThatThread) {
  expect_only_the_monitor_ended("TrafficMonitor", "TRAF", "0x00000000");
}

}  // namespace
