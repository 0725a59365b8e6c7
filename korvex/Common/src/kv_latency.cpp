// The four latency classes of trades and orders, under their own lock.
#include <cfloat>

#include "kv_timing.h"
#include "kvstats.h"

namespace kv {
namespace {

enum LatencyIndex { kFastTrade = 0, kSlowTrade = 1, kFastOrder = 2, kSlowOrder = 3 };

constexpr const char* kClassNames[kLatencyClassCount] = {"Fast-trade timing", "Slow-trade timing",
                                                         "Fast-order timing", "Slow-order timing"};

constexpr LatencyClass kEmptyClass{0, DBL_MAX, 0.0, 0.0};

struct LatencyState {
  basalt::CriticalSection lock;
  LatencyClass classes[kLatencyClassCount] = {kEmptyClass, kEmptyClass, kEmptyClass, kEmptyClass};
};

LatencyState& latency_state() {
  static LatencyState* state = new LatencyState;
  return *state;
}

void update(int index, double value) {
  LatencyState& s = latency_state();
  basalt::Guard guard(s.lock);
  LatencyClass& c = s.classes[index];
  if (value < c.min) c.min = value;
  if (value > c.max) c.max = value;
  c.sum += value;
  ++c.count;
}

}  // namespace

void take_latency_classes(LatencyClass (&out)[kLatencyClassCount]) {
  LatencyState& s = latency_state();
  basalt::Guard guard(s.lock);
  for (int i = 0; i < kLatencyClassCount; ++i) {
    out[i] = s.classes[i];
    s.classes[i] = kEmptyClass;
  }
}

const char* latency_class_name(int index) {
  return kClassNames[index];
}

}  // namespace kv

extern "C" {

void __cdecl UpdateTradeTiming(double micros) {
  kv::update(micros <= kv::kFastLimitMicros ? kv::kFastTrade : kv::kSlowTrade, micros);
}

void __cdecl UpdateOrderTiming(double micros) {
  kv::update(micros <= kv::kFastLimitMicros ? kv::kFastOrder : kv::kSlowOrder, micros);
}

}  // extern "C"
