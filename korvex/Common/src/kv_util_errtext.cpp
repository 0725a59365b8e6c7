// Descriptions of OS and socket error numbers: the system's message table first, then
// the library's own string table.
#include <cstring>

#include "kv_util_state.h"

namespace kv {

void trim_error_text(char* text) {
  std::size_t n = std::strlen(text);
  // Compared as unsigned bytes: letters of the upper half of the code page stay.
  while (n > 0) {
    const unsigned char c = static_cast<unsigned char>(text[n - 1]);
    if (c > '-' || c == ')') break;
    --n;
  }
  text[n] = '\0';
}

bool load_library_string(unsigned id, char* out, std::size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  if (!module_handle()) return false;
  const int n = LoadStringA(module_handle(), id, out, static_cast<int>(size));
  if (n <= 0) {
    out[0] = '\0';
    return false;
  }
  return true;
}

void describe_error(unsigned code, char* out, std::size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const DWORD limit = static_cast<DWORD>(size < kDescriptionSize ? size : kDescriptionSize);
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, out, limit, nullptr);
  if (n > 0) {
    out[limit - 1] = '\0';
    trim_error_text(out);
    if (out[0]) return;
  }
  if (load_library_string(code, out, limit)) return;
  std::strncpy(out, kNoDescription, size - 1);
  out[size - 1] = '\0';
}

}  // namespace kv
