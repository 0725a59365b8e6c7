// The exported log and event functions (C calling convention, show_message standard).
#include <windows.h>
#include <winsock2.h>

#include "kv_util.h"
#include "pclib.h"

extern "C" {

int KORVEX_CALL util_init(const char* events_name, const char* errors_name, const char* mark,
                          const char* settings_file) {
  kv::LastErrorKeeper keep;
  kv::attach_thread(kv::LogTable::events, events_name, settings_file);
  kv::attach_thread(kv::LogTable::errors, errors_name, settings_file);
  if (mark && mark[0]) kv::set_mark(mark);
  return 0;
}

int KORVEX_CALL netutil_init(void) {
  kv::LastErrorKeeper keep;
  kv::attach_thread(kv::LogTable::netevents, kv::kNetEventsName, nullptr);
  return 0;
}

char* KORVEX_CALL util_set_mark(const char* mark) {
  return kv::set_mark(mark);
}

char* KORVEX_CALL getsmark(void) {
  return kv::mark();
}

int KORVEX_CALL setbanner(const char* banner) {
  return kv::set_banner(banner) ? 1 : 0;
}

int KORVEX_CALL SetDebugLevel(int level) {
  return kv::set_debug_level(level);
}

int KORVEX_CALL event(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kv::write_line_v(kv::LineKind::event, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL devent(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kv::write_debug_v(level, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kv::write_line_v(kv::LineKind::error, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL warning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kv::write_line_v(kv::LineKind::warning, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL oserrori(const char* format, ...) {
  const unsigned last_error = GetLastError();
  va_list args;
  va_start(args, format);
  const int n = kv::write_oserror_v(last_error, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL socerrori(const char* format, ...) {
  const int socket_error = WSAGetLastError();
  va_list args;
  va_start(args, format);
  const int n = kv::write_socerror_v(socket_error, format, args);
  va_end(args);
  return n;
}

int KORVEX_CALL netevent(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = kv::write_netevent_v(format, args);
  va_end(args);
  return n;
}

unsigned KORVEX_CALL place(const char* file, int line) {
  kv::LastErrorKeeper keep;  // hosts call place() between a failure and kvraiseos()
  return kv::set_source_position(file, line);
}

void KORVEX_CALL seterror(int code) {
  SetLastError(static_cast<DWORD>(code) | kv::kApplicationErrorBit);
}

void KORVEX_CALL rotate_log(const char* events_name, const char* errors_name, int /*unused*/,
                            int generations) {
  kv::LastErrorKeeper keep;
  // Both logs are rotated before the first failure is reported.
  const unsigned events_error = kv::rotate_now(kv::LogTable::events, events_name, generations);
  const unsigned errors_error = kv::rotate_now(kv::LogTable::errors, errors_name, generations);
  if (events_error != 0) kv::raise_open_failure(events_error);
  if (errors_error != 0) kv::raise_open_failure(errors_error);
}

int __stdcall show_message(const char* text) {
  kv::LastErrorKeeper keep;
  kv::attach_thread(kv::LogTable::events, kv::kShowMessageLog, nullptr);
  kv::set_mark(kv::kShowMessageMark);
  return kv::write_line(kv::LineKind::event, "%s", text ? text : "");
}

}  // extern "C"
