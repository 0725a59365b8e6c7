// Locks and an event of the basalt layer. All are the system's own objects, unnamed,
// owned by the C++ object (created in the constructor, closed in the destructor) and
// neither copyable nor movable.
#pragma once

#include <windows.h>

namespace basalt {

// Something that can be locked and unlocked.
class Lockable {
 public:
  virtual ~Lockable() = default;
  virtual void lock() = 0;
  virtual void unlock() = 0;

 protected:
  Lockable() = default;
  Lockable(const Lockable&) = delete;
  Lockable& operator=(const Lockable&) = delete;
};

// A system critical section: fast, process-local, recursive for its owner. Never fails.
class CriticalSection final : public Lockable {
 public:
  CriticalSection();
  ~CriticalSection() override;
  void lock() override;
  void unlock() override;

 private:
  CRITICAL_SECTION section_;
};

// An unnamed system mutex, not held at first; recursive for its owner. Raises CError
// when it can't be created ("basalt::Mutex::Mutex"), waited for ("basalt::Mutex::enter")
// or released ("basalt::Mutex::leave", e.g. by a thread that does not hold it). A wait
// that finds the mutex abandoned by a dead owner takes it.
class Mutex final : public Lockable {
 public:
  Mutex();
  ~Mutex() override;
  void enter();
  void leave();
  void lock() override { enter(); }
  void unlock() override { leave(); }

 private:
  HANDLE handle_;
};

// Holds a lock for its lifetime. An unlock failure at its end is ignored.
class Guard {
 public:
  explicit Guard(Lockable& lock) : lock_(lock) { lock_.lock(); }
  ~Guard();
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lockable& lock_;
};

// An unnamed auto-reset event, not signalled at first: set() wakes one waiter (or the
// next one to wait). Raises CError when it can't be created ("basalt::Semaphore::Semaphore"),
// set ("basalt::Semaphore::set") or waited for ("basalt::Semaphore::wait").
class Semaphore {
 public:
  Semaphore();
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void set();
  // Waits for the event; 0 ms means without time-out. True when signalled, false on
  // time-out.
  bool wait(unsigned ms);

 private:
  HANDLE handle_;
};

}  // namespace basalt
