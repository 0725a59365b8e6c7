// The timing records and thread stacks when a thread ends: nothing of it lingers, and a
// later thread, given the same id or another, starts with no stack and no running timing.
#include "kv_timing_table.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

// A timing started as StartTiming does with wait timings on: record running, key pushed.
void start(TimingTable& table, ThreadStacks& stacks, std::int32_t thread, const char* name,
           bool wait = false) {
  const TimingKey key = make_timing_key(1, thread, name);
  table.find_or_add(key).running = true;
  stacks.of(thread).push_back(StackEntry{key, wait});
}

TEST(TimingThreadEnd, EndedThreadLeavesNoStackAndNoRunningTiming) {
  TimingTable table;
  ThreadStacks stacks;
  start(table, stacks, 7, "other");  // another thread's, which must stay
  const std::size_t stacks_before = stacks.size();
  const std::size_t records_before = table.size();

  constexpr std::int32_t kEnding = 1234;
  start(table, stacks, kEnding, "outer");
  start(table, stacks, kEnding, "inner");
  start(table, stacks, kEnding, "queue", true);
  // One finished run of "inner" this period: it is still reported once.
  table.find(make_timing_key(1, kEnding, "inner"))->stats.count = 1;
  ASSERT_EQ(stacks.size(), stacks_before + 1);

  stacks.forget(kEnding);
  table.end_thread(kEnding);
  EXPECT_EQ(stacks.size(), stacks_before);
  EXPECT_EQ(stacks.find(kEnding), nullptr);
  EXPECT_EQ(table.find(make_timing_key(1, kEnding, "outer")), nullptr);
  EXPECT_EQ(table.find(make_timing_key(1, kEnding, "queue")), nullptr);
  const TimingRecord* inner = table.find(make_timing_key(1, kEnding, "inner"));
  ASSERT_NE(inner, nullptr);
  EXPECT_FALSE(inner->running);
  EXPECT_EQ(inner->stats.count, 1);
  // The report pass drops it once reported, as it does every timing not running.
  table.sweep([](TimingRecord& r) { return r.running; });
  EXPECT_EQ(table.size(), records_before);

  // The other thread's timing and stack are untouched.
  ASSERT_NE(stacks.find(7), nullptr);
  EXPECT_EQ(stacks.find(7)->size(), 1u);
  EXPECT_TRUE(table.find(make_timing_key(1, 7, "other"))->running);

  // A new thread with the ended one's id, and one with another id, start clean.
  EXPECT_TRUE(stacks.of(kEnding).empty());
  EXPECT_TRUE(stacks.of(kEnding + 4).empty());
  stacks.drop_if_empty(kEnding);
  stacks.drop_if_empty(kEnding + 4);
  EXPECT_EQ(stacks.size(), stacks_before);
}

TEST(TimingThreadEnd, ThreadsSharingABucketAreForgottenOneByOne) {
  ThreadStacks stacks;
  TimingTable table;
  // Ids that differ by the bucket count share a bucket.
  for (std::int32_t id : {5, 5 + 211, 5 + 2 * 211}) start(table, stacks, id, "t");
  stacks.forget(5 + 211);
  EXPECT_EQ(stacks.size(), 2u);
  EXPECT_NE(stacks.find(5), nullptr);
  EXPECT_EQ(stacks.find(5 + 211), nullptr);
  EXPECT_NE(stacks.find(5 + 2 * 211), nullptr);
  stacks.forget(99);  // a thread that never timed anything
  EXPECT_EQ(stacks.size(), 2u);
}

}  // namespace
}  // namespace kv
