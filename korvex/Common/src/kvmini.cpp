// The traced allocator family: _NewMemory and its kin, on the traced primitives.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "kv_memtrace.h"
#include "kvmemory.h"
#include "kvmini_raise.h"

namespace kv {
namespace {

// The bytes of count elements, or -1 when a count is negative or the product does not
// fit the allocator's unsigned 32-bit size.
long long array_bytes(int count, int element_size) {
  if (count < 0 || element_size < 0) return kUnrepresentableSize;
  const std::uint64_t bytes =
      static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(element_size);
  if (bytes > UINT_MAX) return kUnrepresentableSize;
  return static_cast<long long>(bytes);
}

}  // namespace
}  // namespace kv

extern "C" {

void* __cdecl _NewMemory(unsigned size, const char* file, int line, bool zero) {
  void* block = kv::traced_malloc(size, file, line);
  if (block == nullptr) kv::raise_allocation_error(kv::kCantAllocate, file, line, size, __LINE__);
  kv::log_big_chunk(kv::kBigChunk, size, file, line);
  if (zero) std::memset(block, 0, size);
  return block;
}

void __cdecl _DeleteMemory(void** block) {
  if (block == nullptr || *block == nullptr) return;
  kv::traced_free(*block);
  *block = nullptr;
}

void* __cdecl _ReallocMemory(void** block, int size, const char* file, int line) {
  void* old = block != nullptr ? *block : nullptr;
  if (size < 0) kv::raise_allocation_error(kv::kCantReallocate, file, line, size, __LINE__);
  void* moved = kv::traced_realloc(old, static_cast<std::size_t>(size), file, line);
  if (moved == nullptr && size != 0) {
    kv::raise_allocation_error(kv::kCantReallocate, file, line, size, __LINE__);
  }
  if (block != nullptr) *block = moved;
  return moved;
}

void __cdecl _OversizePointer_New(void** block, int old_count, int new_count, int element_size,
                                  const char* file, int line) {
  const long long new_bytes = kv::array_bytes(new_count, element_size);
  if (new_bytes < 0) {
    kv::raise_allocation_error(kv::kCantAllocate, file, line, new_bytes, __LINE__);
  }
  void* old = block != nullptr ? *block : nullptr;
  long long old_bytes = 0;
  if (old != nullptr) {
    old_bytes = kv::array_bytes(old_count, element_size);
    if (old_bytes < 0) {
      kv::raise_allocation_error(kv::kCantAllocate, file, line, old_bytes, __LINE__);
    }
  }
  void* grown = _NewMemory(static_cast<unsigned>(new_bytes), file, line, true);
  if (old != nullptr) {
    std::memcpy(grown, old,
                static_cast<std::size_t>(old_bytes < new_bytes ? old_bytes : new_bytes));
    kv::traced_free(old);
  }
  if (block != nullptr) {
    *block = grown;
  } else {
    kv::traced_free(grown);
  }
}

int __cdecl _OversizePointer_New_Smart(void** block, int current_count, int needed_count,
                                       int element_size, const char* file, int line) {
  long long count = current_count == 0 ? 1 : 2LL * current_count;
  if (needed_count > count) count = needed_count;
  if (current_count < 0 || count > INT_MAX) {
    kv::raise_allocation_error(kv::kCantAllocate, file, line, kv::kUnrepresentableSize, __LINE__);
  }
  _OversizePointer_New(block, current_count, static_cast<int>(count), element_size, file, line);
  return static_cast<int>(count);
}

char* __cdecl _StrDupl(const char* text, const char* file, int line) {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  if (length >= UINT_MAX) {
    kv::raise_allocation_error(kv::kCantAllocate, file, line, kv::kUnrepresentableSize, __LINE__);
  }
  char* copy = static_cast<char*>(_NewMemory(static_cast<unsigned>(length + 1), file, line, false));
  std::memcpy(copy, text, length + 1);
  return copy;
}

}  // extern "C"
