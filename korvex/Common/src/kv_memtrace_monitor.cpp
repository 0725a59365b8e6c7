// The "MEMM" monitor: rereads section "mem_trace" of the settings file at every pass,
// switches tracing on and off, bounds the block table and writes the memory report.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "basalt_settings.h"
#include "kv_memtrace.h"
#include "kv_monitor.h"
#include "kv_stats_constants.h"
#include "kv_util.h"

namespace kv {
namespace {

struct MemSettings {
  bool enable;
  std::uint32_t mem_limit;  // 0: no limit
  int period;
};

// "enable" is read last: a pass that shows a limit or period written after "enable"
// has seen that "enable" too.
MemSettings read_mem_settings() {
  MemSettings s;
  s.mem_limit =
      static_cast<std::uint32_t>(basalt::settings_int(kMemSection, kMemLimitKey, kMemLimitDefault));
  s.period = basalt::settings_int(kMemSection, kPeriodKey, kMemPeriodDefault);
  s.enable = basalt::settings_int(kMemSection, kEnableKey, kMemEnableDefault) != 0;
  return s;
}

struct SiteSum {
  std::uint64_t bytes = 0;
  std::uint64_t blocks = 0;
  std::uint32_t site = 0;
};

// What one pass found under the trace lock; written out after the lock is released.
struct PassFindings {
  bool disabled_now = false;
  bool table_failed = false;
  bool limit_exceeded = false;
  std::uint64_t space = 0;
  std::vector<Site> sites;
  std::vector<SiteSum> sums;
};

void switch_tracing(TraceState& t, const MemSettings& s, PassFindings& f) {
  const bool was_on = t.on.load() != 0;
  if (was_on && !s.enable) {
    f.disabled_now = true;
    t.sites.clear();
    t.blocks.release();
  }
  bool on = s.enable;
  if (on && !t.blocks.allocate()) {
    on = false;
    f.table_failed = true;
  }
  t.on.store(on ? 1 : 0, std::memory_order_release);
}

void sum_sites(const TraceState& t, PassFindings& f) {
  f.sites = t.sites.sites();
  f.sums.resize(f.sites.size());
  for (std::size_t i = 0; i < f.sums.size(); ++i) f.sums[i].site = static_cast<std::uint32_t>(i);
  t.blocks.for_each([&f](const BlockEntry& e) {
    if (e.site >= f.sums.size()) return;
    f.sums[e.site].bytes += e.size;
    ++f.sums[e.site].blocks;
  });
}

void bound_table(TraceState& t, const MemSettings& s, PassFindings& f) {
  f.space = t.blocks.space();
  if (s.mem_limit == 0 || s.mem_limit >= f.space) return;
  f.limit_exceeded = true;
  t.blocks.clear();
}

PassFindings inspect(TraceState& t, const MemSettings& s) {
  PassFindings f;
  basalt::Guard guard(t.lock);
  switch_tracing(t, s, f);
  if (t.on.load() == 0) return f;
  try {
    sum_sites(t, f);
  } catch (const std::bad_alloc&) {
    // No memory for the copy: this pass reports the counters alone. Only that: a fault
    // in the tables, thrown as a structured-exception error, ends this thread (its lock
    // released on the way) instead of being reported again at every pass.
    f.sites.clear();
    f.sums.clear();
  }
  bound_table(t, s, f);
  return f;
}

void write_findings(const TraceState& t, const MemSettings& s, PassFindings& f) {
  if (f.disabled_now) write_line(LineKind::event, "Memory tracing disabled");
  if (f.table_failed) {
    write_line(LineKind::event,
               "Memory tracing stays off: no memory for its block table(%llu bytes)",
               static_cast<unsigned long long>(kBlockBuckets) * sizeof(std::uint32_t));
  }
  if (f.limit_exceeded) {
    TaggedLine("Trace mem limit exceeded").value("space", f.space).value("memLimit", s.mem_limit);
  }
  TaggedLine("Memory report")
      .value("space", f.space)
      .value("memLimit", s.mem_limit)
      .value("memOpCountMalloc", t.mallocs.load())
      .value("memOpCountFree", t.frees.load())
      .value("memOpCountRealloc", t.reallocs.load());
  std::stable_sort(f.sums.begin(), f.sums.end(),
                   [](const SiteSum& a, const SiteSum& b) { return a.bytes > b.bytes; });
  for (const SiteSum& sum : f.sums) {
    if (sum.blocks == 0) continue;
    const Site& site = f.sites[sum.site];
    write_line(LineKind::event, "%llu %llu %s:%d", static_cast<unsigned long long>(sum.bytes),
               static_cast<unsigned long long>(sum.blocks), base_name(site.file.c_str()),
               site.line);
  }
}

class MemoryMonitor final : public MonitorThread {
 protected:
  unsigned report() override {
    TraceState& t = trace_state();
    const MemSettings s = read_mem_settings();
    PassFindings f = inspect(t, s);
    write_findings(t, s, f);
    return period_ms_from_seconds(s.period);
  }
};

MonitorOnce g_memory_monitor;

MonitorThread* make_memory_monitor() {
  return new MemoryMonitor;
}

// At unload the tables are freed once the monitor was stopped: no other thread can be
// inside the library then. When the process ends they go with it.
struct TraceUnload {
  ~TraceUnload() {
    if (!g_memory_monitor.stop_at_unload()) return;
    TraceState& t = trace_state();
    t.on.store(0);
    t.sites.clear();
    t.blocks.release();
  }
};
TraceUnload g_trace_unload;

}  // namespace

void ensure_memory_monitor() {
  g_memory_monitor.ensure(&make_memory_monitor, kMemThreadName);
}

}  // namespace kv
