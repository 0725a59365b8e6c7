#include "crash/raw_line.h"

namespace ostrel::crash {
namespace {

constexpr int kMaxDigits = 20;
constexpr int kYearBase = 2000;
constexpr int kTwoDigits = 2;
constexpr int kThreeDigits = 3;
constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void RawLine::put(char c) {
  if (size_ + 1 < kRawLineCapacity) buffer_[size_++] = c;  // one byte stays for the line end
}

RawLine& RawLine::text(const char* s) {
  if (s == nullptr) return *this;
  while (*s != '\0') put(*s++);
  return *this;
}

RawLine& RawLine::decimal(std::int64_t value) {
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) {
    put('-');
    magnitude = 0 - magnitude;
  }
  char digits[kMaxDigits];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n > 0) put(digits[--n]);
  return *this;
}

RawLine& RawLine::hex(std::uint64_t value, int minDigits) {
  char digits[kMaxDigits];
  int n = 0;
  do {
    digits[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int pad = minDigits - n; pad > 0; --pad) put('0');
  while (n > 0) put(digits[--n]);
  return *this;
}

RawLine& RawLine::padded(std::uint64_t value, int digits) {
  char text[kMaxDigits];
  if (digits > kMaxDigits) digits = kMaxDigits;
  for (int i = digits - 1; i >= 0; --i) {
    text[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  for (int i = 0; i < digits; ++i) put(text[i]);
  return *this;
}

RawLine& RawLine::end() {
  if (size_ + 1 >= kRawLineCapacity) size_ = kRawLineCapacity - 1;
  buffer_[size_++] = '\n';
  return *this;
}

void AppendLogHead(RawLine& line, const LocalTime& t, unsigned threadId) {
  line.padded(static_cast<std::uint64_t>(t.day), kTwoDigits).text(".");
  line.padded(static_cast<std::uint64_t>(t.month), kTwoDigits).text(".");
  line.padded(static_cast<std::uint64_t>(t.year - kYearBase), kTwoDigits).text(" ");
  line.padded(static_cast<std::uint64_t>(t.hour), kTwoDigits).text(":");
  line.padded(static_cast<std::uint64_t>(t.minute), kTwoDigits).text(":");
  line.padded(static_cast<std::uint64_t>(t.second), kTwoDigits).text(".");
  line.padded(static_cast<std::uint64_t>(t.millisecond), kThreeDigits);
  line.text(" (").decimal(threadId).text("): ");
}

}  // namespace ostrel::crash
