// The report pass of "TIMN": a snapshot of every timing taken and reset under the
// timing lock, then written, sorted by number and name, with the latency classes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "kv_clock.h"
#include "kv_timing.h"
#include "kv_util.h"

namespace kv {
namespace {

constexpr std::size_t kNumberTextSize = 64;

struct Snapshot {
  TimingKey key;
  double start;
  TimingStats stats;
};

struct Taken {
  std::int32_t plain = 0;
  std::int32_t wait = 0;
  std::vector<Snapshot> timings;
};

Taken take_timings() {
  TimingState& t = timing_state();
  Taken taken;
  basalt::Guard guard(t.lock);
  taken.plain = t.plain_started;
  taken.wait = t.wait_started;
  t.plain_started = 0;
  t.wait_started = 0;
  t.table.sweep([&taken](TimingRecord& r) {
    if (r.stats.count > 0 || r.running) {
      try {
        taken.timings.push_back(Snapshot{r.key, r.start, r.stats});
      } catch (...) {
        // No memory for the snapshot: this timing's period goes unreported.
      }
    }
    r.stats = TimingStats{};
    return r.running;
  });
  return taken;
}

bool report_order(const Snapshot& a, const Snapshot& b) {
  if (a.key.number != b.key.number) return a.key.number < b.key.number;
  return std::strncmp(a.key.name, b.key.name, kTimingNameSize) < 0;
}

const char* whole(double value, char (&out)[kNumberTextSize]) {
  std::snprintf(out, sizeof out, "%.0f", value);
  return out;
}

void write_timing(const Snapshot& s) {
  char tag[kTimingReportedName + 1] = {};
  std::memcpy(tag, s.key.name, kTimingReportedName);
  char clock[kClockTextSize];
  clock_time_text(s.start, clock);
  char n[kNumberTextSize];
  const double average = s.stats.count > 0 ? s.stats.sum / s.stats.count : 0.0;
  TaggedLine line(tag);
  line.value("p", s.key.number).value("threadId", s.key.thread_id);
  line.value("started", whole(s.start, n)).value("time", clock);
  line.value("count", whole(s.stats.count, n)).value("minTime", whole(s.stats.min, n));
  line.value("maxTime", whole(s.stats.max, n)).value("avgTime()", whole(average, n));
}

void write_latency_classes() {
  LatencyClass classes[kLatencyClassCount];
  take_latency_classes(classes);
  char n[kNumberTextSize];
  for (int i = 0; i < kLatencyClassCount; ++i) {
    const LatencyClass& c = classes[i];
    if (c.count <= 0) continue;
    TaggedLine line(latency_class_name(i));
    line.value("count", c.count).value("min", whole(c.min, n)).value("max", whole(c.max, n));
    line.value("avg", whole(c.sum / c.count, n));
  }
}

}  // namespace

void write_timing_report() {
  Taken taken = take_timings();
  TaggedLine("COUNTTIMINGS") << "Timings=" << taken.plain << " WaitTimings=" << taken.wait;
  std::stable_sort(taken.timings.begin(), taken.timings.end(), report_order);
  TaggedLine("kvutil timing begin");
  for (const Snapshot& s : taken.timings) write_timing(s);
  write_latency_classes();
  TaggedLine("kvutil timing kv end");
}

}  // namespace kv
