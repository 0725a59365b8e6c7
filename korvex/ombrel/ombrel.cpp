// ombrel.dll: dumps of the current process through dbghelp's MiniDumpWriteDump.
#include "ombrel.h"

#include <windows.h>

// dbghelp.h needs windows.h first.
#include <dbghelp.h>

namespace {

using WriteDumpFn = BOOL(WINAPI*)(HANDLE process, DWORD process_id, HANDLE file, MINIDUMP_TYPE type,
                                  PMINIDUMP_EXCEPTION_INFORMATION exception,
                                  PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                                  PMINIDUMP_CALLBACK_INFORMATION callback);

constexpr char kDbgHelp[] = "dbghelp.dll";
constexpr char kWriteDumpName[] = "MiniDumpWriteDump";
constexpr char kInitializeName[] = "SymInitialize";
constexpr char kCleanupName[] = "SymCleanup";

using InitializeFn = BOOL(WINAPI*)(HANDLE process, PCSTR search_path, BOOL invade);
using CleanupFn = BOOL(WINAPI*)(HANDLE process);

// dbghelp is single-threaded: one dump at a time.
SRWLOCK g_lock = SRWLOCK_INIT;

struct DumpJob {
  int type;
  const char* path;
  DWORD thread_id;
  EXCEPTION_POINTERS* pointers;
  BOOL written;
};

template <class F>
F dbghelp_function(HMODULE dbghelp, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dbghelp, name)));
}

WriteDumpFn write_dump_function() {
  static HMODULE dbghelp = LoadLibraryA(kDbgHelp);
  if (!dbghelp) return nullptr;
  return dbghelp_function<WriteDumpFn>(dbghelp, kWriteDumpName);
}

// A symbol session for the process without loading any module's symbols: the dump
// needs the module list only, and reading every module's debug information first
// would make each dump take far longer.
class SymbolSession {
 public:
  SymbolSession() {
    HMODULE dbghelp = GetModuleHandleA(kDbgHelp);
    const auto initialize = dbghelp_function<InitializeFn>(dbghelp, kInitializeName);
    cleanup_ = dbghelp_function<CleanupFn>(dbghelp, kCleanupName);
    open_ = initialize && initialize(GetCurrentProcess(), nullptr, FALSE);
  }
  ~SymbolSession() {
    if (open_ && cleanup_) cleanup_(GetCurrentProcess());
  }
  SymbolSession(const SymbolSession&) = delete;
  SymbolSession& operator=(const SymbolSession&) = delete;

 private:
  CleanupFn cleanup_ = nullptr;
  bool open_ = false;
};

BOOL write_to_file(const DumpJob& job, WriteDumpFn write_dump) {
  HANDLE file = CreateFileA(job.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  SymbolSession symbols;
  MINIDUMP_EXCEPTION_INFORMATION exception;
  exception.ThreadId = job.thread_id;
  exception.ExceptionPointers = job.pointers;
  exception.ClientPointers = FALSE;
  const BOOL written = write_dump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                  static_cast<MINIDUMP_TYPE>(job.type),
                                  job.pointers ? &exception : nullptr, nullptr, nullptr);
  CloseHandle(file);
  if (!written) DeleteFileA(job.path);
  return written;
}

DWORD WINAPI writer_thread(void* data) {
  auto& job = *static_cast<DumpJob*>(data);
  const WriteDumpFn write_dump = write_dump_function();
  job.written = write_dump ? write_to_file(job, write_dump) : FALSE;
  return 0;
}

// Writes on a thread of its own while the caller waits; inline if no thread can be had.
int run_job(DumpJob& job) {
  if (!job.path || !job.path[0]) return 0;
  AcquireSRWLockExclusive(&g_lock);
  HANDLE thread = CreateThread(nullptr, 0, writer_thread, &job, 0, nullptr);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  } else {
    writer_thread(&job);
  }
  ReleaseSRWLockExclusive(&g_lock);
  return job.written ? 1 : 0;
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl SnapCurrentProcessMiniDumpA(int type,
                                                                         const char* path) {
  DumpJob job{type, path, 0, nullptr, FALSE};
  return run_job(job);
}

extern "C" __declspec(dllexport) int __stdcall CreateCurrentProcessCrashDumpA(
    int type, const char* path, unsigned thread_id, EXCEPTION_POINTERS* pointers) {
  DumpJob job{type, path, thread_id, pointers, FALSE};
  return run_job(job);
}
