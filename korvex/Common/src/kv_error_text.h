// Text helpers of the raising functions: bounded formatting, the OEM format cut and the
// system's description of an OS error.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace kv {

// Formats into out (size > 0), always ended by a zero; longer text is cut. A null
// format gives an empty text.
void format_bounded(char* out, std::size_t size, const char* format, va_list args) noexcept;

// Converts format to the OEM code page (KCharToOemBuffA) into out, using at most
// size - 1 of its characters and never reading past its end. When the cut falls inside
// a conversion directive ("%", "%-1", ...), that directive is dropped whole, so
// that no lone "%" is left at the end. A null format gives an empty text.
void oem_format(const char* format, char* out, std::size_t size) noexcept;

// The system's text for an OS error number (asked without inserts), without trailing
// blanks, line ends and punctuation at or below "-" (")" and "." stay). Empty when the
// system has none.
void system_error_text(unsigned long code, char* out, std::size_t size) noexcept;

}  // namespace kv
