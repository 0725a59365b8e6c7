// Minutes that are not usable candles never reach an archive, and nothing that reaches
// it is refused by the loader afterwards: random days with planted bad minutes (seeds
// recorded in the test names of the failures) are filtered, merged and checked as the
// loader checks a stored archive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/calendar.h"
#include "archive/test_archive.h"
#include "archive/usable_candle.h"
#include "replication/archive_check.h"
#include "replication/day_minutes.h"

namespace {

std::string NoName(const Candle*, int) {
  return {};
}

// A spoiled minute, written without help from the rule under test.
using Spoil = void (*)(Candle&);
const Spoil kSpoils[] = {
    [](Candle& c) { c.volume = c.open = c.high = c.low = c.close = 0; },
    [](Candle& c) { c.close = std::numeric_limits<double>::quiet_NaN(); },
    [](Candle& c) { c.high = std::numeric_limits<double>::infinity(); },
    [](Candle& c) { c.volume = -std::numeric_limits<double>::infinity(); },
    [](Candle& c) { c.volume = -7; },
    [](Candle& c) { c.low = 0; },
    [](Candle& c) { c.open = c.high = c.low = c.close = -1; },
    [](Candle& c) { c.low = c.high + 0.5; },
    [](Candle& c) { c.open = c.high + 0.5; },
    [](Candle& c) { c.close = c.low - 0.5; },
    [](Candle& c) { c.time = 246000; },
    [](Candle& c) { c.time = -1; },
    [](Candle& c) { c.date = -2147483647; },
    [](Candle& c) { c.date = 2147483647; },
    [](Candle& c) { c.date = 0; },
};

// One trading day of random sound minutes: a random walk of positive prices from 10:00,
// some minutes without trades (volume 0).
std::vector<Candle> RandomDay(std::mt19937& rng, std::int32_t date) {
  std::uniform_int_distribution<int> step(-20, 20), length(30, 400), volume(0, 50);
  std::vector<Candle> day;
  int cents = 10000 + step(rng) * 10;
  const int first = 10 * kMinutesPerHour;
  for (int m = first, n = length(rng); m < first + n; ++m) {
    Candle c;
    c.date = date;
    c.time = test_archive::TimeOfMinute(m);
    c.open = cents / 100.0;
    cents = std::max(1, cents + step(rng));
    c.close = cents / 100.0;
    c.high = std::max(c.open, c.close) + std::abs(step(rng)) / 100.0;
    c.low = std::max(0.01, std::min(c.open, c.close) - std::abs(step(rng)) / 100.0);
    c.volume = volume(rng) < 5 ? 0 : volume(rng);
    day.push_back(c);
  }
  return day;
}

}  // namespace

TEST(UnusableMinutes, PlantedBadMinutesAreSkippedAndTheArchiveStaysLoadable) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    test_archive::Archive archive({"1", "5", "60", "DAY", "WEEK", "MONTH"});
    std::int32_t date = 20240102;
    for (int d = 0; d < 6; ++d, date = AddDays(date, 1 + static_cast<int>(rng() % 3))) {
      std::vector<Candle> minutes = RandomDay(rng, date);
      std::set<std::size_t> planted;
      const std::size_t bad = rng() % 5;
      for (std::size_t k = 0; k < bad; ++k) {
        const std::size_t at = rng() % minutes.size();
        kSpoils[rng() % std::size(kSpoils)](minutes[at]);
        planted.insert(at);
      }
      std::vector<Candle> expected;
      for (std::size_t i = 0; i < minutes.size(); ++i)
        if (planted.count(i) == 0) expected.push_back(minutes[i]);

      testing::internal::CaptureStdout();
      const int dropped = DropUnusableMinutes(minutes, "1.dat");
      const std::string log = testing::internal::GetCapturedStdout();
      ASSERT_EQ(dropped, static_cast<int>(planted.size())) << "seed " << seed << " day " << date;
      ASSERT_EQ(minutes.size(), expected.size()) << "seed " << seed;
      for (std::size_t i = 0; i < minutes.size(); ++i) {
        ASSERT_EQ(minutes[i].time, expected[i].time) << "seed " << seed;
        ASSERT_EQ(minutes[i].date, expected[i].date) << "seed " << seed;
      }
      for (const std::size_t at : planted)
        EXPECT_NE(log.find("Minute record " + std::to_string(at) + " ("), std::string::npos)
            << "seed " << seed << ": " << log;

      const MergeResult merged = archive.Apply(minutes, date);
      ASSERT_TRUE(merged.ok) << "seed " << seed << " day " << date;
      EXPECT_EQ(FindArchiveDamage(archive.Buffer(), archive.Records(), NoName), "")
          << "seed " << seed << " day " << date;
    }
  }
}

TEST(UnusableMinutes, OnlyTheFirstOnesAreListedTheRestCounted) {
  std::vector<Candle> minutes = test_archive::Minutes(20240105, 1000, 1059);
  for (Candle& c : minutes) c.low = c.high + 1;
  minutes[7] = test_archive::Minute(20240105, 100700, 50, 3);
  testing::internal::CaptureStdout();
  EXPECT_EQ(DropUnusableMinutes(minutes, "x/1.dat"), 59);
  const std::string log = testing::internal::GetCapturedStdout();
  ASSERT_EQ(minutes.size(), 1u);
  EXPECT_EQ(minutes[0].time, 100700);
  EXPECT_NE(log.find("Minute record 0 (date 20240105, time 100000) of x/1.dat is skipped: the "
                     "low is above the high"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Minute record 20 (date 20240105, time 102000)"), std::string::npos);
  EXPECT_EQ(log.find("Minute record 21 "), std::string::npos);
  EXPECT_NE(log.find("39 more unusable minute records of x/1.dat are skipped"), std::string::npos)
      << log;
}
