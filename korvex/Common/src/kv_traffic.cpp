// Traffic counters per message code, and the "TRAF" monitor that reports and resets
// them. Tracing is switched by section "traffic_trace" of the settings file, reread at
// every pass.
#include <atomic>
#include <cstdint>
#include <map>

#include "basalt_lock.h"
#include "basalt_settings.h"
#include "kv_monitor.h"
#include "kv_stats_constants.h"
#include "kv_util.h"
#include "kvstats.h"

namespace kv {
namespace {

using TrafficMap = std::map<std::uint16_t, std::uint64_t>;

struct TrafficState {
  basalt::CriticalSection lock;  // guards the maps
  std::atomic<int> on{0};        // changed only by the monitor, under the lock
  TrafficMap incoming;
  TrafficMap outgoing;
};

TrafficState& traffic_state() {
  static TrafficState* state = new TrafficState;
  return *state;
}

std::uint64_t total(const TrafficMap& m) {
  std::uint64_t sum = 0;
  for (const auto& [code, bytes] : m) sum += bytes;
  return sum;
}

void write_codes(char direction, const TrafficMap& m) {
  for (const auto& [code, bytes] : m) {
    if (bytes == 0) continue;
    write_line(LineKind::event, "%c %u %llu", direction, static_cast<unsigned>(code),
               static_cast<unsigned long long>(bytes));
  }
}

class TrafficMonitor final : public MonitorThread {
 protected:
  unsigned report() override {
    const bool enable =
        basalt::settings_int(kTrafficSection, kEnableKey, kTrafficEnableDefault) != 0;
    const int period = basalt::settings_int(kTrafficSection, kPeriodKey, kTrafficPeriodDefault);
    TrafficState& t = traffic_state();
    TrafficMap in;
    TrafficMap out;
    bool disabled_now = false;
    {
      basalt::Guard guard(t.lock);
      disabled_now = t.on.load() != 0 && !enable;
      t.on.store(enable ? 1 : 0);
      in.swap(t.incoming);  // the maps are taken whole and left empty
      out.swap(t.outgoing);
    }
    if (disabled_now) write_line(LineKind::event, "Traffic tracing disabled");
    const int level = enable ? 0 : 1;
    TaggedLine("Traffic report", level).value("incoming", total(in)).value("outgoing", total(out));
    write_codes('I', in);
    write_codes('O', out);
    return period_ms_from_seconds(period);
  }
};

MonitorOnce g_traffic_monitor;

MonitorThread* make_traffic_monitor() {
  return new TrafficMonitor;
}

}  // namespace
}  // namespace kv

extern "C" void __cdecl TrafficTrace(unsigned short code, int bytes, bool incoming) {
  kv::g_traffic_monitor.ensure(&kv::make_traffic_monitor, kv::kTrafficThreadName);
  kv::TrafficState& t = kv::traffic_state();
  if (t.on.load() == 0 || bytes < 0) return;
  try {
    basalt::Guard guard(t.lock);
    if (t.on.load() == 0) return;
    (incoming ? t.incoming : t.outgoing)[code] += static_cast<std::uint64_t>(bytes);
  } catch (...) {
    // No memory for a new code: these bytes go uncounted.
  }
}
