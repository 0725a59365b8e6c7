// Internal logging API of Korvex: every part of the library writes its lines here.
//
// Each host thread owns one slot in each of three log tables (events, errors, net
// events), chosen with util_init / netutil_init. Lines are composed in the calling
// thread's own buffer and written whole under the file's write mutex, so lines of
// different threads never mix. None of the writing functions throws; a thread that
// has no slot of a kind simply skips that destination.
//
// Thread safety: every function may be called from any thread. The per-thread
// state (mark, banner, source position, line buffer) belongs to the calling thread.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "kv_util_limits.h"

#define KV_PRINTF(fmt, first) __attribute__((format(gnu_printf, fmt, first)))

namespace kv {

enum class LogTable { events = 0, errors = 1, netevents = 2 };
inline constexpr int kTableCount = 3;

// The letter that starts a line; a debug event uses '0' + level instead.
enum class LineKind : char {
  event = 'V',
  error = 'E',
  warning = 'W',
  oserror = 'O',
  socerror = 'S',
  internal = 'F',  // exception reports and call stacks: the thread's events log only
};

// Keeps the caller's last OS error across work that may change it.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD saved_;
};

// ---- Library state (valid between process attach and detach) ----

HMODULE module_handle();          // the DLL itself, for its string table
HANDLE dump_mutex();              // serialises dump writing
HMODULE ombrel_module();          // null when ombrel.dll is missing
FARPROC vigilor_send_info();      // "SendInfo" of vigilor.dll, null when missing
const char* host_program_path();  // full path of the host's executable ("" if unknown)

int debug_level();
// Sets the level when level >= 0; always answers the level before the call.
int set_debug_level(int level);

// ---- Writing lines ----

// Writes a line of the given kind to the destinations of that kind. Answers the
// number of characters composed (header included).
int write_line(LineKind kind, const char* format, ...) KV_PRINTF(2, 3);
int write_line_v(LineKind kind, const char* format, va_list args);

// A debug event of kind '0' + level, written only when level <= debug level;
// otherwise nothing is written and the debug level is answered.
int write_debug(int level, const char* format, ...) KV_PRINTF(2, 3);
int write_debug_v(int level, const char* format, va_list args);

// The formatted text alone, without header or line end, to the net events log.
int write_netevent_v(const char* format, va_list args);

// Kinds "O" and "S": last_error is the OS or socket error number to describe.
int write_oserror_v(unsigned last_error, const char* format, va_list args);
int write_socerror_v(int socket_error, const char* format, va_list args);

// ---- The calling thread ----

// Attaches the calling thread to a named log (util_init's steps for one kind); the
// settings file (may be null) supplies the daily rotation. Throws the text
// kSharingViolationText (const char*) or the OS error code (std::uint32_t) when the
// file can't be opened; no lock is held and no half-made slot is left when it does.
void attach_thread(LogTable table, const char* name, const char* settings_file);

// The calling thread's slot index in a table, or kNoSlot.
int thread_slot(LogTable table);

// Releases every slot of the calling thread and frees its state (thread end).
void detach_thread();

// The mark (at most 7 characters) and banner (at most 255) of the calling thread.
char* set_mark(const char* mark);  // answers the thread's mark
// The calling thread's lines show thread_id as their thread number from now on (a
// thread that writes a report for another one).
void report_as_thread(DWORD thread_id);
char* mark();  // "" when none is set; never null
bool set_banner(const char* banner);

// Source position stored by place(); file is "" and line 0 until then.
unsigned set_source_position(const char* file, int line);  // length stored plus one
const char* source_file();
int source_line();
// The base name of source_file(): the text after the last '\\' or ':'.
const char* source_base_name();

// ---- Logs as files ----

// Forces rotation of a named log now (rotate_log for one kind). Never throws: answers 0,
// or the OS error of an open that failed (the reopen after the rotation, or the attach
// of a log that was not open), which the caller reports with raise_open_failure. A
// failed reopen leaves the log closed; later writes retry it (see write_to_slot).
unsigned rotate_now(LogTable table, const char* name, int generations);

// Throws an open failure as util_init does: the text kSharingViolationText for a sharing
// violation, otherwise the OS error code as std::uint32_t.
[[noreturn]] void raise_open_failure(unsigned error);

// ---- Error texts ----

// The system's text for an OS error code with trailing blanks and punctuation cut
// (a final '.' and ')' stay), else the library's string table entry, else
// kNoDescription. Always zero-terminated within size.
void describe_error(unsigned code, char* out, std::size_t size);

// Cuts trailing characters at or below '-' except ')' from a system message.
void trim_error_text(char* text);

// Loads an entry of the library's string table (the socket error texts). Answers
// false and leaves out empty when there is none.
bool load_library_string(unsigned id, char* out, std::size_t size);

// ---- Tagged lines ----

// The library's own diagnostic lines: "TAG:" then streamed text, values written as
// name<value>; emitted as a debug event of level 0 when finished (emit() or the
// destructor). A builder whose level is above 0 and above the debug level writes
// nothing and builds nothing. Text beyond kPieceLimit characters is dropped.
class TaggedLine {
 public:
  TaggedLine(const char* tag, int level = 0);
  ~TaggedLine();
  TaggedLine(const TaggedLine&) = delete;
  TaggedLine& operator=(const TaggedLine&) = delete;

  bool enabled() const { return enabled_; }

  TaggedLine& operator<<(const char* text);
  TaggedLine& operator<<(char c);
  TaggedLine& operator<<(long long value);
  TaggedLine& operator<<(unsigned long long value);
  TaggedLine& operator<<(int value) { return *this << static_cast<long long>(value); }
  TaggedLine& operator<<(long value) { return *this << static_cast<long long>(value); }
  TaggedLine& operator<<(unsigned value) { return *this << static_cast<unsigned long long>(value); }
  TaggedLine& operator<<(unsigned long value) {
    return *this << static_cast<unsigned long long>(value);
  }
  TaggedLine& operator<<(double value);
  TaggedLine& operator<<(const void* pointer);

  // name<value>
  template <class T>
  TaggedLine& value(const char* name, const T& v) {
    if (enabled_) *this << name << '<' << v << '>';
    return *this;
  }

  // Writes the line now (once); answers what write_debug answered, or 0 if disabled.
  int emit();

 private:
  void append(const char* text, std::size_t length);

  bool enabled_;
  bool emitted_ = false;
  std::size_t length_ = 0;
  char text_[kPieceLimit + 1];
};

}  // namespace kv
