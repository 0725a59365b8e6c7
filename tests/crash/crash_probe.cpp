// A program that links Barsync's crash reporting and faults on purpose, for the end-to-end
// tests of the crash report (the production program carries no crash trigger).
//
//   crash_probe <case> <log file>
//
// It installs the crash reporting as Barsync's entry does, opens the main log <log file> and the
// errors log <log file>.errors, then runs the case inside the same kind of catch as the entry:
// the error text goes to LogError and the exit code is 1. A case that does not fault ends with
// exit code 0 and the line "probe: no fault".
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "crash/crash_reporting.h"
#include "support/log.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int kRecursionDepth = 300;
constexpr int kStackPadding = 256;
// A full dump takes seconds, but minutes on a machine busy with other work.
constexpr std::chrono::seconds kDumpWaitLimit{240};
#if defined(_WIN32)
constexpr DWORD kLastErrorAtFault = 1234;  // the code the thrown error must carry
constexpr DWORD kRpcCallFailed = 1722;
constexpr DWORD kRpcServerTooBusy = 1723;
#endif

}  // namespace

// The faulting functions have external linkage so that their names are in the call stack.

// Logs when a frame between the fault and main is unwound.
struct UnwindWitness {
  ~UnwindWitness() { LogAlways("%s", "probe: unwound through the faulting frame"); }
};

// Opaque to the optimiser, so that the faults below really happen.
volatile std::uintptr_t gBadAddress = 16;
volatile int gZero = 0;
volatile bool gDeeper = true;

__attribute__((noinline, no_sanitize("undefined"))) void ProbeWrite(int value) {
  UnwindWitness witness;
  *reinterpret_cast<volatile int*>(gBadAddress) = value;
}

__attribute__((noinline, no_sanitize("undefined"))) int ProbeDivide(int value) {
  UnwindWitness witness;
  return value / gZero;
}

// Recurses depth levels through one call site, then faults.
__attribute__((noinline)) int ProbeRecurse(int depth) {
  volatile int pad = depth;
  if (depth == 0) ProbeWrite(pad);
  const int result = depth == 0 ? 0 : ProbeRecurse(depth - 1);
  return result + pad;
}

// Recurses until the stack is gone.
__attribute__((noinline)) int ProbeOverflow(int depth) {
  volatile char pad[kStackPadding];
  pad[0] = static_cast<char>(depth);
  const int result = gDeeper ? ProbeOverflow(depth + 1) : 0;
  return result + pad[0];
}

#if defined(_WIN32)
__attribute__((noinline)) void ProbeRaise(DWORD code) {
  UnwindWitness witness;
  ::RaiseException(code, 0, 0, nullptr);
}
#endif

namespace {

bool RunCase(const std::string& name) {
#if defined(_WIN32)
  ::SetLastError(kLastErrorAtFault);
  if (name == "rpc1722") ProbeRaise(kRpcCallFailed);
  if (name == "rpc1723") ProbeRaise(kRpcServerTooBusy);
  if (name == "nodbghelp") ProbeWrite(1);
#endif
  if (name == "access") ProbeWrite(1);
  if (name == "divide") ProbeDivide(1);
  if (name == "recursion") ProbeRecurse(kRecursionDepth);
  if (name == "overflow") ProbeOverflow(0);
  if (name == "twothreads") {
    std::thread other([] { ProbeWrite(2); });
    ProbeWrite(1);
    other.join();
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  ostrel::se::InstallCrashReporting();
  ostrel::se::SetDumpWaitLimit(kDumpWaitLimit);
  if (argc != 3) return 2;
  const std::string log = argv[2];
  if (InitLogs(log, log + ".errors", "PROBE")) return 2;
  try {
    LogAlways("probe: case %s, fault follows", argv[1]);
    RunCase(argv[1]);
    LogAlways("%s", "probe: no fault");
    return 0;
  } catch (const std::exception& e) {
    LogError("%s", e.what());
    return 1;
  }
}
