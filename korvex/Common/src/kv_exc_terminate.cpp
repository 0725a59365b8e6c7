// KTerminateThread: a guarded end of a hung thread, with its stack in the log first.
#include <cinttypes>

#include "kv_exc.h"
#include "kv_util.h"
#include "kvexc.h"

namespace kv {
namespace {

using GetThreadIdFn = DWORD(WINAPI*)(HANDLE thread);

GetThreadIdFn thread_id_function() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<GetThreadIdFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetThreadId")));
}

// Logs the opening line; answers false for the calling thread, which is left alone.
bool announce(HANDLE thread) {
  const GetThreadIdFn get_id = thread_id_function();
  if (!get_id) {
    if (thread == GetCurrentThread()) {
      write_line(LineKind::internal, "KTerminateThread. The calling thread is not terminated.");
      return false;
    }
    write_line(LineKind::internal,
               "KTerminateThread. Terminating thread. Thread's ID is unknown because failed to "
               "load GetThreadId function (kernel32.dll). Thread's stack:");
    return true;
  }
  const DWORD id = get_id(thread);
  if (id == GetCurrentThreadId()) {
    write_line(LineKind::internal,
               "KTerminateThread. Thread %u is the calling thread: not terminated.",
               static_cast<unsigned>(id));
    return false;
  }
  write_line(LineKind::internal,
             "KTerminateThread. Terminating thread %u. Thread's stack:", static_cast<unsigned>(id));
  return true;
}

int fail(const char* format) {
  write_line(LineKind::internal, format, static_cast<int>(GetLastError()));
  return 0;
}

// Reads the exit code; answers true when the thread goes on running. An ended thread
// (or one whose exit code can't be read) is logged.
bool still_active(HANDLE thread) {
  DWORD code = 0;
  if (!GetExitCodeThread(thread, &code)) {
    fail("GetExitCodeThread GLE [%d]");
    return false;
  }
  if (code == kStillActive) return true;
  write_line(LineKind::internal, "Thread is not active. ExitCode [%d]", static_cast<int>(code));
  return false;
}

}  // namespace
}  // namespace kv

extern "C" int __cdecl KTerminateThread(void* handle, unsigned exit_code) {
  const HANDLE thread = static_cast<HANDLE>(handle);
  if (!kv::announce(thread)) return 0;
  kv::create_process_dump(kv::kMiniDump, false, true);
  // An ended thread can't be suspended on every system: it is recognised first.
  if (!kv::still_active(thread)) return 0;
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    if (!kv::still_active(thread)) return 0;
    SetLastError(error);
    return kv::fail("SuspendThread GLE [%d]");
  }
  if (!kv::still_active(thread)) return 0;
  CONTEXT context;
  context.ContextFlags = CONTEXT_FULL;
  if (!GetThreadContext(thread, &context)) return kv::fail("GetThreadContext GLE [%d]");
  const std::uintptr_t pc = kv::context_pc(context);
  const std::uintptr_t frame = kv::context_frame(context);
  if (pc != 0 && frame != 0) {
    kv::write_call_stack(context);
  } else {
    kv::write_line(kv::LineKind::internal, "StackWalk: Invalid context. Eip(%d), Ebp(%d)",
                   static_cast<int>(pc), static_cast<int>(frame));
  }
  return TerminateThread(thread, exit_code);
}
