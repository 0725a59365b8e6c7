// Turns structured exceptions into C++ exceptions on the faulting thread. The unhandled-exception
// filter runs the report, then rewrites the thread's context so that it resumes in a small
// trampoline that throws the reported error from the faulting frame: the C++ unwinder then runs
// the destructors of every frame up to main's catch (all code is built with
// -fnon-call-exceptions, so faulting instructions are covered by the unwind tables).

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>

#include "crash/crash_reporting.h"
#include "crash/platform_libraries_win.h"
#include "crash/se_handler_win.h"
#include "crash/stack_printer.h"
#include "support/log.h"

static_assert(sizeof(void*) == 8, "the resume trampoline is written for x86_64");

namespace {

constexpr DWORD kGccExceptionMask = 0x00FFFFFF;   // low bytes shared by the GCC unwinder's
constexpr DWORD kGccExceptionCodes = 0x00474343;  // own exception codes ("GCC")
constexpr UINT kFaultExitCode = 1;
// Stack kept free for the handling of a stack overflow.
constexpr ULONG kStackOverflowReserve = 64 * 1024;

std::atomic<DWORD> gReportingThread{0};
std::atomic<DWORD> gStackOverflowReporter{0};  // the thread reporting a stack overflow
DWORD gMainThread = 0;
std::exception_ptr gPending;  // thrown by the resumed main thread

}  // namespace

extern "C" [[noreturn]] void ostrel_se_throw_pending() {
  std::exception_ptr error = gPending;
  gPending = nullptr;
  std::rethrow_exception(error);
}

// Entered with the stack pointer of the faulting frame minus the faked return address (the
// fault address plus one, inside the faulting instruction); aligns the stack and throws. Its
// unwind information lets the unwinder step from here into the faulting frame.
extern "C" void ostrel_se_resume_throw();
asm(R"(
    .text
    .globl ostrel_se_resume_throw
    .def ostrel_se_resume_throw; .scl 2; .type 32; .endef
    .seh_proc ostrel_se_resume_throw
ostrel_se_resume_throw:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call ostrel_se_throw_pending
    int3
    .seh_endproc
)");

namespace {

bool IsGccException(DWORD code) {
  return (code & kGccExceptionMask) == kGccExceptionCodes;
}

[[noreturn]] void EndProcess(UINT exitCode) {
  ::TerminateProcess(::GetCurrentProcess(), exitCode);
  for (;;) ::Sleep(INFINITE);
}

// A fault while the report is being written: no second report, one line, exit code 1. The line
// goes to the standard error stream, since the log may be what faulted.
[[noreturn]] void EndAfterNestedFault(DWORD code) {
  char line[128];
  const int n = std::snprintf(line, sizeof line,
                              "Exception 0x%lX inside the crash report: the run ends here\r\n",
                              static_cast<unsigned long>(code));
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(n), &written, nullptr);
  EndProcess(kFaultExitCode);
}

struct Report {
  EXCEPTION_POINTERS* pointers;
  DWORD faultingThread;
  DWORD lastError;  // the faulting thread's, read before anything else could change it
  std::exception_ptr error;
};

// The report sequence; the handler's throw is caught here and kept for the faulting thread.
void RunHandler(Report& report) {
  ostrel::se::ExceptionHandler handler;
  handler.setOutput(std::make_shared<StackPrinter>());
  handler.setFaultingThread(report.faultingThread, report.lastError);
  try {
    handler.handle(report.pointers);
  } catch (...) {
    report.error = std::current_exception();
  }
}

// Ends the run like main's catch does, for a thread that cannot throw the error itself.
void LogEndOfRun(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    LogError("%s", e.what());
  }
  LogError("%s", "The run ends here: the fault cannot be handed to the program's entry");
}

[[noreturn]] void EndWithError(const std::exception_ptr& error) {
  LogEndOfRun(error);
  EndProcess(kFaultExitCode);
}

DWORD WINAPI StackOverflowReportThread(void* parameter) {
  auto& report = *static_cast<Report*>(parameter);
  gStackOverflowReporter.store(::GetCurrentThreadId());
  RunHandler(report);
  LogEndOfRun(report.error);
  return 0;
}

// A stack overflow leaves too little stack for the report: it runs on a thread of its own
// while the overflowed thread waits, then the process ends.
[[noreturn]] void ReportStackOverflow(EXCEPTION_POINTERS* pointers, DWORD lastError) {
  Report report{pointers, ::GetCurrentThreadId(), lastError, nullptr};
  HANDLE thread = ::CreateThread(nullptr, 0, StackOverflowReportThread, &report, 0, nullptr);
  if (thread != nullptr) ::WaitForSingleObject(thread, INFINITE);
  EndProcess(kFaultExitCode);
}

// Makes the thread resume in the trampoline as if the faulting instruction had called it.
bool ResumeInThrower(CONTEXT& context) {
  const DWORD64 stack = context.Rsp - sizeof(DWORD64);
  const auto contextStart = reinterpret_cast<DWORD64>(&context);
  if (stack < contextStart + sizeof(CONTEXT) && contextStart < stack + sizeof(DWORD64)) {
    return false;  // the faked return address would overwrite the context being resumed
  }
  *reinterpret_cast<DWORD64*>(stack) = context.Rip + 1;
  context.Rsp = stack;
  context.Rip = reinterpret_cast<DWORD64>(&ostrel_se_resume_throw);
  return true;
}

// Only the first faulting thread reports; a fault while it reports ends the process.
void EnterReport(DWORD code) {
  const DWORD self = ::GetCurrentThreadId();
  DWORD expected = 0;
  if (gReportingThread.compare_exchange_strong(expected, self)) return;
  if (expected == self || gStackOverflowReporter.load() == self) EndAfterNestedFault(code);
  for (;;) ::Sleep(INFINITE);  // the first faulting thread ends the process
}

// First in line for a stack overflow: the search through the frames would need stack.
LONG WINAPI OnStackOverflow(EXCEPTION_POINTERS* pointers) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr ||
      pointers->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const DWORD lastError = ::GetLastError();
  EnterReport(EXCEPTION_STACK_OVERFLOW);
  ReportStackOverflow(pointers, lastError);
}

LONG WINAPI Translate(EXCEPTION_POINTERS* pointers) {
  if (pointers == nullptr || pointers->ExceptionRecord == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD lastError = ::GetLastError();
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (IsGccException(code)) return EXCEPTION_CONTINUE_SEARCH;
  EnterReport(code);
  if (code == EXCEPTION_STACK_OVERFLOW) ReportStackOverflow(pointers, lastError);
  Report report{pointers, ::GetCurrentThreadId(), lastError, nullptr};
  RunHandler(report);
  if (!report.error) {
    gReportingThread.store(0);
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (report.faultingThread != gMainThread || !ResumeInThrower(*pointers->ContextRecord)) {
    EndWithError(report.error);
  }
  gPending = report.error;
  gReportingThread.store(0);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

namespace ostrel::se {

void InstallCrashReporting() {
  callstack::BindPlatformLibraries();
  gMainThread = ::GetCurrentThreadId();
  ULONG reserve = kStackOverflowReserve;
  ::SetThreadStackGuarantee(&reserve);
  ::AddVectoredExceptionHandler(1, OnStackOverflow);
  ::SetUnhandledExceptionFilter(Translate);
}

}  // namespace ostrel::se
