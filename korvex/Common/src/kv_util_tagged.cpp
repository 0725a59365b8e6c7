// The tagged-line builder on which the library writes its own diagnostic lines.
#include <cstdio>
#include <cstring>

#include "kv_util.h"

namespace kv {
namespace {

constexpr std::size_t kNumberSize = 40;

}  // namespace

TaggedLine::TaggedLine(const char* tag, int level)
    : enabled_(level <= 0 || level <= debug_level()) {
  text_[0] = '\0';
  if (enabled_) *this << (tag ? tag : "") << ':';
}

TaggedLine::~TaggedLine() {
  emit();
}

void TaggedLine::append(const char* text, std::size_t length) {
  if (!enabled_ || emitted_) return;
  const std::size_t room = kPieceLimit - length_;
  const std::size_t n = length < room ? length : room;
  std::memcpy(text_ + length_, text, n);
  length_ += n;
  text_[length_] = '\0';
}

TaggedLine& TaggedLine::operator<<(const char* text) {
  if (text) append(text, std::strlen(text));
  return *this;
}

TaggedLine& TaggedLine::operator<<(char c) {
  append(&c, 1);
  return *this;
}

TaggedLine& TaggedLine::operator<<(long long value) {
  char number[kNumberSize];
  const int n = std::snprintf(number, sizeof number, "%lld", value);
  if (n > 0) append(number, static_cast<std::size_t>(n));
  return *this;
}

TaggedLine& TaggedLine::operator<<(unsigned long long value) {
  char number[kNumberSize];
  const int n = std::snprintf(number, sizeof number, "%llu", value);
  if (n > 0) append(number, static_cast<std::size_t>(n));
  return *this;
}

TaggedLine& TaggedLine::operator<<(double value) {
  char number[kNumberSize];
  const int n = std::snprintf(number, sizeof number, "%g", value);
  if (n > 0) append(number, static_cast<std::size_t>(n));
  return *this;
}

TaggedLine& TaggedLine::operator<<(const void* pointer) {
  char number[kNumberSize];
  const int n = std::snprintf(number, sizeof number, "%p", pointer);
  if (n > 0) append(number, static_cast<std::size_t>(n));
  return *this;
}

int TaggedLine::emit() {
  if (!enabled_ || emitted_) return 0;
  emitted_ = true;
  return write_debug(0, "%s", text_);
}

}  // namespace kv
