// Named timings: MonitorTiming, StartTiming and StopTiming.
#include "kv_timing.h"

#include <windows.h>

#include "kv_clock.h"
#include "kv_monitor.h"
#include "kvstats.h"

namespace kv {
namespace {

class TimingMonitor final : public MonitorThread {
 protected:
  // Reports after each period, not before the first one.
  void pass() override {
    if (pause(timing_state().period_ms.load())) write_timing_report();
  }
  unsigned report() override {
    write_timing_report();
    return timing_state().period_ms.load();
  }
};

MonitorOnce g_timing_monitor;

MonitorThread* make_timing_monitor() {
  return new TimingMonitor;
}

std::int32_t current_thread() {
  return static_cast<std::int32_t>(GetCurrentThreadId());
}

// Answers whether the timing may start, counting it as plain or wait timing.
bool count_start(TimingState& t, std::int32_t thread_id, bool& wait) {
  if (t.wait_timings.load() != 0 && wait) {
    const std::vector<StackEntry>* stack = t.stacks.find(thread_id);
    if (stack == nullptr || stack->empty() || stack->back().wait) return false;
    ++t.wait_started;
    return true;
  }
  ++t.plain_started;
  wait = false;
  return true;
}

void add_run(TimingStats& s, double elapsed) {
  if (s.count == 0 || elapsed < s.min) s.min = elapsed;
  if (elapsed > s.max) s.max = elapsed;
  s.sum += elapsed;
  s.count += 1;
}

// Takes the key off the thread's stack (its last occurrence); a finished wait timing
// adds its time to every timing still on the stack.
void unwind_stack(TimingState& t, const TimingKey& key, bool wait, double elapsed) {
  std::vector<StackEntry>* stack = t.stacks.find(key.thread_id);
  if (stack == nullptr) return;
  for (std::size_t i = stack->size(); i-- > 0;) {
    if (same_key((*stack)[i].key, key)) {
      stack->erase(stack->begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (wait) {
    for (const StackEntry& e : *stack) {
      if (TimingRecord* r = t.table.find(e.key)) {
        r->stats.wait_count += 1;
        r->stats.wait_sum += elapsed;
      }
    }
  }
  t.stacks.drop_if_empty(key.thread_id);
}

}  // namespace

TimingState& timing_state() {
  static TimingState* state = new TimingState;
  return *state;
}

void end_thread_timing(std::uint32_t thread_id) {
  if (!g_timing_monitor.started()) return;
  TimingState& t = timing_state();
  basalt::Guard guard(t.lock);
  const auto id = static_cast<std::int32_t>(thread_id);
  t.stacks.forget(id);
  t.table.end_thread(id);
}

}  // namespace kv

extern "C" {

int __cdecl MonitorTiming(int period_ms, int wait_timings) {
  kv::TimingState& t = kv::timing_state();
  if (!kv::g_timing_monitor.started()) {
    t.period_ms.store(kv::period_ms(period_ms));
    t.wait_timings.store(wait_timings != 0 ? 1 : 0);
  }
  return kv::g_timing_monitor.ensure(&kv::make_timing_monitor, kv::kTimingThreadName) ? 1 : 0;
}

bool __cdecl StartTiming(const char* name, int number, bool wait) {
  if (name == nullptr || !kv::g_timing_monitor.started()) return false;
  kv::TimingState& t = kv::timing_state();
  const std::int32_t thread_id = kv::current_thread();
  try {
    basalt::Guard guard(t.lock);
    if (!kv::count_start(t, thread_id, wait)) return false;
    const kv::TimingKey key = kv::make_timing_key(number, thread_id, name);
    kv::TimingRecord& r = t.table.find_or_add(key);
    r.running = true;
    if (t.wait_timings.load() != 0) t.stacks.of(thread_id).push_back(kv::StackEntry{key, wait});
    r.start = kv::clock_micros();
    return true;
  } catch (...) {
    return false;  // memory is short: the timing is not started
  }
}

double __cdecl StopTiming(const char* name, int number, bool wait) {
  if (name == nullptr || !kv::g_timing_monitor.started()) return 0.0;
  kv::TimingState& t = kv::timing_state();
  const std::int32_t thread_id = kv::current_thread();
  try {
    basalt::Guard guard(t.lock);
    const double now = kv::clock_micros();
    const bool waits = t.wait_timings.load() != 0;
    const kv::TimingKey key = kv::make_timing_key(number, thread_id, name);
    kv::TimingRecord& r = t.table.find_or_add(key);
    const double elapsed = now - r.start;
    kv::add_run(r.stats, elapsed);
    r.running = false;
    if (waits) kv::unwind_stack(t, key, wait, elapsed);
    return elapsed;
  } catch (...) {
    return 0.0;  // memory is short: nothing was recorded
  }
}

}  // extern "C"
