// Fatal signals of the main thread: the report in the main log, then exit code 1. The handler
// runs on an alternate stack, so that a stack overflow is reported too, and is re-entered on a
// second fault (SA_NODEFER) only to notice that the report itself faulted.

#include <execinfo.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <ctime>

#include "crash/crash_reporting.h"
#include "crash/signal_report_posix.h"
#include "support/log.h"

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kFaultExitCode = 1;
constexpr std::size_t kAlternateStackSize = 256 * 1024;

alignas(16) char gAlternateStack[kAlternateStackSize];
std::atomic<long> gReportingThread{0};
std::int64_t gUtcOffsetSeconds = 0;

long ThreadId() {
  return ::syscall(SYS_gettid);
}

ostrel::crash::ReportSinks Sinks() {
  ostrel::crash::ReportSinks sinks;
  sinks.logFd = MainLog().FileDescriptor();
  sinks.errorsFd = ErrorsLog().FileDescriptor();
  sinks.echo = sinks.logFd < 0 || ::isatty(STDOUT_FILENO) != 0;
  sinks.utcOffsetSeconds = gUtcOffsetSeconds;
  sinks.threadId = static_cast<unsigned>(ThreadId());
  return sinks;
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  static_assert(std::atomic<long>::is_always_lock_free);
  const long self = ThreadId();
  long expected = 0;
  if (!gReportingThread.compare_exchange_strong(expected, self)) {
    if (expected == self) {
      ostrel::crash::SignalReport(Sinks()).line(
          "Fault inside the crash report: the run ends with exit code 1", true);
      ::_exit(kFaultExitCode);
    }
    for (;;) ::pause();  // the first faulting thread ends the process
  }
  ostrel::crash::SignalReport(Sinks()).write(signal, *info, context);
  ::_exit(kFaultExitCode);
}

std::int64_t LocalOffsetSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

namespace ostrel::se {

void InstallCrashReporting() {
  // The first backtrace loads the unwinder; that must not happen inside the handler.
  void* warmUp[1];
  ::backtrace(warmUp, 1);
  gUtcOffsetSeconds = LocalOffsetSeconds();

  stack_t stack{};
  stack.ss_sp = gAlternateStack;
  stack.ss_size = sizeof gAlternateStack;
  ::sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

void SetDumpWaitLimit(std::chrono::seconds) {}  // no dumps here

}  // namespace ostrel::se
