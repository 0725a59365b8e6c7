// The block table on its own: entries per address, bucket order kept when an entry in
// the middle goes, the table emptied or released, and its space.
#include "kv_memtrace_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kv_stats_constants.h"
#include "kv_stats_hash.h"

namespace kv {
namespace {

const void* address(std::uintptr_t value) {
  return reinterpret_cast<const void*>(value);
}

// Addresses (multiples of 16) that share one bucket.
std::vector<std::uintptr_t> colliding(std::size_t count) {
  std::vector<std::uintptr_t> found{0x10000};
  const std::uint32_t bucket = address_hash(address(found[0])) % kBlockBuckets;
  for (std::uintptr_t a = found[0] + 16; found.size() < count; a += 16) {
    if (address_hash(address(a)) % kBlockBuckets == bucket) found.push_back(a);
  }
  return found;
}

struct Seen {
  std::uintptr_t address;
  std::uint32_t size;
  std::uint16_t site;
  bool operator==(const Seen&) const = default;
};

std::vector<Seen> entries(const BlockTable& table) {
  std::vector<Seen> seen;
  table.for_each([&seen](const BlockEntry& e) {
    seen.push_back({reinterpret_cast<std::uintptr_t>(e.address), e.size, e.site});
  });
  return seen;
}

TEST(BlockTable, RecordsNothingUntilAllocated) {
  BlockTable table;
  EXPECT_FALSE(table.record(address(0x100), 8, 1));
  EXPECT_EQ(table.space(), 0u);
  ASSERT_TRUE(table.allocate());
  EXPECT_TRUE(table.record(address(0x100), 8, 1));
  EXPECT_EQ(table.live(), 1u);
  EXPECT_FALSE(table.record(nullptr, 8, 1));
}

TEST(BlockTable, CollidingAddressesStayFoundWhenOneInTheMiddleGoes) {
  const std::vector<std::uintptr_t> a = colliding(4);
  BlockTable table;
  ASSERT_TRUE(table.allocate());
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_TRUE(table.record(address(a[i]), static_cast<std::uint32_t>(10 * (i + 1)), 1));
  }
  table.forget(address(a[1]));
  BlockEntry taken{};
  EXPECT_FALSE(table.take(address(a[1]), taken));
  EXPECT_TRUE(table.take(address(a[2]), taken));
  EXPECT_EQ(taken.size, 30u);
  EXPECT_EQ(table.live(), 2u);
  // The freed entries are reused; the bucket still finds every live address.
  ASSERT_TRUE(table.record(address(a[1]), 77, 2));
  ASSERT_TRUE(table.record(address(a[3]), 44, 3));  // an update, not a second entry
  EXPECT_EQ(table.live(), 3u);
  std::vector<Seen> seen = entries(table);
  std::sort(seen.begin(), seen.end(),
            [](const Seen& x, const Seen& y) { return x.address < y.address; });
  EXPECT_EQ(seen, (std::vector<Seen>{{a[0], 10, 1}, {a[1], 77, 2}, {a[3], 44, 3}}));
  table.forget(address(a[0]));
  table.forget(address(a[3]));
  table.forget(address(a[1]));
  EXPECT_EQ(table.live(), 0u);
  EXPECT_TRUE(entries(table).empty());
}

TEST(BlockTable, ClearKeepsTheBucketsAndReleaseGivesEverythingBack) {
  BlockTable table;
  ASSERT_TRUE(table.allocate());
  const std::uint64_t empty_space = table.space();
  EXPECT_EQ(empty_space, 16u * 5000011u);
  for (std::uintptr_t a = 0x1000; a < 0x1000 + 1000 * 16; a += 16) table.record(address(a), 16, 0);
  EXPECT_EQ(table.space(), empty_space + 1000u * 12u);
  table.clear();
  EXPECT_TRUE(table.allocated());
  EXPECT_EQ(table.space(), empty_space);
  EXPECT_EQ(table.live(), 0u);
  EXPECT_TRUE(table.record(address(0x1000), 16, 0));
  EXPECT_EQ(entries(table).size(), 1u);
  table.release();
  EXPECT_FALSE(table.allocated());
  EXPECT_EQ(table.space(), 0u);
  EXPECT_FALSE(table.record(address(0x1000), 16, 0));
}

// The space figure hosts set "mem_limit" by, computed on its own: 16 bytes for each of
// the 5,000,011 buckets plus 12 for each entry slot the table holds. A forgotten entry's
// slot is kept and reused before another is made, so the slots are the most blocks live
// at once since the table was last emptied.
class SpaceModel {
 public:
  void record(std::uintptr_t a) {
    live_.insert(a);
    slots_ = std::max(slots_, live_.size());
  }
  void forget(std::uintptr_t a) { live_.erase(a); }
  void clear() {
    live_.clear();
    slots_ = 0;
  }
  std::uint64_t space() const { return 16ull * 5000011ull + 12ull * slots_; }
  std::size_t live() const { return live_.size(); }

 private:
  std::set<std::uintptr_t> live_;
  std::size_t slots_ = 0;
};

TEST(BlockTable, SpaceIsSixteenBytesPerBucketAndTwelvePerSlotOnRandomRuns) {
  for (const unsigned seed : {1u, 2u, 3u, 20261207u, 77u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    BlockTable table;
    ASSERT_TRUE(table.allocate());
    SpaceModel model;
    // Few addresses, so that updates, forgets of live blocks and reuse all happen often.
    std::uniform_int_distribution<std::uintptr_t> pick(1, 3000);
    std::uniform_int_distribution<int> action(0, 999);
    for (int step = 0; step < 20000; ++step) {
      const std::uintptr_t a = 0x10000 + 16 * pick(random);
      const int what = action(random);
      if (what < 560) {
        ASSERT_TRUE(table.record(address(a), 8, 1));
        model.record(a);
      } else if (what < 999) {
        table.forget(address(a));
        model.forget(a);
      } else {
        table.clear();
        model.clear();
      }
      ASSERT_EQ(table.space(), model.space()) << "step " << step;
      ASSERT_EQ(table.live(), model.live()) << "step " << step;
    }
  }
}

}  // namespace
}  // namespace kv
