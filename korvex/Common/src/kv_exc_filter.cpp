// The exception filters _ExcFilterI@4 and _ExcFilter@4, the e-mail gate and the
// per-thread re-entry guard.
#include <atomic>
#include <ctime>

#include "kv_exc.h"
#include "kv_util.h"
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

extern "C" int __stdcall ExcFilterI(EXCEPTION_POINTERS* pointers) {
  kv::ReentryGuard guard;
  if (guard.entered()) return EXCEPTION_EXECUTE_HANDLER;
  kv::LastErrorKeeper keep;
  kv::create_crash_dump(kv::kFullDump, pointers, true);
  kv::write_exception_report(kv::kFilterITitle, pointers);
  kv::email_step(pointers);
  return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" int __stdcall ExcFilter(EXCEPTION_POINTERS* pointers) {
  {
    kv::ReentryGuard guard;
    if (!guard.entered()) kv::write_exception_report(kv::kFilterTitle, pointers);
  }
  ExitThread(kv::kUnhandledExitCode);
}

extern "C" long long __cdecl SetLastSessionTime(void) {
  const long long now = static_cast<long long>(std::time(nullptr));
  kv::g_last_session_time.store(now);
  return now;
}
