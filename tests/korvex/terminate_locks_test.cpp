// KTerminateThread on a thread that holds the loader lock, which looking up a module's
// path needs, or the process heap's lock. Each case runs in a child process of its own (a
// lock held by a terminated thread stays held, so the child is ended rather than left to
// exit), with a limit on its run: a KTerminateThread that waits for the lock never returns.
//
// No case has the thread hold its log's write mutex. That mutex has no name, and a thread
// holds it only around SetFilePointer and WriteFile on a log file opened for appending: a
// write to a local file waits for nothing a test controls, and a named pipe can't stand in for the
// file (the log's access rights, read and append, don't open one for writing). So a thread can't be
// stopped while it holds the mutex, other than by suspending it at a random moment.
#include <string>

#include "exceptions_host.h"

namespace {

using exc_host::any_line_has;

constexpr DWORD kChildLimitMs = 60000;
constexpr DWORD kStepLimitMs = 20000;
constexpr unsigned kExitCode = 42;
constexpr char kFolderVariable[] = "KVTEST_TERMINATE_FOLDER";

// Child exit codes.
enum : UINT { kPassed = 0, kTargetNotReady = 3, kNotReturned = 4, kWrongOutcome = 5 };

[[noreturn]] void end_child(UINT code) {
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), code);
  for (;;) Sleep(INFINITE);
}

std::string folder() {
  char path[MAX_PATH] = "";
  GetEnvironmentVariableA(kFolderVariable, path, MAX_PATH);
  return path;
}

// The thread that calls KTerminateThread. It is made, and attached to its log, before
// the target takes its lock (starting a thread needs the loader lock and the heap), and
// it never ends (ending needs the loader lock as well).
class Terminator {
 public:
  explicit Terminator(const std::string& log)
      : log_(log),
        go_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        attached_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    CloseHandle(CreateThread(nullptr, 0, &Terminator::body, this, 0, nullptr));
    WaitForSingleObject(attached_, kStepLimitMs);
  }

  // Terminates target from the other thread; answers whether that call returned.
  bool terminate(HANDLE target) {
    target_ = target;
    SetEvent(go_);
    return WaitForSingleObject(done_, kStepLimitMs) == WAIT_OBJECT_0;
  }
  int answer() const { return answer_; }
  HANDLE done() const { return done_; }

 private:
  static DWORD WINAPI body(void* self_pointer) {
    auto* self = static_cast<Terminator*>(self_pointer);
    auto util_init = korvex_host::proc<decltype(&::util_init)>("util_init");
    auto terminate = korvex_host::proc<decltype(&KTerminateThread)>("KTerminateThread");
    util_init(self->log_.c_str(), nullptr, nullptr, nullptr);
    SetEvent(self->attached_);
    WaitForSingleObject(self->go_, INFINITE);
    self->answer_ = terminate(self->target_, kExitCode);
    SetEvent(self->done_);
    for (;;) Sleep(INFINITE);
  }

  std::string log_;
  HANDLE go_;
  HANDLE attached_;
  HANDLE done_;
  HANDLE target_ = nullptr;
  int answer_ = 0;
};

// Terminates target, which holds its lock now, and ends the child with the outcome.
[[noreturn]] void terminate_and_end(Terminator& terminator, HANDLE target) {
  if (!terminator.terminate(target)) end_child(kNotReturned);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(target, kStepLimitMs) == WAIT_OBJECT_0 &&
                     GetExitCodeThread(target, &code) && code == kExitCode;
  end_child(terminator.answer() != 0 && ended ? kPassed : kWrongOutcome);
}

void prepare_child() {
  // No dump: the dump step comes before the thread is suspended, and reads settings.
  korvex_host::proc<decltype(&SetDisableDumpsOnProcessStop)>("SetDisableDumpsOnProcessStop")();
}

std::string held_event_name() {
  return "kvtest_loader_held_" + std::to_string(GetCurrentProcessId());
}

DWORD WINAPI load_holder(void*) {
  LoadLibraryA("loaderhold.dll");  // its attach never returns
  return 0;
}

TEST(TerminateHeldLock, DISABLED_ChildLoaderLock) {
  prepare_child();
  Terminator terminator(folder() + "\\events.log");
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, held_event_name().c_str());
  HANDLE target = CreateThread(nullptr, 0, load_holder, nullptr, 0, nullptr);
  if (WaitForSingleObject(held, kStepLimitMs) != WAIT_OBJECT_0) end_child(kTargetNotReady);
  terminate_and_end(terminator, target);
}

std::string heap_event_name() {
  return "kvtest_heap_held_" + std::to_string(GetCurrentProcessId());
}

// Holds the process heap's lock for good, as a thread hung inside an allocation would.
DWORD WINAPI heap_holder(void*) {
  HeapLock(GetProcessHeap());
  HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, heap_event_name().c_str());
  SetEvent(held);
  for (;;) Sleep(INFINITE);
}

TEST(TerminateHeldLock, DISABLED_ChildHeapLock) {
  prepare_child();
  Terminator terminator(folder() + "\\events.log");
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, heap_event_name().c_str());
  HANDLE target = CreateThread(nullptr, 0, heap_holder, nullptr, 0, nullptr);
  if (WaitForSingleObject(held, kStepLimitMs) != WAIT_OBJECT_0) end_child(kTargetNotReady);
  terminate_and_end(terminator, target);
}

// The lines of the child's events.log, once the child ended with exit code 0.
std::vector<std::string> run_child(const char* name) {
  korvex_host::TempFolder dir(std::string("kterm_") + name);
  const DWORD code = exc_host::run_scenario(
      "TerminateHeldLock", name, {std::string(kFolderVariable) + "=" + dir.path()}, kChildLimitMs);
  EXPECT_NE(code, exc_host::kScenarioTimedOut) << "KTerminateThread waited for the held lock";
  EXPECT_EQ(code, 0u);
  return korvex_host::read_lines(dir.file("events.log"));
}

// The frame lines ("...): 0x..."), and how many of them name a module.
struct FrameCount {
  int frames = 0;
  int with_module = 0;
};
FrameCount count_frames(const std::vector<std::string>& lines) {
  FrameCount n;
  for (const std::string& line : lines) {
    if (line.find("): 0x") == std::string::npos) continue;
    ++n.frames;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\t\t") != 0) ++n.with_module;
  }
  return n;
}

void expect_report(const std::vector<std::string>& lines) {
  EXPECT_TRUE(any_line_has(lines, "): KTerminateThread. Terminating thread "));
  EXPECT_TRUE(any_line_has(lines, "Call stack (begin)"));
  EXPECT_TRUE(any_line_has(lines, "Call stack (end)"));
  EXPECT_GE(count_frames(lines).frames, 1);
}

// The loader lock stays held by the terminated thread: the frames are written without
// their module paths.
TEST(TerminateHeldLock, TargetHoldingTheLoaderLock) {
  const auto lines = run_child("LoaderLock");
  expect_report(lines);
  EXPECT_EQ(count_frames(lines).with_module, 0);
}

// The heap's lock stays held by the terminated thread. The terminating thread had
// attached to its log before (as a thread that supervises others has): its lines then
// need no memory from the heap (the C runtime's data of that thread included).
TEST(TerminateHeldLock, TargetHoldingTheHeapLock) {
  expect_report(run_child("HeapLock"));
}

}  // namespace
