#include "basalt_lock.h"

#include "basalt_constants.h"
#include "basalt_raise.h"

namespace basalt {
CriticalSection::CriticalSection() {
  InitializeCriticalSection(&section_);
}
CriticalSection::~CriticalSection() {
  DeleteCriticalSection(&section_);
}
void CriticalSection::lock() {
  EnterCriticalSection(&section_);
}
void CriticalSection::unlock() {
  LeaveCriticalSection(&section_);
}

Mutex::Mutex() : handle_(CreateMutexA(nullptr, FALSE, nullptr)) {
  if (handle_ == nullptr) raise_last_error("basalt::Mutex::Mutex", __LINE__);
}

Mutex::~Mutex() {
  CloseHandle(handle_);
}

void Mutex::enter() {
  const DWORD result = WaitForSingleObject(handle_, INFINITE);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
    raise_last_error("basalt::Mutex::enter", __LINE__);
  }
}

void Mutex::leave() {
  if (!ReleaseMutex(handle_)) raise_last_error("basalt::Mutex::leave", __LINE__);
}

Guard::~Guard() {
  try {
    lock_.unlock();
  } catch (...) {
    // A lock that can't be released here has no one left to report to.
  }
}

Semaphore::Semaphore() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  if (handle_ == nullptr) raise_last_error("basalt::Semaphore::Semaphore", __LINE__);
}

Semaphore::~Semaphore() {
  CloseHandle(handle_);
}

void Semaphore::set() {
  if (!SetEvent(handle_)) raise_last_error("basalt::Semaphore::set", __LINE__);
}

bool Semaphore::wait(unsigned ms) {
  const DWORD result = WaitForSingleObject(handle_, wait_timeout(ms));
  if (result == WAIT_OBJECT_0) return true;
  if (result == WAIT_TIMEOUT) return false;
  raise_last_error("basalt::Semaphore::wait", __LINE__);
}

}  // namespace basalt
