// The byte hash of the memory trace: start from 0 and for each byte b, read as a
// signed 8-bit value, set h = h * 31 + b in 32-bit arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kv_stats_constants.h"

namespace kv {

inline std::uint32_t hash_bytes(std::uint32_t h, const void* data, std::size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    h = h * kHashFactor +
        static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(p[i])));
  }
  return h;
}

// The bytes of an integer, least significant first.
template <class T>
std::uint32_t hash_integer(std::uint32_t h, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    const unsigned char b =
        static_cast<unsigned char>(static_cast<std::uint64_t>(value) >> (8 * i));
    h = hash_bytes(h, &b, 1);
  }
  return h;
}

// A site: the bytes of its file name (without the zero), then the 4 bytes of its line.
inline std::uint32_t site_hash(const char* file, std::int32_t line) {
  const std::uint32_t h = hash_bytes(0, file, std::strlen(file));
  return hash_integer(h, static_cast<std::uint32_t>(line));
}

// A block: the bytes of its address (4 in the 32-bit library), least significant first.
inline std::uint32_t address_hash(const void* address) {
  return hash_integer(0, reinterpret_cast<std::uintptr_t>(address));
}

}  // namespace kv
