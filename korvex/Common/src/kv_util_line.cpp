// Composition of a line (header, pieces, limits), its CR-LF output form and its
// destinations.
#include <cstdio>
#include <cstring>

#include "kv_util_state.h"

namespace kv {
namespace {

constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kWeekdays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::size_t kStampSize = 32;
constexpr std::size_t kKindSize = 4;
constexpr int kYearDigits = 100;

// Appends one formatted piece of at most kPieceLimit characters to the thread's line;
// a longer piece (or one that no longer fits) is replaced by kPieceTooLong.
void append_piece_v(ThreadState& s, const char* format, va_list args) {
  const std::size_t room = kLineSize - s.length;
  char* at = s.line + s.length;
  const std::size_t limit = room < kPieceLimit + 1 ? room : kPieceLimit + 1;
  const int n = limit > 0 ? std::vsnprintf(at, limit, format ? format : "", args) : -1;
  if (n >= 0 && static_cast<std::size_t>(n) < limit) {
    s.length += static_cast<std::size_t>(n);
    return;
  }
  const std::size_t marker = sizeof kPieceTooLong - 1;
  if (marker < room) {
    std::memcpy(at, kPieceTooLong, marker + 1);
    s.length += marker;
  } else if (room > 0) {
    *at = '\0';
  }
}

void append_piece(ThreadState& s, const char* format, ...) KV_PRINTF(2, 3);
void append_piece(ThreadState& s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_piece_v(s, format, args);
  va_end(args);
}

// " 6 Dec 26 (Sun) 16:06:25.123": day, month, year, weekday, time, milliseconds.
void time_stamp(char* out) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  std::snprintf(out, kStampSize, "%2u %.3s %02u (%.3s) %02u:%02u:%02u.%03u", t.wDay,
                kMonths[(t.wMonth + 11) % 12], t.wYear % kYearDigits, kWeekdays[t.wDayOfWeek % 7],
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

void start_line(ThreadState& s, const char* kind) {
  s.length = 0;
  s.line[0] = '\0';
  char stamp[kStampSize];
  time_stamp(stamp);
  const int pid = static_cast<int>(GetCurrentProcessId());
  const int tid = static_cast<int>(s.reported_id ? s.reported_id : GetCurrentThreadId());
  if (s.mark[0]) {
    append_piece(s, "%s: %s (%d:%d:%s): %s", kind, stamp, pid, tid, s.mark, s.banner);
  } else {
    append_piece(s, "%s: %s (%d:%d): %s", kind, stamp, pid, tid, s.banner);
  }
}

// Copies the line into the output buffer with a CR before every LF, stopping at the
// output limit; a cut line still ends with CR-LF when the line itself ended with LF.
std::size_t to_output(ThreadState& s) {
  std::size_t out = 0;
  std::size_t in = 0;
  for (; in < s.length && out < kOutputLimit; ++in) {
    if (s.line[in] == '\n') s.output[out++] = '\r';
    s.output[out++] = s.line[in];
  }
  const bool cut = in < s.length;
  const bool ends_line = s.length > 0 && s.line[s.length - 1] == '\n';
  const bool has_end = out >= 2 && s.output[out - 2] == '\r' && s.output[out - 1] == '\n';
  if (cut && ends_line && !has_end) {
    s.output[out++] = '\r';
    s.output[out++] = '\n';
  }
  s.output[out] = '\0';
  return out;
}

// A thread whose report logs could not be opened has a console slot as its own log
// (kv_exc_report.cpp); the console then gets the line once, as its own log.
void write_to_console(LogTable table, const ThreadState& s, const char* out, std::size_t n) {
  if (s.slot[static_cast<int>(table)] != kConsoleSlot) write_to_slot(table, kConsoleSlot, out, n);
}

void deliver(ThreadState& s, LineKind kind) {
  const std::size_t n = to_output(s);
  const char* out = s.output;
  write_to_slot(LogTable::events, s.slot[0], out, n);
  switch (kind) {
    case LineKind::error:
    case LineKind::warning:
    case LineKind::oserror:
    case LineKind::socerror:
      write_to_slot(LogTable::errors, s.slot[1], out, n);
      write_to_console(LogTable::events, s, out, n);
      write_to_console(LogTable::errors, s, out, n);
      break;
    case LineKind::event:
      write_to_console(LogTable::events, s, out, n);
      break;
    case LineKind::internal:
      break;
  }
}

// "Running <host>: " and, for O and S lines, "(<file> at <line>) ".
void running_prefix(ThreadState& s, LineKind kind) {
  switch (kind) {
    case LineKind::error:
      append_piece(s, "Running %s: %s: ", host_program_path(), "Error");
      break;
    case LineKind::warning:
      append_piece(s, "Running %s: %s: ", host_program_path(), "Warning");
      break;
    case LineKind::oserror:
    case LineKind::socerror:
      append_piece(s, "Running %s: ", host_program_path());
      append_piece(s, "(%s at %d) ", source_base_name(), s.source_line);
      break;
    default:
      break;
  }
}

int compose_and_deliver(LineKind kind, const char* kind_text, const char* format, va_list args,
                        void (*tail)(ThreadState&, const void*), const void* tail_data) {
  LastErrorKeeper keep;
  ThreadState* s = thread_state();
  if (!s) return 0;
  start_line(*s, kind_text);
  running_prefix(*s, kind);
  append_piece_v(*s, format, args);
  if (tail) tail(*s, tail_data);
  append_piece(*s, "\n");
  const int composed = static_cast<int>(s->length);
  deliver(*s, kind);
  return composed;
}

void oserror_tail(ThreadState& s, const void* data) {
  const unsigned code = *static_cast<const unsigned*>(data);
  describe_error(code, s.description, sizeof s.description);
  append_piece(s, " OS error description: [%d] [%s].", static_cast<int>(code), s.description);
}

void socerror_tail(ThreadState& s, const void* data) {
  const int code = *static_cast<const int*>(data);
  describe_error(static_cast<unsigned>(code), s.description, sizeof s.description);
  append_piece(s, "OS error description: %s.", s.description);
}

}  // namespace

int write_line_v(LineKind kind, const char* format, va_list args) {
  const char kind_text[kKindSize] = {static_cast<char>(kind), '\0'};
  return compose_and_deliver(kind, kind_text, format, args, nullptr, nullptr);
}

int write_line(LineKind kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = write_line_v(kind, format, args);
  va_end(args);
  return n;
}

int write_debug_v(int level, const char* format, va_list args) {
  const int current = debug_level();
  if (level > current) return current;
  const char kind_text[kKindSize] = {static_cast<char>('0' + level), '\0'};
  return compose_and_deliver(LineKind::event, kind_text, format, args, nullptr, nullptr);
}

int write_debug(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = write_debug_v(level, format, args);
  va_end(args);
  return n;
}

int write_oserror_v(unsigned last_error, const char* format, va_list args) {
  return compose_and_deliver(LineKind::oserror, "O", format, args, oserror_tail, &last_error);
}

int write_socerror_v(int socket_error, const char* format, va_list args) {
  return compose_and_deliver(LineKind::socerror, "S", format, args, socerror_tail, &socket_error);
}

int write_netevent_v(const char* format, va_list args) {
  LastErrorKeeper keep;
  ThreadState* s = thread_state();
  if (!s) return 0;
  s->length = 0;
  s->line[0] = '\0';
  append_piece_v(*s, format, args);
  const std::size_t n = to_output(*s);
  write_to_slot(LogTable::netevents, s->slot[2], s->output, n);
  return static_cast<int>(s->length);
}

}  // namespace kv
