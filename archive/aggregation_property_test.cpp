// Random days of minutes appended in order to an archive of many intervals: the candles
// must always account for every minute taken, bound their open and close, stay in order,
// and the archive's runs must stay exactly where the slot counts say.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "archive/test_archive.h"

using test_archive::Archive;
using test_archive::Minute;
using test_archive::TimeOfMinute;

namespace {

const std::vector<std::string> kNames = {"1",   "5",   "7",    "15",    "60",  "90",
                                         "120", "DAY", "WEEK", "MONTH", "1440"};

struct Day {
  std::int32_t date = 0;
  std::vector<Candle> minutes;
  std::map<std::int32_t, double> volumeByDate;  // what each day candle must hold
  double volume = 0;
};

// Ascending minutes with an occasional late minute, and sometimes a passage of midnight.
Day RandomDay(std::mt19937& rng, std::int32_t date) {
  Day day;
  day.date = date;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const bool pastMidnight = pick(0, 3) == 0;
  int minute = pastMidnight ? pick(19 * 60, 23 * 60) : pick(0, 20 * 60);
  const int count = pick(1, 250);
  bool wrapped = false;
  for (int i = 0; i < count; ++i) {
    const double volume = pick(0, 100);
    const std::int32_t candleDate = wrapped ? NextDate(date) : date;
    day.volumeByDate[candleDate] += volume;
    day.volume += volume;
    if (i > 0 && pick(0, 19) == 0 && minute >= 5) {
      day.minutes.push_back(Minute(date, TimeOfMinute(minute - pick(1, 5)), pick(50, 150), volume));
      continue;
    }
    day.minutes.push_back(Minute(date, TimeOfMinute(minute), pick(50, 150), volume));
    minute += pick(1, 3);
    if (minute >= kMinutesPerDay) {
      if (!pastMidnight || wrapped) break;
      wrapped = true;
      minute -= kMinutesPerDay;
    }
    if (wrapped && minute > 2 * kMinutesPerHour) break;
  }
  return day;
}

double RunVolume(const std::vector<Candle>& run) {
  double sum = 0;
  for (const auto& c : run) sum += c.volume;
  return sum;
}

void CheckCandles(const std::vector<Candle>& run, const std::string& name) {
  for (std::size_t i = 0; i < run.size(); ++i) {
    const Candle& c = run[i];
    ASSERT_NE(c.date, 0) << name << " " << i;
    ASSERT_GE(c.high, std::max(c.open, c.close)) << name << " " << i;
    ASSERT_LE(c.low, std::min(c.open, c.close)) << name << " " << i;
    if (i > 0) {
      const Candle& p = run[i - 1];
      ASSERT_TRUE(p.date < c.date || (p.date == c.date && p.time < c.time))
          << name << " " << i << ": " << p.date << " " << p.time << " then " << c.date << " "
          << c.time;
    }
  }
}

}  // namespace

TEST(AggregationProperties, RandomDaysKeepEveryInvariant) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    Archive archive(kNames);
    std::int32_t date = 20231225 + static_cast<std::int32_t>(seed % 5);
    double total = 0;
    std::map<std::int32_t, double> dayVolumes;
    for (int d = 0; d < 10; ++d) {
      const Day day = RandomDay(rng, date);
      ASSERT_TRUE(archive.Apply(day.minutes, date).ok) << date;
      total += day.volume;
      for (const auto& [when, volume] : day.volumeByDate) dayVolumes[when] += volume;
      // After a passage of midnight the next export is at least two days later.
      date = AddDays(date, static_cast<int>(day.volumeByDate.size()) +
                               std::uniform_int_distribution<int>(0, 4)(rng));

      int counted = 0;
      for (const auto& name : kNames) {
        const auto run = archive.Run(CMinArch(name, 0).m_Interval);
        CheckCandles(run, name);
        ASSERT_NEAR(RunVolume(run), total, 1e-6) << name;
        counted += static_cast<int>(run.size());
      }
      // Layout: the slots count exactly the records that follow them, nothing beyond.
      ASSERT_EQ(archive.Records(), kSlotCount + counted);
      for (int r = archive.Records(); r < archive.Records() + 4; ++r)
        ASSERT_EQ(archive.Buffer()[r].date, 0) << r;
      const auto days = archive.Run(kDayInterval);
      ASSERT_EQ(days.size(), dayVolumes.size());
      for (const auto& c : days) ASSERT_NEAR(c.volume, dayVolumes[c.date], 1e-6) << c.date;
      for (const auto& c : archive.Run(kWeekInterval)) ASSERT_EQ(WeekDay(c.date), 0) << c.date;
      for (const auto& c : archive.Run(kMonthInterval)) ASSERT_EQ(c.date % 100, 1) << c.date;
    }
  }
}
