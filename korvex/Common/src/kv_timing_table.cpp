#include "kv_timing_table.h"

#include <cstring>

namespace kv {
namespace {

constexpr std::size_t kKeyWords = (kTimingNameSize + kTimingNamePad) / 4;
static_assert((kTimingNameSize + kTimingNamePad) % 4 == 0);

std::uint32_t little_endian_word(const char* p) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

}  // namespace

TimingKey make_timing_key(std::int32_t number, std::int32_t thread_id, const char* name) {
  TimingKey key;
  key.number = number;
  key.thread_id = thread_id;
  for (std::size_t i = 0; i < kTimingNameSize && name[i] != '\0'; ++i) key.name[i] = name[i];
  return key;
}

bool same_key(const TimingKey& a, const TimingKey& b) {
  return a.number == b.number && a.thread_id == b.thread_id &&
         std::memcmp(a.name, b.name, sizeof a.name) == 0;
}

std::uint32_t timing_hash(const TimingKey& key) {
  std::uint32_t h = 0;
  for (std::size_t i = 0; i < kKeyWords; ++i) {
    h = h * kHashFactor + little_endian_word(key.name + 4 * i);
  }
  return h * kTimingHashTailFactor +
         static_cast<std::uint32_t>(key.number) * kTimingHashNumberFactor +
         static_cast<std::uint32_t>(key.thread_id);
}

TimingRecord* TimingTable::find(const TimingKey& key) {
  for (TimingRecord& r : buckets_[timing_hash(key) % kTimingBuckets]) {
    if (same_key(r.key, key)) return &r;
  }
  return nullptr;
}

TimingRecord& TimingTable::find_or_add(const TimingKey& key) {
  if (TimingRecord* r = find(key)) return *r;
  auto& bucket = buckets_[timing_hash(key) % kTimingBuckets];
  bucket.push_back(TimingRecord{});
  bucket.back().key = key;
  return bucket.back();
}

void TimingTable::end_thread(std::int32_t thread_id) {
  sweep([thread_id](TimingRecord& r) {
    if (r.key.thread_id != thread_id || !r.running) return true;
    r.running = false;
    return r.stats.count > 0;
  });
}

std::size_t TimingTable::size() const {
  std::size_t n = 0;
  for (const auto& bucket : buckets_) n += bucket.size();
  return n;
}

std::vector<ThreadStacks::ThreadStack>& ThreadStacks::bucket_of(std::int32_t thread_id) {
  return buckets_[static_cast<std::uint32_t>(thread_id) % kThreadStackBuckets];
}

std::vector<StackEntry>* ThreadStacks::find(std::int32_t thread_id) {
  for (ThreadStack& s : bucket_of(thread_id)) {
    if (s.thread_id == thread_id) return &s.entries;
  }
  return nullptr;
}

std::vector<StackEntry>& ThreadStacks::of(std::int32_t thread_id) {
  if (std::vector<StackEntry>* entries = find(thread_id)) return *entries;
  auto& bucket = bucket_of(thread_id);
  bucket.push_back(ThreadStack{thread_id, {}});
  return bucket.back().entries;
}

void ThreadStacks::drop_if_empty(std::int32_t thread_id) {
  auto& bucket = bucket_of(thread_id);
  for (std::size_t i = 0; i < bucket.size(); ++i) {
    if (bucket[i].thread_id == thread_id && bucket[i].entries.empty()) {
      bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void ThreadStacks::forget(std::int32_t thread_id) {
  auto& bucket = bucket_of(thread_id);
  for (std::size_t i = 0; i < bucket.size(); ++i) {
    if (bucket[i].thread_id == thread_id) {
      bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

std::size_t ThreadStacks::size() const {
  std::size_t n = 0;
  for (const auto& bucket : buckets_) n += bucket.size();
  return n;
}

}  // namespace kv
