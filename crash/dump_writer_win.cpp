#include "crash/dump_writer_win.h"

#include <dbghelp.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "crash/crash_reporting.h"

namespace ostrel::se {
namespace {

using crash::DumpStatus;
using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

std::atomic<int> gLastStatus{static_cast<int>(DumpStatus::kNotAttempted)};
std::atomic<long long> gWaitLimitSeconds{crash::kDumpWaitLimit.count()};
std::atomic<MiniDumpWriteDumpFunction> gWriteDump{nullptr};  // once found, kept for the process

struct DumpJob {
  int type;
  std::filesystem::path path;
  DWORD threadId;
  EXCEPTION_POINTERS* pointers;
  DumpStatus status = DumpStatus::kNoThread;
};

DumpStatus FindDumpFunction() {
  if (gWriteDump.load() != nullptr) return DumpStatus::kWritten;
  HMODULE dbghelp = ::GetModuleHandleW(L"DBGHELP.DLL");
  if (dbghelp == nullptr) dbghelp = ::LoadLibraryW(L"DBGHELP.DLL");
  if (dbghelp == nullptr) return DumpStatus::kNoDbgHelp;
  const auto function = reinterpret_cast<MiniDumpWriteDumpFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  if (function == nullptr) return DumpStatus::kNoDumpFunction;
  gWriteDump.store(function);
  return DumpStatus::kWritten;
}

DumpStatus WriteDump(const DumpJob& job) {
  if (job.path.empty() || job.pointers == nullptr) return DumpStatus::kBadArguments;
  const DumpStatus found = FindDumpFunction();
  if (found != DumpStatus::kWritten) return found;
  HANDLE file = ::CreateFileW(job.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return DumpStatus::kCannotCreateFile;
  MINIDUMP_EXCEPTION_INFORMATION exception{job.threadId, job.pointers, FALSE};
  const BOOL ok =
      gWriteDump.load()(::GetCurrentProcess(), ::GetCurrentProcessId(), file,
                        static_cast<MINIDUMP_TYPE>(job.type), &exception, nullptr, nullptr);
  ::CloseHandle(file);
  return ok ? DumpStatus::kWritten : DumpStatus::kWriteFailed;
}

DWORD WINAPI DumpThread(void* parameter) {
  auto* job = static_cast<DumpJob*>(parameter);
  job->status = WriteDump(*job);
  return 0;
}

DumpStatus Remember(DumpStatus status) {
  gLastStatus.store(static_cast<int>(status));
  return status;
}

}  // namespace

DumpStatus WriteProcessDump(int dumpType, const std::filesystem::path& path, DWORD threadId,
                            EXCEPTION_POINTERS* pointers) {
  if (path.empty() || path.native().size() >= crash::kMaxDumpPath) {
    return Remember(DumpStatus::kBadArguments);
  }
  auto job = std::make_unique<DumpJob>(DumpJob{dumpType, path, threadId, pointers});
  HANDLE thread = ::CreateThread(nullptr, 0, DumpThread, job.get(), 0, nullptr);
  if (thread == nullptr) return Remember(DumpStatus::kNoThread);
  const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::seconds(gWaitLimitSeconds.load()));
  const DWORD waited = ::WaitForSingleObject(thread, static_cast<DWORD>(limit.count()));
  ::CloseHandle(thread);
  if (waited != WAIT_OBJECT_0) {
    job.release();  // the writer thread still uses it; it lives until the process ends
    return Remember(DumpStatus::kTimedOut);
  }
  return Remember(job->status);
}

void SetDumpWaitLimit(std::chrono::seconds limit) {
  gWaitLimitSeconds.store(limit.count());
}

DumpStatus LastDumpStatus() {
  return static_cast<DumpStatus>(gLastStatus.load());
}

const char* DumpStatusText(DumpStatus status) {
  switch (status) {
    case DumpStatus::kWritten:
      return "written";
    case DumpStatus::kNoDbgHelp:
      return "dbghelp.dll could not be loaded";
    case DumpStatus::kNoDumpFunction:
      return "dbghelp.dll has no MiniDumpWriteDump";
    case DumpStatus::kBadArguments:
      return "unusable dump path or exception information";
    case DumpStatus::kCannotCreateFile:
      return "the dump file could not be created";
    case DumpStatus::kWriteFailed:
      return "MiniDumpWriteDump failed";
    case DumpStatus::kNoThread:
      return "the dump thread could not be started";
    case DumpStatus::kTimedOut:
      return "the dump was not finished in time";
    case DumpStatus::kNotAttempted:
      break;
  }
  return "not attempted";
}

}  // namespace ostrel::se
