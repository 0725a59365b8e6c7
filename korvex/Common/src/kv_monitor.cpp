#include "kv_monitor.h"

#include <limits>

#include "kv_stats_constants.h"

namespace kv {

namespace {

// The started monitors, for the stop at unload.
constexpr int kMostMonitors = 8;
std::atomic<MonitorOnce*> g_monitors[kMostMonitors];

void remember(MonitorOnce* monitor) {
  for (auto& slot : g_monitors) {
    MonitorOnce* expected = nullptr;
    if (slot.load() == monitor) return;
    if (slot.compare_exchange_strong(expected, monitor)) return;
  }
}

}  // namespace

MonitorThread::MonitorThread()
    : left_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      park_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

MonitorThread::~MonitorThread() {
  if (left_ != nullptr) CloseHandle(left_);
  if (park_ != nullptr) CloseHandle(park_);
}

void MonitorThread::pass() {
  pause(report());
}

bool MonitorThread::stop_at_unload() {
  if (left_ == nullptr || park_ == nullptr) return false;
  if (!stop_and_park(left_, park_, kMonitorStopWaitMs)) {
    // Not begun: it waits for the loader lock, which the unloading thread holds (a first
    // use and the unload inside one DLL's start-up), and would begin in unmapped code.
    // It holds nothing yet, so it is ended before it runs at all.
    if (!waiting_to_enter()) return false;
  }
  // Parked inside the system for good, or not begun: it holds no lock, and ending it
  // there is safe.
  TerminateThread(handle(), 0);
  WaitForSingleObject(handle(), kMonitorStopWaitMs);
  return true;
}

unsigned period_ms_from_seconds(int seconds) {
  if (seconds <= 0) return kShortestPeriodMs;
  const unsigned most = std::numeric_limits<unsigned>::max() / kMsPerSecond;
  const unsigned s = static_cast<unsigned>(seconds);
  return (s > most ? most : s) * kMsPerSecond;
}

unsigned period_ms(int milliseconds) {
  return milliseconds <= 0 ? kShortestPeriodMs : static_cast<unsigned>(milliseconds);
}

bool MonitorOnce::ensure(Factory make, const char* name) {
  int state = state_.load(std::memory_order_acquire);
  if (state == kStarted) return true;
  int expected = kIdle;
  if (state == kIdle && state_.compare_exchange_strong(expected, kStarting)) {
    starter_.store(GetCurrentThreadId());
    const bool ok = start(make, name);
    // Until the new thread has entered its code it waits for the loader; an unload in
    // that time could not stop it. So the first use waits for it (briefly: a caller that
    // holds the loader lock itself, in a DLL's start-up, goes on without it).
    if (ok) {
      thread_->wait_entered(kMonitorEnterWaitMs);
      remember(this);
    }
    starter_.store(0);
    state_.store(ok ? kStarted : kIdle, std::memory_order_release);
    return ok;
  }
  if (starter_.load() == GetCurrentThreadId()) return false;
  while ((state = state_.load(std::memory_order_acquire)) == kStarting) Sleep(1);
  return state == kStarted;
}

bool MonitorOnce::stop_at_unload() {
  if (unload_result_ < 0) {
    MonitorThread* t = thread();
    unload_result_ = t != nullptr && t->stop_at_unload() ? 1 : 0;
  }
  return unload_result_ == 1;
}

void stop_monitors_at_unload() {
  for (auto& slot : g_monitors)
    if (MonitorOnce* monitor = slot.load()) monitor->stop_at_unload();
}

bool MonitorOnce::start(Factory make, const char* name) {
  MonitorThread* t = thread_;
  try {
    if (t == nullptr) t = make();
    thread_ = t;
    return t->start(name);
  } catch (...) {
    // The thread's wake-up event could not be made: the monitor stays unstarted.
    return false;
  }
}

}  // namespace kv
