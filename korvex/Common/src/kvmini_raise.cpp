#include "kvmini_raise.h"

#include <windows.h>

#include "kv_memtrace.h"
#include "kv_stats_constants.h"
#include "kv_util.h"
#include "pclib.h"

namespace kv {

void raise_allocation_error(const char* format, const char* file, int line, long long size,
                            int source_line) {
  DWORD last_error = GetLastError();
  if (last_error == ERROR_SUCCESS) last_error = ERROR_NOT_ENOUGH_MEMORY;
  place(kAllocatorSource, source_line);
  SetLastError(last_error);
  kvraiseos(format, base_name(file), line, static_cast<int>(size));
}

void log_big_chunk(const char* format, std::uint64_t size, const char* file, int line) {
  if (size <= kBigChunkBytes) return;
  LastErrorKeeper keep;
  write_line(LineKind::event, format, static_cast<int>(size), base_name(file), line);
}

}  // namespace kv
