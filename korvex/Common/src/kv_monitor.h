// The library's monitor threads ("MEMM", "TIMN", "TRAF"): each is started once per
// process and then runs its pass until the process ends or the library unloads.
#pragma once

#include <windows.h>

#include <atomic>

#include "basalt_thread.h"

namespace kv {

// A basalt thread whose pass is the monitor's work followed by its pause. It tells
// when it has left its pass loop, so that the library can stop it at unload.
class MonitorThread : public basalt::Thread {
 public:
  MonitorThread();
  ~MonitorThread() override;

  // At unload (the process goes on without the library): asks the thread to stop and
  // answers true once it has left the library's code for good (within
  // kMonitorStopWaitMs); it is then terminated where it waits, inside the system, so the
  // state its pass reads may be freed. A thread that has not begun yet (it waits for the
  // loader lock the unloader holds) is terminated before it runs. False when it had
  // already ended (the process is ending, and a lock may be held by a thread that no
  // longer exists) or did not stop in time.
  bool stop_at_unload();

 protected:
  // One report; answers the pause before the next one, in milliseconds.
  virtual unsigned report() = 0;
  // Reports, then pauses; a monitor that reports after its pause overrides this.
  void pass() override;

 private:
  HANDLE left_;  // set by the thread as it parks
  HANDLE park_;  // never set: the parked thread waits on it
};

// A period in seconds or milliseconds as a pause: 0 or less counts as one second.
unsigned period_ms_from_seconds(int seconds);
unsigned period_ms(int milliseconds);

// Starts a process-wide monitor once. The first caller makes and starts the thread;
// concurrent first callers wait until that has finished, successfully or not. A call
// made by the starting thread itself while it starts (a re-entrant first use) returns
// at once instead of waiting on itself. A failed start leaves the monitor unstarted,
// so a later call tries again.
class MonitorOnce {
 public:
  using Factory = MonitorThread* (*)();

  constexpr MonitorOnce() = default;
  // At unload a running monitor is stopped (see MonitorThread::stop_at_unload).
  ~MonitorOnce() { stop_at_unload(); }
  MonitorOnce(const MonitorOnce&) = delete;
  MonitorOnce& operator=(const MonitorOnce&) = delete;

  // True when the monitor was stopped (now or by an earlier call) and no longer reads the
  // library's state.
  bool stop_at_unload();

  // Answers whether the monitor is running (started by this or an earlier call).
  bool ensure(Factory make, const char* name);
  bool started() const { return state_.load(std::memory_order_acquire) == kStarted; }
  // The running thread, or null.
  MonitorThread* thread() const { return started() ? thread_ : nullptr; }

 private:
  static constexpr int kIdle = 0;
  static constexpr int kStarting = 1;
  static constexpr int kStarted = 2;

  bool start(Factory make, const char* name);

  std::atomic<int> state_{kIdle};
  std::atomic<DWORD> starter_{0};
  MonitorThread* thread_ = nullptr;
  int unload_result_ = -1;  // -1 until stop_at_unload ran
};

// Stops every started monitor when the library is unloaded (before its state goes).
void stop_monitors_at_unload();

}  // namespace kv
