// The memory trace: the traced allocation primitives, the trace tables and the
// operation counters, shared by the exported allocators and the "MEMM" monitor.
//
// Every traced operation makes sure that the monitor exists, counts itself with an
// atomic increment (no lock), and, while tracing is on, allocates or frees and records
// under the trace lock. Nothing is logged while the lock is held. The library's own
// internal allocations never pass through here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "basalt_lock.h"
#include "kv_memtrace_blocks.h"
#include "kv_memtrace_sites.h"

namespace kv {

struct TraceState {
  basalt::CriticalSection lock;
  std::atomic<int> on{0};  // changed only by the monitor, under the lock
  SiteTable sites;
  BlockTable blocks;
  std::atomic<std::uint64_t> mallocs{0};
  std::atomic<std::uint64_t> frees{0};
  std::atomic<std::uint64_t> reallocs{0};
};

// The process-wide trace state (made on first use, never moved).
TraceState& trace_state();

// Starts "MEMM" on first use (see MonitorOnce).
void ensure_memory_monitor();

// The C library's allocation, free and reallocation, traced. Sizes are honest byte
// counts; a size that the C library can't allocate gives null.
void* traced_malloc(std::size_t size, const char* file, int line);
void traced_free(void* block);
void* traced_realloc(void* block, std::size_t size, const char* file, int line);

// The file name after its last '\\' or '/' (never null).
const char* base_name(const char* file);

}  // namespace kv
