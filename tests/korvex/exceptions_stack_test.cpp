// Call stacks (DrawCurrentStack, StackWalk with good and bad contexts) and
// KTerminateThread on a running thread, an ended thread and the calling thread.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "exceptions_host.h"

namespace {

using exc_host::any_line_ends_with;
using exc_host::any_line_has;

std::string program_path() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Runs fn on a thread attached to its own events log; answers that log's lines.
template <class Fn>
std::vector<std::string> logged_on_own_thread(const korvex_host::TempFolder& dir, Fn fn) {
  const std::string log = dir.file("events.log");
  korvex_host::on_own_thread([&] {
    korvex_host::proc<decltype(&::util_init)>("util_init")(log.c_str(), nullptr, nullptr, nullptr);
    fn();
  });
  return korvex_host::read_lines(log);
}

int frame_lines(const std::vector<std::string>& lines) {
  int n = 0;
  for (const std::string& line : lines) n += line.find("): 0x") != std::string::npos ? 1 : 0;
  return n;
}

__attribute__((noinline)) int draw_from_here() {
  return korvex_host::proc<decltype(&DrawCurrentStack)>("DrawCurrentStack")();
}

TEST(CallStack, CurrentStackNamesThisProgramWithSectionAndOffset) {
  korvex_host::TempFolder dir("stack_current");
  int frames = 0;
  const auto lines = logged_on_own_thread(dir, [&] { frames = draw_from_here(); });
  ASSERT_GE(frames, 2);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(frames) + 3);
  EXPECT_EQ(lines[0].rfind("F: ", 0), 0u);
  EXPECT_TRUE(
      any_line_ends_with(lines, "): ------------- Call stack (begin) " + std::string(85, '-')));
  EXPECT_TRUE(any_line_ends_with(lines, "): Address\t\tFrame\t\t\tLogical addr\t\tModule"));
  EXPECT_TRUE(
      any_line_ends_with(lines, "): -------------- Call stack (end) " + std::string(86, '-')));
  EXPECT_EQ(frame_lines(lines), frames);
  // A frame in this program's code section, e.g. "0001:00001A2B\t\tC:\...\x.exe".
  EXPECT_TRUE(any_line_ends_with(lines, "\t\t" + program_path()));
  EXPECT_TRUE(any_line_has(lines, "\t\t0001:"));
}

TEST(CallStack, WalkFromACapturedContextAndStopAtAnUnreadableFrame) {
  korvex_host::TempFolder dir("stack_walk");
  auto walk = korvex_host::proc<decltype(&StackWalk)>("StackWalk");
  int good = 0;
  int bad = 0;
  int none = -1;
  const auto lines = logged_on_own_thread(dir, [&] {
    CONTEXT context;
    RtlCaptureContext(&context);
    good = walk(&context);
#if defined(__x86_64__)
    context.Rsp = 0x10;  // no stack there
#else
    context.Ebp = 0x10;
#endif
    bad = walk(&context);
    none = walk(nullptr);
  });
  EXPECT_GE(good, 2);
  EXPECT_EQ(bad, 1);
  EXPECT_EQ(none, 0);
  EXPECT_EQ(frame_lines(lines), good + bad);
}

// One frame line of a call stack: "0x<address>\t\t0x<frame>\t\t<section>:<offset>\t\t<module>".
struct FrameLine {
  std::uintptr_t address = 0;
  unsigned section = 0;
  std::uintptr_t offset = 0;
  std::string module;
};

std::vector<FrameLine> frames_of(const std::vector<std::string>& lines) {
  std::vector<FrameLine> frames;
  for (const std::string& line : lines) {
    const std::size_t at = line.find("): 0x");
    if (at == std::string::npos) continue;
    FrameLine f;
    unsigned long long address = 0;
    unsigned long long frame = 0;
    unsigned long long offset = 0;
    int used = 0;
    if (std::sscanf(line.c_str() + at + 3, "0x%llX\t\t0x%llX\t\t%X:%llX\t\t%n", &address, &frame,
                    &f.section, &offset, &used) < 4)
      continue;
    f.address = static_cast<std::uintptr_t>(address);
    f.offset = static_cast<std::uintptr_t>(offset);
    f.module = line.substr(at + 3 + used);
    frames.push_back(f);
  }
  return frames;
}

// The section number (from 1) and offset of an address of this program, read from its
// own image headers.
std::pair<unsigned, std::uintptr_t> section_of(std::uintptr_t address) {
  const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const std::uintptr_t rva = address - base;
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const std::uintptr_t size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
    if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
      return {i + 1, rva - section->VirtualAddress};
  }
  return {0, 0};
}

// Where the chain outer -> middle -> inner returns to: into middle, then into outer.
struct Returns {
  std::uintptr_t into_middle = 0;
  std::uintptr_t into_outer = 0;
};

volatile int* volatile g_unmapped = reinterpret_cast<int*>(16);

__attribute__((noinline)) int inner(Returns& r, bool fault) {
  r.into_middle = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
  int frames = 0;
  if (fault) {
    *g_unmapped = 1;
  } else {
    frames = korvex_host::proc<decltype(&DrawCurrentStack)>("DrawCurrentStack")();
  }
  __asm__ __volatile__("" ::: "memory");  // no tail call: this frame stays
  return frames;
}

__attribute__((noinline)) int middle(Returns& r, bool fault) {
  r.into_outer = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
  const int frames = inner(r, fault);
  __asm__ __volatile__("" ::: "memory");
  return frames;
}

__attribute__((noinline)) int outer(Returns& r, bool fault) {
  const int frames = middle(r, fault);
  __asm__ __volatile__("" ::: "memory");
  return frames;
}

// The frames after `first` name this program's functions middle and outer, in that
// order, each with its section and offset in the program.
void expect_host_chain(const std::vector<FrameLine>& frames, std::size_t first, const Returns& r) {
  ASSERT_GE(frames.size(), first + 3);
  const std::uintptr_t expected[2] = {r.into_middle, r.into_outer};
  for (std::size_t i = 0; i < 2; ++i) {
    const FrameLine& f = frames[first + 1 + i];
    EXPECT_EQ(f.address, expected[i]) << "frame " << first + 1 + i;
    EXPECT_EQ(f.module, program_path());
    const auto [section, offset] = section_of(f.address);
    EXPECT_EQ(f.section, section);
    EXPECT_EQ(f.offset, offset);
  }
}

bool in_inner(std::uintptr_t address) {
  const auto start = reinterpret_cast<std::uintptr_t>(&inner);
  return address > start && address < start + 4096;
}

// The stack drawn from inside the DLL names the host's functions that led there: the
// frame-pointer chain on 32-bit x86, the unwind tables on x86-64. Frames inside the DLL
// come first where the captured context starts there (x86-64).
TEST(CallStack, CurrentStackNamesTheHostFunctionsThatLedThere) {
  korvex_host::TempFolder dir("stack_chain");
  Returns r;
  const auto lines = logged_on_own_thread(dir, [&] { outer(r, false); });
  const auto frames = frames_of(lines);
  std::size_t first = 0;
  while (first < frames.size() && frames[first].module != program_path()) {
    EXPECT_EQ(frames[first].module.substr(frames[first].module.size() - 10), "Korvex.dll");
    ++first;
  }
  ASSERT_LT(first, frames.size());
  EXPECT_TRUE(in_inner(frames[first].address)) << std::hex << frames[first].address;
  expect_host_chain(frames, first, r);
}

// From a fault's context StackWalk starts at the faulting instruction in inner, then
// follows the same chain.
struct FaultWalk {
  std::string log;
  Returns returns;
  DWORD thread = 0;
  int frames = 0;
};
FaultWalk* g_fault_walk = nullptr;

LONG WINAPI walk_and_end_thread(EXCEPTION_POINTERS* pointers) {
  if (!g_fault_walk || GetCurrentThreadId() != g_fault_walk->thread)
    return EXCEPTION_CONTINUE_SEARCH;
  g_fault_walk->frames =
      korvex_host::proc<decltype(&StackWalk)>("StackWalk")(pointers->ContextRecord);
  ExitThread(0);
}

DWORD WINAPI fault_in_chain(void* data) {
  auto* walk = static_cast<FaultWalk*>(data);
  korvex_host::proc<decltype(&::util_init)>("util_init")(walk->log.c_str(), nullptr, nullptr,
                                                         nullptr);
  walk->thread = GetCurrentThreadId();
  outer(walk->returns, true);
  return 0;
}

TEST(CallStack, WalkFromAFaultContextNamesTheFaultingHostFunctions) {
  korvex_host::TempFolder dir("stack_fault");
  FaultWalk walk;
  walk.log = dir.file("events.log");
  g_fault_walk = &walk;
  PVOID handler = AddVectoredExceptionHandler(1, walk_and_end_thread);
  HANDLE thread = CreateThread(nullptr, 0, fault_in_chain, &walk, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  RemoveVectoredExceptionHandler(handler);
  g_fault_walk = nullptr;
  const auto frames = frames_of(korvex_host::read_lines(walk.log));
  ASSERT_EQ(static_cast<int>(frames.size()), walk.frames);
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(frames[0].module, program_path());
  EXPECT_TRUE(in_inner(frames[0].address)) << std::hex << frames[0].address;
  expect_host_chain(frames, 0, walk.returns);
}

DWORD WINAPI wait_forever(void* started) {
  SetEvent(static_cast<HANDLE>(started));
  for (;;) Sleep(50);
}

TEST(TerminateThread, RunningThreadIsLoggedWithItsStackAndEnded) {
  exc_host::Settings settings;  // "auto" 0: no dump
  korvex_host::TempFolder dir("kterm_running");
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, wait_forever, started, 0, &id);
  WaitForSingleObject(started, INFINITE);
  int answer = 0;
  const auto lines = logged_on_own_thread(dir, [&] {
    answer = korvex_host::proc<decltype(&KTerminateThread)>("KTerminateThread")(thread, 42);
  });
  EXPECT_NE(answer, 0);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
  CloseHandle(started);
  EXPECT_TRUE(any_line_ends_with(lines, "): KTerminateThread. Terminating thread " +
                                            std::to_string(id) + ". Thread's stack:"));
  EXPECT_TRUE(any_line_has(lines, "Call stack (begin)"));
  EXPECT_GE(frame_lines(lines), 1);
}

DWORD WINAPI end_at_once(void*) {
  return 3;
}

TEST(TerminateThread, EndedThreadIsNotTerminated) {
  exc_host::Settings settings;
  korvex_host::TempFolder dir("kterm_ended");
  HANDLE thread = CreateThread(nullptr, 0, end_at_once, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  int answer = -1;
  const auto lines = logged_on_own_thread(dir, [&] {
    answer = korvex_host::proc<decltype(&KTerminateThread)>("KTerminateThread")(thread, 42);
  });
  CloseHandle(thread);
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(any_line_ends_with(lines, "): Thread is not active. ExitCode [3]"));
  EXPECT_FALSE(any_line_has(lines, "Call stack (begin)"));
}

TEST(TerminateThread, CallingThreadIsLeftRunning) {
  exc_host::Settings settings;
  korvex_host::TempFolder dir("kterm_self");
  int answer = -1;
  std::atomic<bool> still_running{false};
  const auto lines = logged_on_own_thread(dir, [&] {
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    answer = korvex_host::proc<decltype(&KTerminateThread)>("KTerminateThread")(self, 42);
    CloseHandle(self);
    still_running = true;
  });
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(still_running);
  EXPECT_TRUE(any_line_has(lines, "is the calling thread: not terminated."));
}

}  // namespace
