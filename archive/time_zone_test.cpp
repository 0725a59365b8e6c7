// The candles must not depend on the machine's time zone: a zone whose clocks jump at
// midnight (here on the first Sunday of October, as some South American zones did) gives
// exactly the archive that UTC gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "archive/test_archive.h"

using test_archive::Archive;
using test_archive::Minutes;

namespace {

char kUtc[] = "TZ=UTC0";
char kMidnightJumps[] = "TZ=XXX3YYY,M10.1.0/0,M2.3.0/0";

void UseZone(char* assignment) {
  putenv(assignment);
  tzset();
}

// Days around 2024-10-06, the first Sunday of October: a Saturday evening running past
// midnight into it, then the Monday and a day of the next month.
std::vector<Candle> BuildArchive() {
  Archive archive({"1", "60", "DAY", "WEEK", "MONTH"});
  std::vector<Candle> minutes = Minutes(20241005, 2200, 2359);
  const auto night = Minutes(20241005, 0, 59);
  minutes.insert(minutes.end(), night.begin(), night.end());
  EXPECT_TRUE(archive.Apply(Minutes(20240930, 1000, 1100), 20240930).ok);
  EXPECT_TRUE(archive.Apply(minutes, 20241005).ok);
  EXPECT_TRUE(archive.Apply(Minutes(20241007, 0, 30), 20241007).ok);
  EXPECT_TRUE(archive.Apply(Minutes(20241101, 1000, 1010), 20241101).ok);
  return std::vector<Candle>(archive.Buffer(), archive.Buffer() + archive.Records());
}

// True when the local clock of the current zone skips 2024-10-06 00:00.
bool LocalMidnightSkipped() {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 9;
  t.tm_mday = 6;
  t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);
  return when != -1 && t.tm_hour != 0;
}

}  // namespace

TEST(TimeZones, AZoneThatJumpsAtMidnightGivesTheSameCandlesAsUtc) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? std::string("TZ=") + saved : std::string("TZ=");
  UseZone(kUtc);
  const auto utc = BuildArchive();
  EXPECT_FALSE(LocalMidnightSkipped());
  UseZone(kMidnightJumps);
  // Some C runtimes know only a fixed set of daylight-saving rules; there the zone differs
  // from UTC by its offset alone, and the comparison still holds.
  if (!LocalMidnightSkipped())
    std::printf("note: this C runtime does not model a change of clocks at midnight\n");
  const auto jumping = BuildArchive();
  static std::string restore;
  restore = previous;
  UseZone(restore.data());

  ASSERT_EQ(utc.size(), jumping.size());
  EXPECT_EQ(std::memcmp(utc.data(), jumping.data(), utc.size() * sizeof(Candle)), 0);

  Archive check({"1", "60", "DAY", "WEEK", "MONTH"});
  UseZone(kMidnightJumps);
  std::vector<Candle> minutes = Minutes(20241005, 2200, 2359);
  const auto night = Minutes(20241005, 0, 59);
  minutes.insert(minutes.end(), night.begin(), night.end());
  ASSERT_TRUE(check.Apply(minutes, 20241005).ok);
  UseZone(restore.data());
  const auto weeks = check.Run(kWeekInterval);
  ASSERT_EQ(weeks.size(), 2u);
  EXPECT_EQ(weeks[0].date, 20240929);
  EXPECT_EQ(weeks[1].date, 20241006);  // the Sunday whose midnight does not exist locally
  EXPECT_EQ(weeks[1].time, 0);
  const auto days = check.Run(kDayInterval);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[1].date, 20241006);
  EXPECT_EQ(check.Run(1)[120].date, 20241006);
  EXPECT_EQ(check.Run(1)[120].time, 0);
}
