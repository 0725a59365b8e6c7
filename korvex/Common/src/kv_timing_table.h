// The timing records and the per-thread stacks of running timings. Not thread-safe:
// the timing lock guards them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kv_stats_constants.h"

namespace kv {

// A timing's identity: the caller's number, the thread and the name (at most
// kTimingNameSize characters, zero-filled, then kTimingNamePad zero bytes).
struct TimingKey {
  std::int32_t number = 0;
  std::int32_t thread_id = 0;
  char name[kTimingNameSize + kTimingNamePad] = {};
};

TimingKey make_timing_key(std::int32_t number, std::int32_t thread_id, const char* name);
bool same_key(const TimingKey& a, const TimingKey& b);
// h = h * 31 + w over the name field as eleven little-endian 32-bit words, then
// h * 961 + number * 31 + thread id.
std::uint32_t timing_hash(const TimingKey& key);

struct TimingStats {
  double count = 0;
  double min = 0;
  double max = 0;
  double sum = 0;
  double wait_count = 0;  // wait timings completed inside this one
  double wait_sum = 0;
};

struct TimingRecord {
  TimingKey key;
  double start = 0;
  TimingStats stats;
  bool running = false;
};

class TimingTable {
 public:
  TimingTable() : buckets_(kTimingBuckets) {}

  // The record of a key, appended with zero statistics when new (may throw bad_alloc).
  TimingRecord& find_or_add(const TimingKey& key);
  TimingRecord* find(const TimingKey& key);
  // A thread has ended: its timings still running are dropped when they have no runs to
  // report, and otherwise stop running, so that the next report shows them once more.
  void end_thread(std::int32_t thread_id);
  std::size_t size() const;

  // Calls f(record) for every record; a record for which f answers false is removed.
  template <class F>
  void sweep(F f) {
    for (auto& bucket : buckets_) {
      std::size_t kept = 0;
      for (std::size_t i = 0; i < bucket.size(); ++i) {
        if (f(bucket[i])) {
          if (kept != i) bucket[kept] = bucket[i];
          ++kept;
        }
      }
      bucket.resize(kept);
    }
  }

 private:
  std::vector<std::vector<TimingRecord>> buckets_;
};

struct StackEntry {
  TimingKey key;
  bool wait = false;
};

// The timings each thread has started and not yet stopped (kept with wait timings on).
class ThreadStacks {
 public:
  ThreadStacks() : buckets_(kThreadStackBuckets) {}

  // The thread's stack, made empty when the thread has none (may throw bad_alloc).
  std::vector<StackEntry>& of(std::int32_t thread_id);
  // The thread's stack or null.
  std::vector<StackEntry>* find(std::int32_t thread_id);
  // Forgets a thread whose stack is empty.
  void drop_if_empty(std::int32_t thread_id);
  // Forgets a thread's stack whatever it holds (the thread has ended: a later thread
  // given the same id starts with none).
  void forget(std::int32_t thread_id);
  // The number of threads that have a stack.
  std::size_t size() const;

 private:
  struct ThreadStack {
    std::int32_t thread_id;
    std::vector<StackEntry> entries;
  };
  std::vector<ThreadStack>& bucket_of(std::int32_t thread_id);

  std::vector<std::vector<ThreadStack>> buckets_;
};

}  // namespace kv
