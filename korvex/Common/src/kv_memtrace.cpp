// The traced primitives and the memTrace* exports.
#include "kv_memtrace.h"

#include <cstdlib>

#include "kvmemory.h"

namespace kv {
namespace {

void count(std::atomic<std::uint64_t>& counter) {
  counter.fetch_add(1, std::memory_order_relaxed);
}

bool tracing(const TraceState& t) {
  return t.on.load(std::memory_order_acquire) != 0;
}

// Records a block under the held lock; does nothing while tracing is off. A site or
// entry that can't be stored leaves the block untraced.
void record_locked(TraceState& t, const void* block, std::size_t size, const char* file, int line) {
  if (!tracing(t) || block == nullptr) return;
  std::uint16_t site;
  try {
    if (!t.sites.find_or_add(file, line, site)) return;
  } catch (...) {
    return;
  }
  t.blocks.record(block, static_cast<std::uint32_t>(size), site);
}

// A negative size from the int-sized exports can't be allocated.
bool usable_size(int size) {
  return size >= 0;
}

}  // namespace

TraceState& trace_state() {
  static TraceState* state = new TraceState;
  return *state;
}

const char* base_name(const char* file) {
  if (file == nullptr) return "";
  const char* base = file;
  for (const char* p = file; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

void* traced_malloc(std::size_t size, const char* file, int line) {
  TraceState& t = trace_state();
  count(t.mallocs);
  ensure_memory_monitor();
  if (!tracing(t)) return std::malloc(size);
  basalt::Guard guard(t.lock);
  void* block = std::malloc(size);
  record_locked(t, block, size, file, line);
  return block;
}

void traced_free(void* block) {
  TraceState& t = trace_state();
  count(t.frees);
  ensure_memory_monitor();
  if (!tracing(t)) {
    std::free(block);
    return;
  }
  if (block == nullptr) return;
  basalt::Guard guard(t.lock);
  t.blocks.forget(block);
  std::free(block);
}

void* traced_realloc(void* block, std::size_t size, const char* file, int line) {
  TraceState& t = trace_state();
  if (!tracing(t)) {
    count(t.reallocs);
    ensure_memory_monitor();
    if (size == 0) {  // the C library's own answer to size 0 varies
      std::free(block);
      return nullptr;
    }
    return std::realloc(block, size);
  }
  if (size == 0) {
    if (block != nullptr) traced_free(block);
    return nullptr;
  }
  if (block == nullptr) return traced_malloc(size, file, line);
  count(t.reallocs);
  ensure_memory_monitor();
  basalt::Guard guard(t.lock);
  // The old address's entry goes first: once the block has moved that address is free,
  // and the report must never count a freed block. A failed reallocation puts it back.
  BlockEntry old_entry{};
  const bool had_entry = t.blocks.take(block, old_entry);
  void* moved = std::realloc(block, size);
  if (moved == nullptr) {
    if (had_entry) t.blocks.record(block, old_entry.size, old_entry.site);
    return nullptr;
  }
  record_locked(t, moved, size, file, line);
  return moved;
}

}  // namespace kv

extern "C" {

void* __cdecl memTraceMalloc(int size, const char* file, int line) {
  if (!kv::usable_size(size)) {
    kv::count(kv::trace_state().mallocs);
    return nullptr;
  }
  return kv::traced_malloc(static_cast<std::size_t>(size), file, line);
}

void __cdecl memTraceFree(void* block, const char*, int) {
  kv::traced_free(block);
}

void* __cdecl memTraceRealloc(void* block, int size, const char* file, int line) {
  if (!kv::usable_size(size)) {
    kv::count(kv::trace_state().reallocs);
    return nullptr;
  }
  return kv::traced_realloc(block, static_cast<std::size_t>(size), file, line);
}

void* __cdecl memTraceAddPtr(void* block, int size, const char* file, int line) {
  kv::TraceState& t = kv::trace_state();
  kv::ensure_memory_monitor();
  if (block == nullptr || !kv::usable_size(size) || !kv::tracing(t)) return block;
  basalt::Guard guard(t.lock);
  kv::record_locked(t, block, static_cast<std::size_t>(size), file, line);
  return block;
}

void* __cdecl memTraceDelPtr(void* block) {
  kv::TraceState& t = kv::trace_state();
  kv::ensure_memory_monitor();
  if (block == nullptr || !kv::tracing(t)) return block;
  basalt::Guard guard(t.lock);
  t.blocks.forget(block);
  return block;
}

}  // extern "C"
