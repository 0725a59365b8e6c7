// The kvraise family: errors thrown by value with the thread's source position.
#include <windows.h>
#include <winsock2.h>

#include <cstdarg>
#include <cstdio>

#include "kv_error_text.h"
#include "kv_util.h"
#include "kverror.h"

// Formats the variable arguments of the enclosing function, which follow its parameter
// `last`, with `format` into the character array `buffer`.
#define KV_FORMAT_ARGS(buffer, format, last)                 \
  do {                                                       \
    va_list args;                                            \
    va_start(args, last);                                    \
    kv::format_bounded(buffer, sizeof buffer, format, args); \
    va_end(args);                                            \
  } while (0)

namespace {

constexpr std::size_t kMessageSize = KV_ERROR_MESSAGE_MAX + 1;
// kvraisec_chartooem uses at most this much of its format (with its zero).
constexpr std::size_t kOemFormatSize = 100;

template <class Error>
[[noreturn]] void throw_error(int code, const char* message) {
  throw Error(code, message, kv::source_base_name(), kv::source_line());
}

// "(<file> at <line>): <text> ..." for the OS and socket errors.
template <class Error>
[[noreturn]] void throw_with_system_text(int code, const char* layout, const char* text,
                                         const char* system_text) {
  char message[kMessageSize];
  std::snprintf(message, sizeof message, layout, kv::source_base_name(), kv::source_line(), text,
                system_text);
  throw_error<Error>(code, message);
}

}  // namespace

extern "C" void __cdecl kvraise(const char* format, ...) {
  char message[kMessageSize];
  KV_FORMAT_ARGS(message, format, format);
  throw_error<CError>(0, message);
}

extern "C" void __cdecl kvraisec(int code, const char* format, ...) {
  char message[kMessageSize];
  KV_FORMAT_ARGS(message, format, format);
  throw_error<CError>(code, message);
}

extern "C" void __cdecl kvraisec_chartooem(int code, const char* format, ...) {
  char oem_format[kOemFormatSize];
  kv::oem_format(format, oem_format, sizeof oem_format);
  char message[kMessageSize];
  KV_FORMAT_ARGS(message, oem_format, format);
  throw_error<CError>(code, message);
}

extern "C" void __cdecl kvraiseos(const char* format, ...) {
  const DWORD last_error = GetLastError();
  char text[kMessageSize];
  KV_FORMAT_ARGS(text, format, format);
  char description[kMessageSize];
  kv::system_error_text(last_error, description, sizeof description);
  throw_with_system_text<COSError>(0, "(%s at %d): %s OS error description is '%s'.", text,
                                   description);
}

extern "C" void __cdecl kvraisesoc(const char* format, ...) {
  const int socket_error = WSAGetLastError();
  char text[kMessageSize];
  KV_FORMAT_ARGS(text, format, format);
  char description[kMessageSize];
  kv::load_library_string(static_cast<unsigned>(socket_error), description, sizeof description);
  throw_with_system_text<CSocError>(socket_error, "(%s at %d): %s %s.", text, description);
}
