// Timing statistics shared by the timing exports and the "TIMN" reporter.
#pragma once

#include <atomic>
#include <cstdint>

#include "basalt_lock.h"
#include "kv_timing_table.h"

namespace kv {

struct TimingState {
  basalt::CriticalSection lock;  // guards everything below
  TimingTable table;
  ThreadStacks stacks;
  std::int32_t plain_started = 0;  // since the last report
  std::int32_t wait_started = 0;
  // Set once, before the reporter starts, and never changed after.
  std::atomic<int> wait_timings{0};
  std::atomic<unsigned> period_ms{0};
};

TimingState& timing_state();

// Drops the timing state of a thread that ends (its stack and its running timings), so
// that none of it lingers or passes to a later thread given the same id. Called from
// the thread detach; does nothing before MonitorTiming.
void end_thread_timing(std::uint32_t thread_id);

// One report pass of "TIMN": timings, then the latency classes.
void write_timing_report();

// Latency classes (kv_latency.cpp).
struct LatencyClass {
  std::int32_t count;
  double min;
  double max;
  double sum;
};
// Copies the four classes and resets them, under their own lock.
void take_latency_classes(LatencyClass (&out)[kLatencyClassCount]);
const char* latency_class_name(int index);

}  // namespace kv
