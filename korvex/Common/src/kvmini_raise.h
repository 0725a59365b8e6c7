// The allocation errors: a COSError raised from the allocator's own source position
// ("kvmini"), whose text names the caller's file (after its last '\\' or '/'), line and
// the size asked for.
#pragma once

#include <cstdint>

namespace kv {

// "Can't allocate memory at %s:%d. Required size %d." and its kin.
inline constexpr char kCantAllocate[] = "Can't allocate memory at %s:%d. Required size %d.";
inline constexpr char kCantReallocate[] = "Can't reallocate memory at %s:%d. Required size %d.";
inline constexpr char kCantAllocateDl[] = "Can't allocate dl-memory at %s:%d. Required size %d.";
inline constexpr char kCantReallocateDl[] =
    "Can't reallocate dl-memory at %s:%d. Required size %d.";
inline constexpr char kBigChunk[] = "Allocating big chunk of memory(%d) at %s:%d";
inline constexpr char kBigChunkDl[] = "Allocating big chunk of dl-memory(%d) at %s:%d";

// A size that can't be expressed (an overflow) is reported as this.
inline constexpr long long kUnrepresentableSize = -1;

// Raises the COSError; the OS error described is the thread's last one, or "not enough
// memory" when the failed call left none.
[[noreturn]] void raise_allocation_error(const char* format, const char* file, int line,
                                         long long size, int source_line);

// Writes the big-chunk events line when size is above kBigChunkBytes.
void log_big_chunk(const char* format, std::uint64_t size, const char* file, int line);

}  // namespace kv
