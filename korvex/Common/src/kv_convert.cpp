// ANSI <-> OEM conversions with a process-wide switch and optional logging.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "kv_translit.h"
#include "kv_util.h"
#include "kvconvert.h"

namespace {

std::atomic<int> g_do_conversion{1};
std::atomic<int> g_do_log{0};

bool converting() noexcept {
  return g_do_conversion.load(std::memory_order_relaxed) != 0;
}
bool logging() noexcept {
  return g_do_log.load(std::memory_order_relaxed) != 0;
}

const char* safe(const char* text) noexcept {
  return text != nullptr ? text : "(null)";
}

// Length of text, reading at most max bytes of it.
int bounded_length(const char* text, int max) noexcept {
  if (text == nullptr || max <= 0) return 0;
  const void* zero = std::memchr(text, '\0', static_cast<size_t>(max));
  return zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - text) : max;
}

void log_before(const char* op, const char* caller, int line, const char* src) {
  if (logging())
    kv::write_line(kv::LineKind::event, "%s before. Caller: %s:%d. lpszSrc='%s'", op, safe(caller),
                   line, safe(src));
}

void log_after(const char* op, const char* caller, int line, const char* dst, int max = -1) {
  if (!logging()) return;
  const int n = max < 0 ? static_cast<int>(std::strlen(safe(dst))) : bounded_length(dst, max);
  kv::write_line(kv::LineKind::event, "%s after.  Caller: %s:%d. lpszDst='%.*s'", op, safe(caller),
                 line, n, safe(dst));
}

// Copies the zero-terminated src to dst unless they are the same buffer.
void copy_text(const char* src, char* dst) noexcept {
  if (src != dst) std::memmove(dst, src, std::strlen(src) + 1);
}

// Transliterates src into dst; a source that shares the destination is read from a copy,
// since the Latin spelling may be longer than the letter it replaces.
void transliterate(const char* src, int src_length, char* dst, int dst_size) {
  const int n = bounded_length(src, src_length);
  const bool overlaps = src != nullptr && src < dst + dst_size && dst < src + n;
  if (!overlaps) {
    kv::transliterate_ukrainian(src, n, dst, dst_size);
    return;
  }
  std::string copy(src, static_cast<size_t>(n));
  kv::transliterate_ukrainian(copy.c_str(), n, dst, dst_size);
}

using SystemConversion = BOOL(WINAPI*)(LPCSTR, LPSTR);

int convert_text(const char* op, SystemConversion convert, const char* src, char* dst,
                 const char* caller, int line) {
  log_before(op, caller, line, src);
  if (src == nullptr || dst == nullptr) return 0;
  int result = 1;
  if (converting()) {
    result = convert(src, dst);
  } else {
    copy_text(src, dst);
  }
  log_after(op, caller, line, dst);
  return result;
}

}  // namespace

extern "C" int __cdecl KCharToOemA(const char* src, char* dst, const char* caller, int line) {
  return convert_text("KCharToOemA", CharToOemA, src, dst, caller, line);
}

extern "C" int __cdecl KOemToCharA(const char* src, char* dst, const char* caller, int line) {
  return convert_text("KOemToCharA", OemToCharA, src, dst, caller, line);
}

extern "C" int __cdecl KCharToOemBuffA(const char* src, char* dst, int length, const char* caller,
                                       int line) {
  if (logging()) {
    kv::write_line(kv::LineKind::event,
                   "KCharToOemBuffA before. Caller: %s:%d. lpszSrc='%.*s', cchDstLength=%d",
                   safe(caller), line, bounded_length(src, length), safe(src), length);
  }
  if (length <= 0 || src == nullptr || dst == nullptr) return 1;
  if (converting()) {
    CharToOemBuffA(src, dst, static_cast<DWORD>(length));
  } else if (src != dst) {
    const int n = bounded_length(src, length);
    std::memmove(dst, src, static_cast<size_t>(n < length ? n + 1 : n));
    dst[length - 1] = '\0';
  }
  log_after("KCharToOemBuffA", caller, line, dst, length);
  return 1;
}

extern "C" int __cdecl KCharToOemForTranslate(const char* src, int src_length, char* dst,
                                              int dst_size, const char* caller, int line) {
  static constexpr const char* kOp = "KCharToOemForTranslate";
  if (logging()) {
    kv::write_line(kv::LineKind::event, "%s before. Caller: %s:%d. lpszSrc='%.*s'", kOp,
                   safe(caller), line, bounded_length(src, src_length), safe(src));
  }
  if (dst == nullptr || dst_size <= 0) return 1;
  int result = 1;
  if (converting()) {
    if (src != dst) {
      const int n = bounded_length(src, src_length < dst_size ? src_length : dst_size - 1);
      if (n > 0) std::memmove(dst, src, static_cast<size_t>(n));
      dst[n] = '\0';
    }
  } else {
    transliterate(src, src_length, dst, dst_size);
    result = CharToOemA(dst, dst);
  }
  log_after(kOp, caller, line, dst, dst_size);
  return result;
}

extern "C" void __cdecl SetCharConvertOptions(int do_conversion, int do_log) {
  kv::write_line(kv::LineKind::event, "SetCharConvertOptions(do_conversion=%s, do_log=%s)",
                 do_conversion ? "TRUE" : "FALSE", do_log ? "TRUE" : "FALSE");
  g_do_conversion.store(do_conversion, std::memory_order_relaxed);
  g_do_log.store(do_log, std::memory_order_relaxed);
}
