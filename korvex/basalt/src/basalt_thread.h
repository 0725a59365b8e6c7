// basalt::Thread: a named worker thread that runs its pass until asked to stop.
//
// A derived class supplies pass(); the thread runs the start hook, then pass() until a
// stop is requested, then the end hook. The default start hook installs the library's
// structured-exception translator for the thread (basalt_translator.h) and attaches the
// thread to "events.log" and "errors.log" beside the host program, marked with the first
// 7 characters of the thread's name. An exception that leaves the hooks or a pass (a
// fault in this module's code included) ends the thread after one tagged line
// "basalt::threadFunc:tag<name>..." (a debug event of level 0).
//
// Owner's contract: call request_stop() and wait() before the object is destroyed (a
// derived class's pass must not run while its object is torn down). The destructor
// only covers a forgotten stop: it requests one and waits a few seconds.
#pragma once

#include <windows.h>

#include <atomic>

#include "basalt_constants.h"

namespace basalt {

// The calling thread's name: "MAIN" unless it is a basalt::Thread (then its name, at
// most 19 characters). Never null.
const char* thread_name();
void set_thread_name(const char* name);

class Thread {
 public:
  // Raises CError ("basalt::Thread::Thread") when its wake-up event can't be created.
  Thread();
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Stores the name (at most 19 characters) and starts the system thread. Answers
  // whether it started; false also while an earlier start is still running.
  bool start(const char* name);

  // Runs the stop hook, then sets the stop flag and wakes a pass sleeping in pause().
  // The thread ends after its current pass.
  void request_stop();

  // Waits for the thread's end; 0 ms means without time-out. True unless the time ran
  // out; true at once for a thread that never started. Raises CError
  // ("basalt::Thread::wait") when the wait itself fails.
  bool wait(unsigned ms);

  // Waits at most ms for the thread to have begun running its own code (a new thread
  // first waits for the loader); true when it has.
  bool wait_entered(unsigned ms);
  // Whether the thread is alive and has not begun running its own code.
  bool waiting_to_enter() const;

  // For an unload of the module that holds the thread's code: asks for a stop after
  // which the thread does not return through this module's code but signals left and
  // waits for good inside the system (it can then be terminated safely). Answers true
  // once it has done so within ms; false when it never entered its code (it can't
  // until the loader lock is free), ended otherwise, or did not stop in time.
  bool stop_and_park(HANDLE left, HANDLE park, unsigned ms);

  bool stop_requested() const { return stop_.load() != 0; }
  const char* name() const { return name_; }
  HANDLE handle() const { return handle_; }

  void suspend();
  void resume();
  // Ends the thread at once with exit code 0 through KTerminateThread (its stack is
  // logged first). Answers whether it was terminated.
  bool terminate();

 protected:
  // One pass of the thread's work; run again and again until a stop is requested.
  virtual void pass() = 0;
  virtual void on_start();
  virtual void on_end() {}
  // Runs in request_stop(), on the requesting thread, before the flag is set.
  virtual void on_stop() {}

  // Sleeps ms milliseconds (0: until a stop) unless a stop is requested. Answers false
  // when a stop was requested (at once, or while sleeping), true after the full pause.
  bool pause(unsigned ms);

 private:
  static DWORD WINAPI thread_func(void* self);
  void run();
  bool running() const;

  HANDLE handle_;                      // INVALID_HANDLE_VALUE until started
  std::atomic<long> stop_;             // non-zero once a stop is requested
  char name_[kThreadNameSize];         // the name given to start()
  HANDLE wake_;                        // manual-reset event: set by request_stop(), ends pause()
  HANDLE entered_;                     // manual-reset event: set when thread_func begins
  std::atomic<HANDLE> left_{nullptr};  // with park_: where the thread ends (stop_and_park)
  HANDLE park_ = nullptr;
};

}  // namespace basalt
