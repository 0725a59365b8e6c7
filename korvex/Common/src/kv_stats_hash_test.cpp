// The hashes of the memory trace and of the timings, worked out by hand.
#include "kv_stats_hash.h"

#include <gtest/gtest.h>

#include "kv_timing_table.h"

namespace kv {
namespace {

TEST(StatsHash, SiteHashRunsOverTheNameThenTheLineBytesAsSignedValues) {
  // "a": 97; line 1 = bytes 01 00 00 00.
  EXPECT_EQ(site_hash("a", 1), ((97u * 31 + 1) * 31) * 31 * 31);
  // A byte above 127 counts as negative: 0xE9 is -23.
  EXPECT_EQ(site_hash("\xE9", 0), static_cast<std::uint32_t>(-23) * 31 * 31 * 31 * 31);
  // Line 0x01020304, least significant byte first.
  EXPECT_EQ(site_hash("", 0x01020304), ((4u * 31 + 3) * 31 + 2) * 31 + 1);
  EXPECT_EQ(site_hash("", -1), static_cast<std::uint32_t>(((-1 * 31 - 1) * 31 - 1) * 31 - 1));
}

TEST(StatsHash, AddressHashTakesTheAddressBytesLeastSignificantFirst) {
  const void* p = reinterpret_cast<const void*>(std::uintptr_t{0x80});
  std::uint32_t expected = static_cast<std::uint32_t>(-128);
  for (std::size_t i = 1; i < sizeof p; ++i) expected *= 31;
  EXPECT_EQ(address_hash(p), expected);
}

TEST(StatsHash, TimingKeyHashUsesTheNameWordsThenNumberAndThread) {
  const TimingKey key = make_timing_key(7, 100, "load");
  // "load" as a little-endian word, then ten zero words.
  std::uint32_t h = 0x64616F6Cu;
  for (int i = 0; i < 10; ++i) h *= 31;
  EXPECT_EQ(timing_hash(key), h * 961 + 7 * 31 + 100);
}

TEST(StatsHash, TimingKeysKeepFortyCharactersOfTheName) {
  const char* long_name = "0123456789012345678901234567890123456789XYZ";
  const TimingKey a = make_timing_key(1, 2, long_name);
  const TimingKey b = make_timing_key(1, 2, "0123456789012345678901234567890123456789");
  EXPECT_TRUE(same_key(a, b));
  EXPECT_EQ(a.name[40], '\0');
  EXPECT_FALSE(same_key(a, make_timing_key(1, 3, long_name)));
  EXPECT_FALSE(same_key(a, make_timing_key(2, 2, long_name)));
}

}  // namespace
}  // namespace kv
