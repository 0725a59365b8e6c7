// KTerminateThread: a guarded end of a hung thread, with its stack in the log.
//
// While the thread is suspended nothing is written and no lock is taken: the thread may
// hold its log's write mutex (threads share log files), the loader lock or the heap's
// lock, and waiting for any of them would wait for good. Its frames are read into a
// buffer on this stack; the lines are written once it has been terminated (a write
// mutex it held is then abandoned, which the writer takes as free). A lock of the loader
// or the heap stays held for good after the termination, so the writing takes neither:
// the module paths are looked up only when the loader lock can be had at once, and the
// calling thread's line state (with the C runtime's data of the thread) is made before
// the thread is suspended, while that thread can still let go of the heap.
#include <cinttypes>

#include "kv_exc.h"
#include "kv_util.h"
#include "kv_util_state.h"
#include "kvexc.h"

namespace kv {
namespace {

using GetThreadIdFn = DWORD(WINAPI*)(HANDLE thread);

// Looked up while the library loads: a lookup now could wait for the loader lock that
// the thread to be terminated holds.
GetThreadIdFn find_thread_id_function() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<GetThreadIdFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetThreadId")));
}
const GetThreadIdFn g_get_thread_id = find_thread_id_function();

// What the attempt found, written after the thread was terminated (or let be).
struct Outcome {
  const char* failure = nullptr;  // a format with one int, or null
  int failure_value = 0;
  bool have_stack = false;
  bool invalid_context = false;
  std::uintptr_t pc = 0;
  std::uintptr_t frame = 0;
  CapturedStack stack;
};

// Answers 0 and notes the failure with the last OS error.
int fail(Outcome& out, const char* format) {
  out.failure = format;
  out.failure_value = static_cast<int>(GetLastError());
  return 0;
}

// Reads the exit code; answers true when the thread goes on running. An ended thread
// (or one whose exit code can't be read) is noted.
bool still_active(HANDLE thread, Outcome& out) {
  DWORD code = 0;
  if (!GetExitCodeThread(thread, &code)) {
    fail(out, "GetExitCodeThread GLE [%d]");
    return false;
  }
  if (code == kStillActive) return true;
  out.failure = "Thread is not active. ExitCode [%d]";
  out.failure_value = static_cast<int>(code);
  return false;
}

// Suspends, reads the frames, terminates. Writes nothing.
int suspend_capture_terminate(HANDLE thread, unsigned exit_code, Outcome& out) {
  // An ended thread can't be suspended on every system: it is recognised first.
  if (!still_active(thread, out)) return 0;
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    if (!still_active(thread, out)) return 0;
    SetLastError(error);
    return fail(out, "SuspendThread GLE [%d]");
  }
  if (!still_active(thread, out)) return 0;
  CONTEXT context;
  context.ContextFlags = CONTEXT_FULL;
  if (!GetThreadContext(thread, &context)) return fail(out, "GetThreadContext GLE [%d]");
  out.pc = context_pc(context);
  out.frame = context_frame(context);
  if (out.pc != 0 && out.frame != 0) {
    capture_stack(context, out.stack);
    out.have_stack = true;
  } else {
    out.invalid_context = true;
  }
  return TerminateThread(thread, exit_code);
}

void write_outcome(DWORD id, bool id_known, const Outcome& out) {
  if (id_known) {
    write_line(LineKind::internal, "KTerminateThread. Terminating thread %u. Thread's stack:",
               static_cast<unsigned>(id));
  } else {
    write_line(LineKind::internal,
               "KTerminateThread. Terminating thread. Thread's ID is unknown because failed to "
               "load GetThreadId function (kernel32.dll). Thread's stack:");
  }
  if (out.failure) write_line(LineKind::internal, out.failure, out.failure_value);
  if (out.have_stack) write_captured_stack(out.stack);
  if (out.invalid_context) {
    write_line(LineKind::internal, "StackWalk: Invalid context. Eip(%d), Ebp(%d)",
               static_cast<int>(out.pc), static_cast<int>(out.frame));
  }
}

}  // namespace
}  // namespace kv

extern "C" int __cdecl KTerminateThread(void* handle, unsigned exit_code) {
  const HANDLE thread = static_cast<HANDLE>(handle);
  const bool id_known = kv::g_get_thread_id != nullptr;
  const DWORD id = id_known ? kv::g_get_thread_id(thread) : 0;
  if (id_known ? id == GetCurrentThreadId() : thread == GetCurrentThread()) {
    if (id_known) {
      kv::write_line(kv::LineKind::internal,
                     "KTerminateThread. Thread %u is the calling thread: not terminated.",
                     static_cast<unsigned>(id));
    } else {
      kv::write_line(kv::LineKind::internal,
                     "KTerminateThread. The calling thread is not terminated.");
    }
    return 0;
  }
  // Made now, if this is the thread's first use of the library: a thread suspended inside
  // an allocation would keep the heap's lock that making it needs. No test makes that
  // happen on purpose: the target would have to take the lock after this point and
  // before it is suspended, a moment nothing outside this function can pick; a target
  // that holds the lock for good from before the call makes the state wait either way.
  kv::thread_state();
  kv::create_process_dump(kv::kMiniDump, false, true);
  kv::Outcome out;
  const int result = kv::suspend_capture_terminate(thread, exit_code, out);
  const DWORD error = GetLastError();
  kv::write_outcome(id, id_known, out);
  SetLastError(error);
  return result;
}
