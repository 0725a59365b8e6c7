// The private-heap family: one growable heap of the library, from load to unload,
// never traced.
#include <windows.h>

#include "kv_stats_constants.h"
#include "kvmemory.h"
#include "kvmini_raise.h"

namespace kv {
namespace {

class PrivateHeap {
 public:
  PrivateHeap() : heap_(HeapCreate(0, kPrivateHeapInitialBytes, 0)) {}
  ~PrivateHeap() {
    if (heap_ != nullptr) HeapDestroy(heap_);
  }
  PrivateHeap(const PrivateHeap&) = delete;
  PrivateHeap& operator=(const PrivateHeap&) = delete;

  // Null when the heap could not be made (every allocation then fails).
  HANDLE handle() const { return heap_; }

 private:
  HANDLE heap_;
};

PrivateHeap g_heap;

void* heap_alloc(std::size_t size, bool zero) {
  if (g_heap.handle() == nullptr) return nullptr;
  return HeapAlloc(g_heap.handle(), zero ? HEAP_ZERO_MEMORY : 0, size);
}

}  // namespace
}  // namespace kv

extern "C" {

void* __cdecl _DL_NewMemory(unsigned size, const char* file, int line, bool zero) {
  void* block = kv::heap_alloc(size, zero);
  if (block == nullptr) kv::raise_allocation_error(kv::kCantAllocateDl, file, line, size, __LINE__);
  kv::log_big_chunk(kv::kBigChunkDl, size, file, line);
  return block;
}

void __cdecl _DL_DeleteMemory(void** block) {
  if (block == nullptr || *block == nullptr) return;
  if (kv::g_heap.handle() != nullptr) HeapFree(kv::g_heap.handle(), 0, *block);
  *block = nullptr;
}

void __cdecl _DL_ReallocMemory(void** block, int size, const char* file, int line) {
  if (block == nullptr || size < 0) {
    kv::raise_allocation_error(kv::kCantReallocateDl, file, line, size, __LINE__);
  }
  if (size == 0) {
    _DL_DeleteMemory(block);
    return;
  }
  void* resized = *block == nullptr ? kv::heap_alloc(static_cast<std::size_t>(size), true)
                                    : HeapReAlloc(kv::g_heap.handle(), HEAP_ZERO_MEMORY, *block,
                                                  static_cast<std::size_t>(size));
  if (resized == nullptr)
    kv::raise_allocation_error(kv::kCantReallocateDl, file, line, size, __LINE__);
  *block = resized;
}

}  // extern "C"
