#include "kv_translit.h"

#include <cstring>

namespace kv {
namespace {

constexpr unsigned char kCapitalGheUpturn = 0xA5;
constexpr unsigned char kSmallGheUpturn = 0xB4;
constexpr unsigned char kCapitalIe = 0xAA;
constexpr unsigned char kSmallIe = 0xBA;
constexpr unsigned char kCapitalYi = 0xAF;
constexpr unsigned char kSmallYi = 0xBF;
constexpr unsigned char kCapitalI = 0xB2;
constexpr unsigned char kSmallI = 0xB3;

// Room kept free at the end of the destination.
constexpr int kReservedTail = 2;

// Latin spelling of one source byte, or nullptr when the byte is kept as it is.
const char* spelling(unsigned char c, bool word_start) noexcept {
  switch (c) {
    case kCapitalGheUpturn:
      return "G";
    case kSmallGheUpturn:
      return "g";
    case kCapitalIe:
      return word_start ? "Ye" : "Ie";
    case kSmallIe:
      return word_start ? "ye" : "ie";
    case kCapitalYi:
      return word_start ? "Yi" : "I";
    case kSmallYi:
      return word_start ? "yi" : "i";
    case kCapitalI:
      return "I";
    case kSmallI:
      return "i";
    default:
      return nullptr;
  }
}

}  // namespace

int transliterate_ukrainian(const char* src, int src_length, char* dst, int dst_size) noexcept {
  if (dst == nullptr || dst_size <= 0) return 0;
  const int limit = dst_size - kReservedTail;
  int out = 0;
  for (int i = 0; src != nullptr && i < src_length && src[i] != '\0'; ++i) {
    const unsigned char c = static_cast<unsigned char>(src[i]);
    const bool word_start = i == 0 || src[i - 1] == ' ';
    const char* latin = spelling(c, word_start);
    const int n = latin != nullptr ? static_cast<int>(std::strlen(latin)) : 1;
    if (out + n > limit) break;
    if (latin != nullptr) {
      std::memcpy(dst + out, latin, n);
    } else {
      dst[out] = static_cast<char>(c);
    }
    out += n;
  }
  dst[out] = '\0';
  return out;
}

}  // namespace kv
