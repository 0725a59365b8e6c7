// Call stacks (DrawCurrentStack, StackWalk with good and bad contexts) and
// KTerminateThread on a running thread, an ended thread and the calling thread.
#include <atomic>

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
