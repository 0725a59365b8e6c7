// The exception filters _ExcFilterI@4 and _ExcFilter@4, the e-mail gate and the
// per-thread re-entry guard.
#include <atomic>
#include <ctime>

#include "kv_exc.h"
#include "kv_util.h"
#include "kv_util_state.h"
#include "kvexc.h"

namespace kv {
namespace {

// E-mail gate: reports on, off for good after one was sent, or claimed by the thread
// that is sending one right now (so concurrent crashes send at most one mail).
enum MailGate : int { kMailOff = 0, kMailOn = 1, kMailClaimed = 2 };
std::atomic<int> g_mail_gate{kMailOn};
std::atomic<long long> g_last_session_time{0};

thread_local bool t_inside = false;

void email_step(EXCEPTION_POINTERS* pointers) {
  if (g_mail_gate.load() == kMailOn) {
    const long long now = static_cast<long long>(std::time(nullptr));
    if (now - g_last_session_time.load() > kSessionQuietSeconds) {
      int expected = kMailOn;
      if (g_mail_gate.compare_exchange_strong(expected, kMailClaimed)) {
        bool sent = false;
        try {
          sent = send_email_report(pointers, kFilterITitle, app_info_copy());
        } catch (...) {
        }
        g_mail_gate.store(sent ? kMailOff : kMailOn);
      }
    } else {
      TaggedLine("ExcFilterI") << "Skip SEH email reports during session changing";
    }
  }
  if (g_mail_gate.load() != kMailOn) {
    TaggedLine("ExcFilterI") << "Skip further SEH email reports";
  }
}

}  // namespace

ReentryGuard::ReentryGuard() : entered_(t_inside) {
  t_inside = true;
}

ReentryGuard::~ReentryGuard() {
  if (!entered_) t_inside = false;
}

}  // namespace kv

namespace kv {
namespace {

// The filters' work, kept out of the exported frames: with a stack overflow those run
// on the little stack that is left, and hand this work to another thread.
__attribute__((noinline)) void filter_i_work(EXCEPTION_POINTERS* pointers, DWORD thread_id) {
  create_crash_dump(kFullDump, pointers, true, thread_id);
  write_exception_report(kFilterITitle, pointers);
  email_step(pointers);
}

__attribute__((noinline)) void filter_work(EXCEPTION_POINTERS* pointers, DWORD) {
  write_exception_report(kFilterTitle, pointers);
}

using FilterWork = void (*)(EXCEPTION_POINTERS* pointers, DWORD thread_id);

struct HelperJob {
  FilterWork work;
  EXCEPTION_POINTERS* pointers;
  DWORD thread_id;
  const ThreadState* logs;  // the faulting thread's, or null
  std::atomic<int> state;   // kHelperWaiting, then kHelperRunning or kHelperGivenUp
};
enum : int { kHelperWaiting, kHelperRunning, kHelperGivenUp };

// The helper writes where the faulting thread writes, under its mark (the dump lines
// come before the report attaches it to the report logs).
void adopt_logs(const ThreadState* from) {
  if (!from) return;
  for (LogTable kind : {LogTable::events, LogTable::errors}) {
    const int index = from->slot[static_cast<int>(kind)];
    if (index <= kConsoleSlot) continue;
    try {
      attach_thread(kind, table_of(kind).slots[index].name, nullptr);
    } catch (...) {
    }
  }
  set_mark(from->mark);
}

DWORD WINAPI helper_thread(void* data) {
  auto& job = *static_cast<HelperJob*>(data);
  int expected = kHelperWaiting;
  if (!job.state.compare_exchange_strong(expected, kHelperRunning)) return 0;
  adopt_logs(job.logs);
  report_as_thread(job.thread_id);  // the report shows the faulting thread's number
  job.work(job.pointers, job.thread_id);
  return 0;
}

bool is_stack_overflow(const EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = exception_record(pointers);
  return record && record->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
}

// A stack overflow leaves about a page of stack: too little for the dump, the report
// lines and the e-mail. A new thread does the work while the faulting one waits (without
// limit once the helper runs, as the work would take on this thread; a helper that does
// not start at all, e.g. while this thread holds the loader lock, is given up).
__attribute__((noinline)) void work_on_helper(FilterWork work, EXCEPTION_POINTERS* pointers) {
  HelperJob job{work, pointers, GetCurrentThreadId(), existing_thread_state(), {kHelperWaiting}};
  HANDLE helper = CreateThread(nullptr, 0, helper_thread, &job, 0, nullptr);
  if (!helper) return;
  if (WaitForSingleObject(helper, kHelperStartWaitMs) != WAIT_OBJECT_0) {
    int expected = kHelperWaiting;
    if (!job.state.compare_exchange_strong(expected, kHelperGivenUp))
      WaitForSingleObject(helper, INFINITE);
  }
  CloseHandle(helper);
}

}  // namespace
}  // namespace kv

extern "C" int __stdcall ExcFilterI(EXCEPTION_POINTERS* pointers) {
  kv::ReentryGuard guard;
  if (guard.entered()) return EXCEPTION_EXECUTE_HANDLER;
  kv::LastErrorKeeper keep;
  if (kv::is_stack_overflow(pointers)) {
    kv::work_on_helper(kv::filter_i_work, pointers);
  } else {
    kv::filter_i_work(pointers, GetCurrentThreadId());
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" int __stdcall ExcFilter(EXCEPTION_POINTERS* pointers) {
  {
    kv::ReentryGuard guard;
    if (!guard.entered()) {
      if (kv::is_stack_overflow(pointers)) {
        kv::work_on_helper(kv::filter_work, pointers);
      } else {
        kv::filter_work(pointers, GetCurrentThreadId());
      }
    }
  }
  ExitThread(kv::kUnhandledExitCode);
}

extern "C" long long __cdecl SetLastSessionTime(void) {
  const long long now = static_cast<long long>(std::time(nullptr));
  kv::g_last_session_time.store(now);
  return now;
}
