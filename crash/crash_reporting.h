// Crash reporting of Barsync. Install it once, as the first thing main does, on the main thread.
//
// From then on a fault of the main thread (an access violation, a division by zero, on Windows
// any structured exception nobody handles) is reported in the main log: the dump (written on
// Windows; on Linux one line says there is no dump service), the exception block, the module list
// and the call stack, in that order. Then:
// - on Windows the fault is thrown on the faulting thread as std::runtime_error ending in
//   " [code:N]" (N: the thread's last OS error at the fault), so that main's catch ends the run
//   with exit code 1; dumps go to Dumps\YYYYMMDD\fullHHMMSS_mmm.dmp below the current folder;
// - on Linux (SIGSEGV, SIGBUS, SIGFPE, SIGILL) the process ends with exit code 1 right after the
//   report, which is written with async-signal-safe calls only.
// A stack overflow, a fault of another thread and a fault inside the report itself also end the
// process with exit code 1; only the first faulting thread reports.
#pragma once

#include <chrono>

namespace ostrel::se {

void InstallCrashReporting();

// How long the faulting thread waits for the dump before the report goes on without it
// (60 seconds unless set; for test programs on slow machines). No effect where there are no dumps.
void SetDumpWaitLimit(std::chrono::seconds limit);

}  // namespace ostrel::se
