// Internal interface of the exception filters: logical addresses, the call-stack walk,
// dumps, exception reports, the e-mail report and the per-thread re-entry guard.
//
// Everything here may run on a thread that has just faulted: no function throws, and
// memory is read only after checking that it is committed, readable and not a guard page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "kv_exc_constants.h"
#include "kv_util_limits.h"

namespace kv {

// ---- Memory and addresses (kv_exc_address.cpp) ----

// True when [address, address + size) lies in committed memory that may be read (and
// written, when asked) and is not a guard page.
bool memory_ok(std::uintptr_t address, std::size_t size, bool writable);

// Where a code address lies: the module's path, the section (counted from 1, 0 when no
// section holds it) and the offset within that section.
struct LogicalAddress {
  unsigned section = 0;
  std::uintptr_t offset = 0;
  char module[kPathSize] = "";
};
LogicalAddress logical_address(std::uintptr_t address);

// The allocation base of the region holding an address (a module's base for code), or 0.
std::uintptr_t region_base(std::uintptr_t address);
// Fills the section and offset of an address in the image mapped at base; takes no lock.
void locate_section(std::uintptr_t base, std::uintptr_t address, LogicalAddress& out);

// The loader lock, taken only when no other thread holds it (retried for a short while):
// module paths are read under it, and a thread that was terminated while holding it
// holds it for good. held() is false when it could not be had.
class LoaderLockTry {
 public:
  LoaderLockTry();
  ~LoaderLockTry();
  LoaderLockTry(const LoaderLockTry&) = delete;
  LoaderLockTry& operator=(const LoaderLockTry&) = delete;
  bool held() const { return held_; }

 private:
  bool held_ = false;
  ULONG_PTR cookie_ = 0;
};
// The path of the module mapped at base into out (empty when unknown). Call it only
// while a LoaderLockTry is held: the lookup then waits for nothing and allocates nothing.
void module_path_locked(std::uintptr_t base, char* out, std::size_t size);

// The record and context of exception pointers when they can be read, else null.
const EXCEPTION_RECORD* exception_record(const EXCEPTION_POINTERS* pointers);
const CONTEXT* exception_context(const EXCEPTION_POINTERS* pointers);

// ---- Call stacks (kv_exc_stack.cpp) ----

struct Frame {
  std::uintptr_t address;  // program counter
  std::uintptr_t frame;    // frame pointer (x86) or stack pointer of the frame (x64)
};

// Calls visit(frame, data) for each frame, the first from the context, at most
// kMaxFrames; stops early at a frame that can't be read safely. Answers the count.
using FrameVisitor = void (*)(const Frame& frame, void* data);
int walk_frames(const CONTEXT& context, FrameVisitor visit, void* data);

// The call-stack block ("F" lines) for a context; answers the number of frames.
int write_call_stack(const CONTEXT& context);

// The frames of a suspended thread, taken without any lock that the thread may hold
// (no log, no loader lock, no heap): written only after the thread was terminated.
struct CapturedFrame {
  std::uintptr_t address;
  std::uintptr_t frame;
  std::uintptr_t base;  // the module's base, 0 when none
  unsigned section;
  std::uintptr_t offset;
};
struct CapturedStack {
  int count = 0;
  CapturedFrame frames[kMaxFrames];
};
void capture_stack(const CONTEXT& context, CapturedStack& stack);
// The call-stack block of a captured stack; module paths are read only when the loader
// lock is free (else they are left empty). Answers the number of frames.
int write_captured_stack(const CapturedStack& stack);

// The program counter and frame pointer of a context.
std::uintptr_t context_pc(const CONTEXT& context);
std::uintptr_t context_frame(const CONTEXT& context);

// ---- Dumps (kv_exc_dump.cpp) ----

void create_process_dump(int kind, bool count_full, bool respect_auto);
// thread_id: the faulting thread (the caller, unless the work was handed to a helper).
void create_crash_dump(int kind, EXCEPTION_POINTERS* pointers, bool respect_auto, DWORD thread_id);
bool reload_auto_setting();

// ---- Exception report (kv_exc_report.cpp) ----

// Attaches the thread to the report logs (or the console when that fails) and writes
// the report with the call stack from the exception's context.
void write_exception_report(const char* title, const EXCEPTION_POINTERS* pointers);

// ---- E-mail report (kv_notify_mail.cpp) ----

// Sends the report of an exception through postrel.dll; answers true when it was sent.
bool send_email_report(const EXCEPTION_POINTERS* pointers, const char* title, const char* app_info);

// ---- Application info (kv_exc_appinfo.cpp) ----

// A copy of the application info that belongs to the calling thread; valid until the
// thread's next call.
const char* app_info_copy();

// ---- Per-thread re-entry guard ----

// Held while the calling thread is inside a filter, a report or a dump; a fault in
// there finds it taken and does no further work.
class ReentryGuard {
 public:
  ReentryGuard();
  ~ReentryGuard();
  ReentryGuard(const ReentryGuard&) = delete;
  ReentryGuard& operator=(const ReentryGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  bool entered_;
};

// Waits at most kDumpMutexWaitMs for the dump mutex (an abandoned one counts as held).
class DumpLock {
 public:
  DumpLock();
  ~DumpLock();
  DumpLock(const DumpLock&) = delete;
  DumpLock& operator=(const DumpLock&) = delete;
  bool held() const { return held_; }

 private:
  bool held_;
};

}  // namespace kv
