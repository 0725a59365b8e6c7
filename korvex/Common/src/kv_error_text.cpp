#include "kv_error_text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "kv_util.h"
#include "kvconvert.h"

namespace kv {
namespace {

// Characters that may stand between "%" and the conversion letter.
constexpr char kDirectiveInner[] = "-+ #0123456789.*hlLqjztI";

// Length of format[0..n) without a conversion directive left unfinished at its end.
std::size_t without_cut_directive(const char* format, std::size_t n) noexcept {
  std::size_t i = 0;
  while (i < n) {
    if (format[i] != '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < n && std::strchr(kDirectiveInner, format[j]) != nullptr) ++j;
    if (j >= n) return i;
    i = j + 1;
  }
  return n;
}

}  // namespace

void format_bounded(char* out, std::size_t size, const char* format, va_list args) noexcept {
  if (size == 0) return;
  out[0] = '\0';
  if (format == nullptr) return;
  const int n = std::vsnprintf(out, size, format, args);
  if (n < 0) out[0] = '\0';
  out[size - 1] = '\0';
}

void oem_format(const char* format, char* out, std::size_t size) noexcept {
  if (size == 0) return;
  out[0] = '\0';
  if (format == nullptr) return;
  std::size_t n = strnlen(format, size - 1);
  if (format[n] != '\0') n = without_cut_directive(format, n);
  if (n == 0) return;
  // n + 1 characters: the text and the one after it (its zero, or the first character
  // cut off), whose place then takes the zero.
  KCharToOemBuffA(format, out, static_cast<int>(n + 1), kv::source_base_name(), kv::source_line());
  out[n] = '\0';
}

void system_error_text(unsigned long code, char* out, std::size_t size) noexcept {
  if (size == 0) return;
  out[0] = '\0';
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD n = FormatMessageA(flags, nullptr, code, 0, out, static_cast<DWORD>(size), nullptr);
  out[n < size ? n : size - 1] = '\0';
  trim_error_text(out);
}

}  // namespace kv
