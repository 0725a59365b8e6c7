// Writes a minidump of this process from a separate thread while the calling (faulting) thread
// waits, so that the faulting thread's stack is in the dump unchanged. The wait is bounded by
// kDumpWaitLimit; after it the caller goes on and the dump may still be completed later.
#pragma once

#include <windows.h>

#include <filesystem>

#include "crash/crash_constants.h"

namespace ostrel::se {

// Writes the dump of type dumpType to path for the faulting thread threadId. Returns the status:
// 0 written, 1 dbghelp.dll not loadable, 2 no MiniDumpWriteDump, 3 bad path or pointers,
// 4 file not creatable, 5 writing failed, 9 no thread, 10 the wait ended first.
crash::DumpStatus WriteProcessDump(int dumpType, const std::filesystem::path& path, DWORD threadId,
                                   EXCEPTION_POINTERS* pointers);

// SetDumpWaitLimit (crash_reporting.h) changes the bound of the wait.

// The status of the last WriteProcessDump call (kNotAttempted before the first).
crash::DumpStatus LastDumpStatus();

// Operator text for a status ("dbghelp.dll could not be loaded", ...).
const char* DumpStatusText(crash::DumpStatus status);

}  // namespace ostrel::se
