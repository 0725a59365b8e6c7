// ombrel.dll: dumps of the current process through dbghelp's MiniDumpWriteDump.
#include "ombrel.h"

#include <windows.h>

// dbghelp.h needs windows.h first.
#include <dbghelp.h>

#include <atomic>

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
SRWLOCK g_dbghelp_lock = SRWLOCK_INIT;

// How long a caller waits for its writer; changed by tests through SetDumpWaitLimitMs.
constexpr DWORD kDefaultWaitLimitMs = 60000;
std::atomic<DWORD> g_wait_limit_ms{kDefaultWaitLimitMs};

// A dump request and its writer. The caller may give up on its writer (the writer may be
// unable to start: a thread is started only while no thread holds the loader lock, and
// dbghelp needs the heap). So a request lives in a slot of its own, holding copies of
// the exception record and context, and a writer that starts after its caller gave up
// writes nothing.
enum JobState : int { kFree, kWaiting, kWriting, kDone, kGivenUp };

struct DumpJob {
  std::atomic<int> state{kFree};
  int type = 0;
  char path[MAX_PATH] = "";
  DWORD thread_id = 0;
  bool has_exception = false;
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
  BOOL written = FALSE;
};

constexpr int kJobSlots = 4;
DumpJob g_jobs[kJobSlots];

// A free slot, now waiting, or null when every slot is held by a writer given up on.
DumpJob* take_slot() {
  for (DumpJob& job : g_jobs) {
    int expected = kFree;
    if (job.state.compare_exchange_strong(expected, kWaiting)) return &job;
  }
  return nullptr;
}

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

BOOL write_to_file(DumpJob& job, WriteDumpFn write_dump) {
  HANDLE file = CreateFileA(job.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  SymbolSession symbols;
  MINIDUMP_EXCEPTION_INFORMATION exception;
  exception.ThreadId = job.thread_id;
  exception.ExceptionPointers = &job.pointers;
  exception.ClientPointers = FALSE;
  const BOOL written = write_dump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                  static_cast<MINIDUMP_TYPE>(job.type),
                                  job.has_exception ? &exception : nullptr, nullptr, nullptr);
  CloseHandle(file);
  if (!written) DeleteFileA(job.path);
  return written;
}

void write_job(DumpJob& job) {
  AcquireSRWLockExclusive(&g_dbghelp_lock);
  const WriteDumpFn write_dump = write_dump_function();
  job.written = write_dump ? write_to_file(job, write_dump) : FALSE;
  ReleaseSRWLockExclusive(&g_dbghelp_lock);
}

DWORD WINAPI writer_thread(void* data) {
  auto& job = *static_cast<DumpJob*>(data);
  int expected = kWaiting;
  if (!job.state.compare_exchange_strong(expected, kWriting)) {
    job.state.store(kFree);  // the caller gave up before this thread could start
    return 0;
  }
  write_job(job);
  expected = kWriting;
  if (!job.state.compare_exchange_strong(expected, kDone)) job.state.store(kFree);
  return 0;
}

void fill_job(DumpJob& job, int type, const char* path, DWORD thread_id,
              const EXCEPTION_POINTERS* pointers) {
  job.type = type;
  lstrcpynA(job.path, path, MAX_PATH);
  job.thread_id = thread_id;
  job.has_exception = pointers && pointers->ExceptionRecord && pointers->ContextRecord;
  if (job.has_exception) {
    job.record = *pointers->ExceptionRecord;
    job.record.ExceptionRecord = nullptr;
    job.context = *pointers->ContextRecord;
  }
  job.pointers.ExceptionRecord = &job.record;
  job.pointers.ContextRecord = &job.context;
  job.written = FALSE;
}

// Writes on a thread of its own while the caller waits (inline if no thread can be had),
// at most the wait limit: then kNotFinished.
int run_job(int type, const char* path, DWORD thread_id, const EXCEPTION_POINTERS* pointers) {
  if (!path || !path[0] || lstrlenA(path) >= MAX_PATH) return 0;
  DumpJob* job = take_slot();
  if (!job) return kNotFinished;
  fill_job(*job, type, path, thread_id, pointers);
  HANDLE thread = CreateThread(nullptr, 0, writer_thread, job, 0, nullptr);
  if (!thread) {
    write_job(*job);
    const int result = job->written ? 1 : 0;
    job->state.store(kFree);
    return result;
  }
  const DWORD waited = WaitForSingleObject(thread, g_wait_limit_ms.load());
  CloseHandle(thread);
  int state = job->state.load();
  if (waited != WAIT_OBJECT_0 && state != kDone) {
    // Give up, unless the writer finished just now.
    while (state != kDone && !job->state.compare_exchange_weak(state, kGivenUp)) {
    }
    if (state != kDone) return kNotFinished;
  }
  const int result = job->written ? 1 : 0;
  job->state.store(kFree);
  return result;
}

}  // namespace

extern "C" __declspec(dllexport) int __cdecl SnapCurrentProcessMiniDumpA(int type,
                                                                         const char* path) {
  return run_job(type, path, 0, nullptr);
}

extern "C" __declspec(dllexport) int __stdcall CreateCurrentProcessCrashDumpA(
    int type, const char* path, unsigned thread_id, EXCEPTION_POINTERS* pointers) {
  return run_job(type, path, thread_id, pointers);
}

extern "C" __declspec(dllexport) void __cdecl SetDumpWaitLimitMs(unsigned ms) {
  g_wait_limit_ms.store(ms);
}
