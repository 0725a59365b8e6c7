// A text line built in a fixed buffer without allocation or locale, for the crash report that
// is written from a signal handler. Text beyond the capacity is dropped; the line always keeps
// room for its line end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crash/local_time.h"

namespace ostrel::crash {

inline constexpr std::size_t kRawLineCapacity = 2048;

class RawLine {
 public:
  RawLine& text(const char* s);
  RawLine& decimal(std::int64_t value);
  // Upper-case hexadecimal, zero-filled to at least minDigits, without a prefix.
  RawLine& hex(std::uint64_t value, int minDigits = 1);
  // Decimal, zero-filled to exactly digits (the value's low digits).
  RawLine& padded(std::uint64_t value, int digits);
  // Appends "\n"; put() always leaves room for it.
  RawLine& end();
  void clear() { size_ = 0; }

  const char* data() const { return buffer_; }
  std::size_t size() const { return size_; }

 private:
  void put(char c);

  char buffer_[kRawLineCapacity];
  std::size_t size_ = 0;
};

// "dd.mm.yy hh:mm:ss.mmm (tid): ", the head of the program's log lines.
void AppendLogHead(RawLine& line, const LocalTime& time, unsigned threadId);

}  // namespace ostrel::crash
