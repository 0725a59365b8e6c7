#include "kv_monitor.h"

#include <limits>

#include "kv_stats_constants.h"

namespace kv {

MonitorThread::MonitorThread() : left_loop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

MonitorThread::~MonitorThread() {
  if (left_loop_ != nullptr) CloseHandle(left_loop_);
}

void MonitorThread::pass() {
  pause(report());
}

void MonitorThread::on_end() {
  if (left_loop_ != nullptr) SetEvent(left_loop_);
}

bool MonitorThread::stop_at_unload() {
  const HANDLE h = handle();
  if (h == INVALID_HANDLE_VALUE || WaitForSingleObject(h, 0) == WAIT_OBJECT_0) return false;
  request_stop();
  return left_loop_ != nullptr &&
         WaitForSingleObject(left_loop_, kMonitorStopWaitMs) == WAIT_OBJECT_0;
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
    starter_.store(0);
    state_.store(ok ? kStarted : kIdle, std::memory_order_release);
    return ok;
  }
  if (starter_.load() == GetCurrentThreadId()) return false;
  while ((state = state_.load(std::memory_order_acquire)) == kStarting) Sleep(1);
  return state == kStarted;
}

bool MonitorOnce::stop_at_unload() {
  MonitorThread* t = thread();
  return t != nullptr && t->stop_at_unload();
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
