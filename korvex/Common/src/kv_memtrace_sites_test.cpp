// The site table on its own: one number per (file text, line), its own copy of names,
// and the end of the 16-bit numbers.
#include "kv_memtrace_sites.h"

#include <gtest/gtest.h>

#include <string>

#include "kv_stats_constants.h"

namespace kv {
namespace {

TEST(SiteTable, SameTextAndLineIsOneSiteWhateverTheBuffer) {
  SiteTable sites;
  std::uint16_t a = 0, b = 0, c = 0, d = 0;
  char first[] = "C:\\src\\feed.cpp";
  char second[] = "C:\\src\\feed.cpp";
  ASSERT_TRUE(sites.find_or_add(first, 10, a));
  ASSERT_TRUE(sites.find_or_add(second, 10, b));
  ASSERT_TRUE(sites.find_or_add(first, 11, c));
  ASSERT_TRUE(sites.find_or_add(nullptr, 10, d));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(a, d);
  first[7] = 'X';  // the caller's text changes or goes away
  ASSERT_EQ(sites.sites().size(), 3u);
  EXPECT_EQ(sites.sites()[a].file, "C:\\src\\feed.cpp");
  EXPECT_EQ(sites.sites()[d].file, "");
  sites.clear();
  EXPECT_TRUE(sites.sites().empty());
  ASSERT_TRUE(sites.find_or_add(second, 10, b));
  EXPECT_EQ(b, 0);
}

TEST(SiteTable, SitesBeyondSixteenBitNumbersAreRefused) {
  SiteTable sites;
  std::uint16_t n = 0;
  for (std::size_t line = 0; line < kMaxSites; ++line) {
    ASSERT_TRUE(sites.find_or_add("many.cpp", static_cast<int>(line), n));
  }
  EXPECT_EQ(n, 65535);
  EXPECT_FALSE(sites.find_or_add("many.cpp", -1, n));
  EXPECT_TRUE(sites.find_or_add("many.cpp", 5, n));
  EXPECT_EQ(n, 5);
}

}  // namespace
}  // namespace kv
