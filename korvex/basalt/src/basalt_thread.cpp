#include "basalt_thread.h"

#include <exception>

#include "basalt_raise.h"
#include "basalt_translator.h"
#include "kverror.h"
#include "kvexc.h"
#include "pclib.h"

namespace basalt {
namespace {

// Every thread starts as "MAIN"; a basalt thread renames itself.
struct ThreadName {
  char text[kThreadNameSize];
  ThreadName() { kv_detail::copy_bounded(text, kMainThreadName, kThreadNameSize - 1); }
};
thread_local ThreadName t_thread_name;

// The one line that tells why a thread ended: "basalt::threadFunc:tag<name>" + detail.
void log_thread_end(const char* name, const char* label, const char* text) {
  if (label == nullptr) {
    devent(0, "%s:tag<%s>...", kThreadFuncTag, name);
    return;
  }
  devent(0, "%s:tag<%s>%s<%.*s>", kThreadFuncTag, name, label, kQuotedTextMax, text);
}

}  // namespace

const char* thread_name() {
  return t_thread_name.text;
}

void set_thread_name(const char* name) {
  kv_detail::copy_bounded(t_thread_name.text, name, kThreadNameSize - 1);
}

Thread::Thread()
    : handle_(INVALID_HANDLE_VALUE),
      stop_(0),
      wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      entered_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  name_[0] = '\0';
  if (wake_ == nullptr || entered_ == nullptr) {
    const DWORD error = GetLastError();
    if (wake_) CloseHandle(wake_);
    if (entered_) CloseHandle(entered_);
    SetLastError(error);
    raise_last_error("basalt::Thread::Thread", __LINE__);
  }
}

Thread::~Thread() {
  if (running()) {
    stop_.exchange(1);
    SetEvent(wake_);
    WaitForSingleObject(handle_, kDestructorWaitMs);
  }
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  CloseHandle(wake_);
  CloseHandle(entered_);
}

bool Thread::running() const {
  return handle_ != INVALID_HANDLE_VALUE && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

bool Thread::start(const char* name) {
  if (running()) return false;
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  kv_detail::copy_bounded(name_, name, kThreadNameSize - 1);
  stop_.exchange(0);
  ResetEvent(wake_);
  ResetEvent(entered_);
  HANDLE h = CreateThread(nullptr, 0, &Thread::thread_func, this, 0, nullptr);
  if (h == nullptr) return false;
  handle_ = h;
  return true;
}

void Thread::request_stop() {
  on_stop();
  stop_.exchange(1);
  SetEvent(wake_);
}

bool Thread::wait(unsigned ms) {
  if (handle_ == INVALID_HANDLE_VALUE) return true;
  const DWORD result = WaitForSingleObject(handle_, wait_timeout(ms));
  if (result == WAIT_OBJECT_0) return true;
  if (result == WAIT_TIMEOUT) return false;
  raise_last_error("basalt::Thread::wait", __LINE__);
}

bool Thread::wait_entered(unsigned ms) {
  return handle_ != INVALID_HANDLE_VALUE && WaitForSingleObject(entered_, ms) == WAIT_OBJECT_0;
}

bool Thread::waiting_to_enter() const {
  return running() && WaitForSingleObject(entered_, 0) != WAIT_OBJECT_0;
}

bool Thread::stop_and_park(HANDLE left, HANDLE park, unsigned ms) {
  if (handle_ == INVALID_HANDLE_VALUE || WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0)
    return false;
  park_ = park;
  left_.store(left);
  request_stop();
  // A thread that has not entered its code waits for the loader lock, which the caller
  // (unloading the module) holds: it can't be waited for.
  if (WaitForSingleObject(entered_, 0) != WAIT_OBJECT_0) return false;
  return WaitForSingleObject(left, ms) == WAIT_OBJECT_0;
}

void Thread::suspend() {
  if (handle_ != INVALID_HANDLE_VALUE) SuspendThread(handle_);
}

void Thread::resume() {
  if (handle_ != INVALID_HANDLE_VALUE) ResumeThread(handle_);
}

bool Thread::terminate() {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  return KTerminateThread(handle_, 0) != 0;
}

bool Thread::pause(unsigned ms) {
  if (stop_requested()) return false;
  WaitForSingleObject(wake_, wait_timeout(ms));
  return !stop_requested();
}

void Thread::on_start() {
  install_translator();
  char mark[kThreadMarkLength + 1];
  kv_detail::copy_bounded(mark, name_, kThreadMarkLength);
  util_init(kThreadEventsLog, kThreadErrorsLog, mark, nullptr);
}

void Thread::run() {
  on_start();
  while (!stop_requested()) pass();
  on_end();
}

DWORD WINAPI Thread::thread_func(void* self) {
  Thread* thread = static_cast<Thread*>(self);
  SetEvent(thread->entered_);
  set_thread_name(thread->name_);
  try {
    thread->run();
  } catch (const CEmptyError& e) {
    log_thread_end(thread->name_, "e.GetErrorDesc()", e.GetErrorDesc());
  } catch (const std::exception& e) {
    const char* what = e.what();
    log_thread_end(thread->name_, "what()", what != nullptr ? what : "{NULL}");
  } catch (...) {
    log_thread_end(thread->name_, nullptr, nullptr);
  }
  // Stopped for an unload: signalling and waiting in one system call leaves no step
  // back through this module's code, which is about to be unmapped.
  if (HANDLE left = thread->left_.load()) SignalObjectAndWait(left, thread->park_, INFINITE, FALSE);
  return 0;
}

}  // namespace basalt
