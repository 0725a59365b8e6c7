/* Korvex error raising: the exported raising functions (C) and the error classes
 * that they throw (C++).
 *
 * Raising: store the source position with place() on the same thread, then call one of
 * the kvraise functions. None of them returns; each throws one of the classes below by
 * value. Catch CError to get code, message, file and line, or CEmptyError to catch the
 * whole family. The classes are plain values (no virtual functions); a host built with
 * the same toolchain catches them by type as long as it shares libgcc's DLL with
 * Korvex.dll (see the files shipped beside Korvex.dll).
 */
#ifndef KORVEX_KVERROR_H
#define KORVEX_KVERROR_H

/* Longest message kept in an error (characters, without the terminating zero). */
#define KV_ERROR_MESSAGE_MAX 4095
/* Longest source file base name kept in an error. */
#define KV_ERROR_FILE_MAX 511

/* First of the library's own numbers for structured exceptions (see convert_error). */
#define KV_SEH_ERROR_BASE 60000

#ifdef __cplusplus
extern "C" {
#endif

/* Throws CError: code 0, the formatted message, file and line from place(). */
__attribute__((noreturn)) void __cdecl kvraise(const char* format, ...);

/* Throws CError with the given code; a null format gives an empty message. */
__attribute__((noreturn)) void __cdecl kvraisec(int code, const char* format, ...);

/* As kvraisec, but the format (at most its first 99 characters) is first converted
 * to the OEM code page with KCharToOemBuffA. A conversion directive cut by that
 * limit is dropped whole. */
__attribute__((noreturn)) void __cdecl kvraisec_chartooem(int code, const char* format, ...);

/* Throws COSError, code 0, with the message
 * "(<file> at <line>): <text> OS error description is '<system text>'." for the
 * thread's last OS error (read before anything else is done). */
__attribute__((noreturn)) void __cdecl kvraiseos(const char* format, ...);

/* Throws CSocError whose code is the thread's last socket error, with the message
 * "(<file> at <line>): <text> <library's text for that error>." */
__attribute__((noreturn)) void __cdecl kvraisesoc(const char* format, ...);

/* Maps a structured-exception code to the library's error number (60000 and up for
 * the known codes, otherwise the low 16 bits of the code). */
unsigned short __cdecl convert_error(unsigned int exception_code);

#ifdef __cplusplus
} /* extern "C" */

#include <cstdint>
#include <cstring>

namespace kv_detail {
// Copies at most max characters of src into dst (which holds max + 1) and ends it.
inline void copy_bounded(char* dst, const char* src, std::size_t max) noexcept {
  std::size_t n = 0;
  if (src != nullptr) {
    while (n < max && src[n] != '\0') {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = '\0';
}
}  // namespace kv_detail

// Base of the family: a code and a message of at most 4095 characters.
class CEmptyError {
 public:
  std::int32_t m_code;
  char m_message[KV_ERROR_MESSAGE_MAX + 1];

  CEmptyError() noexcept : m_code(0) { m_message[0] = '\0'; }
  CEmptyError(int code, const char* message) noexcept : m_code(code) {
    kv_detail::copy_bounded(m_message, message, KV_ERROR_MESSAGE_MAX);
  }
  CEmptyError(const CEmptyError& other) noexcept : m_code(other.m_code) {
    kv_detail::copy_bounded(m_message, other.m_message, KV_ERROR_MESSAGE_MAX);
  }
  CEmptyError& operator=(const CEmptyError& other) noexcept {
    if (this != &other) {
      m_code = other.m_code;
      kv_detail::copy_bounded(m_message, other.m_message, KV_ERROR_MESSAGE_MAX);
    }
    return *this;
  }

  int GetErrorCode() const noexcept { return m_code; }
  const char* GetErrorDesc() const noexcept { return m_message; }
};

// An error with the source position where it was found (base name of the file, at
// most 511 characters, and the line).
class CError : public CEmptyError {
 public:
  char m_file[KV_ERROR_FILE_MAX + 1];
  std::int32_t m_line;

  CError() noexcept : m_line(0) { m_file[0] = '\0'; }
  CError(int code, const char* message, const char* file, int line) noexcept
      : CEmptyError(code, message), m_line(line) {
    kv_detail::copy_bounded(m_file, file, KV_ERROR_FILE_MAX);
  }
  CError(const CError& other) noexcept : CEmptyError(other), m_line(other.m_line) {
    kv_detail::copy_bounded(m_file, other.m_file, KV_ERROR_FILE_MAX);
  }
  CError& operator=(const CError& other) noexcept {
    if (this != &other) {
      CEmptyError::operator=(other);
      m_line = other.m_line;
      kv_detail::copy_bounded(m_file, other.m_file, KV_ERROR_FILE_MAX);
    }
    return *this;
  }

  const char* GetFile() const noexcept { return m_file; }
  int GetLine() const noexcept { return m_line; }
};

// A failed system call, with the system's description in the message.
class COSError : public CError {
 public:
  using CError::CError;
};

// A failed socket call; the code is the socket error number.
class CSocError : public CError {
 public:
  using CError::CError;
};

// A structured exception turned into an error; the code is the exception code.
class CSEHError : public CError {
 public:
  using CError::CError;
};

#endif /* __cplusplus */

#endif /* KORVEX_KVERROR_H */
