// Random trading days appended to an archive of all 16 intervals, compared candle by candle
// with a plain model: every minute belongs to one candle per interval, found from its date
// (the next date after a passage of midnight) and its time alone. Minutes come with random
// gaps, a session start, sometimes a passage of midnight; each interval keeps its newest
// 3000 candles. A day applied again, or an older day, must change nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/test_archive.h"

using test_archive::Archive;
using test_archive::Minute;
using test_archive::TimeOfMinute;

namespace {

const std::vector<int> kMinuteIntervals = {1, 2, 3, 5, 7, 10, 15, 30, 45, 60, 90, 120, 1440};

std::vector<std::string> AllIntervalNames() {
  std::vector<std::string> names;
  for (int n : kMinuteIntervals) names.push_back(std::to_string(n));
  for (const char* word : {"DAY", "WEEK", "MONTH"}) names.push_back(word);
  return names;
}

// Dates through the standard calendar, independently of the archive's own arithmetic.
std::chrono::sys_days Days(std::int32_t date) {
  using namespace std::chrono;
  return sys_days{year{date / 10000} / month{static_cast<unsigned>(date / 100 % 100)} /
                  day{static_cast<unsigned>(date % 100)}};
}
std::int32_t DateOf(std::chrono::sys_days days) {
  const std::chrono::year_month_day ymd{days};
  return static_cast<int>(ymd.year()) * 10000 + static_cast<int>(unsigned(ymd.month())) * 100 +
         static_cast<int>(unsigned(ymd.day()));
}
std::int32_t NextDay(std::int32_t date) {
  return DateOf(Days(date) + std::chrono::days{1});
}
std::int32_t Sunday(std::int32_t date) {
  const std::chrono::sys_days d = Days(date);
  return DateOf(d - std::chrono::days{std::chrono::weekday{d}.c_encoding()});
}

// One day's export: its minutes, and the date of each minute's candles.
struct Day {
  std::int32_t date = 0;
  std::int32_t sessionStart = 0;
  std::vector<Candle> minutes;
  std::vector<std::int32_t> candleDates;
  bool passesMidnight = false;
};

Day RandomDay(std::mt19937& rng, std::int32_t date) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Day day;
  day.date = date;
  const bool evening = pick(0, 3) == 0;
  int minute = evening ? pick(18 * 60, 23 * 60 + 50) : pick(0, 17 * 60);
  const int count = pick(1, 400);
  if (pick(0, 2) == 0) day.sessionStart = TimeOfMinute(minute + pick(0, 20));
  for (int i = 0; i < count; ++i) {
    const double price = pick(-50, 150);  // prices below zero happen (spreads)
    Candle c = Minute(date, TimeOfMinute(minute), price, pick(0, 100));
    c.high += pick(0, 3);
    c.low -= pick(0, 3);
    day.minutes.push_back(c);
    day.candleDates.push_back(day.passesMidnight ? NextDay(date) : date);
    minute += pick(0, 9) == 0 ? pick(10, 120) : pick(1, 3);
    if (minute >= kMinutesPerDay) {
      if (!evening || day.passesMidnight) break;
      day.passesMidnight = true;
      minute -= kMinutesPerDay;
      if (minute > 60) minute = pick(0, 60);
    }
    if (day.passesMidnight && minute > 3 * 60) break;
  }
  return day;
}

// The expected runs: per interval code, candles keyed by (date, time) in ascending order.
using Run = std::map<std::pair<std::int32_t, std::int32_t>, Candle>;

std::pair<std::int32_t, std::int32_t> Key(std::int32_t code, std::int32_t date, std::int32_t time) {
  switch (code) {
    case kDayInterval:
      return {date, 0};
    case kWeekInterval:
      return {Sunday(date), 0};
    case kMonthInterval:
      return {date / 100 * 100 + 1, 0};
    default: {
      const int minuteOfDay = time / 10000 * 60 + time / 100 % 100;
      return {date, TimeOfMinute(minuteOfDay / code * code % kMinutesPerDay)};
    }
  }
}

void Fold(Run& run, std::pair<std::int32_t, std::int32_t> key, const Candle& minute) {
  auto [it, fresh] = run.try_emplace(key, minute);
  Candle& c = it->second;
  if (fresh) {
    c.date = key.first;
    c.time = key.second;
    return;
  }
  c.high = std::max(c.high, minute.high);
  c.low = std::min(c.low, minute.low);
  c.volume += minute.volume;
  c.close = minute.close;
}

class Model {
 public:
  explicit Model(const std::vector<std::string>& names) {
    for (const auto& name : names) runs_[CMinArch(name, 0).m_Interval];
  }
  // Folds the minutes the archive takes; returns how many.
  int Apply(const Day& day) {
    int taken = 0;
    bool skipping = true;
    for (std::size_t i = 0; i < day.minutes.size(); ++i) {
      const Candle& m = day.minutes[i];
      if (skipping && m.time < day.sessionStart) continue;
      skipping = false;
      ++taken;
      for (auto& [code, run] : runs_) Fold(run, Key(code, day.candleDates[i], m.time), m);
    }
    for (auto& [code, run] : runs_) {
      while (run.size() > static_cast<std::size_t>(kMaxCandlesPerInterval)) run.erase(run.begin());
    }
    return taken;
  }
  std::vector<Candle> Expected(std::int32_t code) const {
    std::vector<Candle> out;
    for (const auto& [key, c] : runs_.at(code)) out.push_back(c);
    return out;
  }
  const std::map<std::int32_t, Run>& Runs() const { return runs_; }

 private:
  std::map<std::int32_t, Run> runs_;
};

void ExpectSameRun(const std::vector<Candle>& got, const std::vector<Candle>& want,
                   std::int32_t code) {
  ASSERT_EQ(got.size(), want.size()) << "interval " << code;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const Candle& g = got[i];
    const Candle& w = want[i];
    ASSERT_TRUE(g.date == w.date && g.time == w.time && g.open == w.open && g.high == w.high &&
                g.low == w.low && g.close == w.close && g.volume == w.volume)
        << "interval " << code << " candle " << i << ": got " << g.date << " " << g.time << " o"
        << g.open << " h" << g.high << " l" << g.low << " c" << g.close << " v" << g.volume
        << ", want " << w.date << " " << w.time << " o" << w.open << " h" << w.high << " l" << w.low
        << " c" << w.close << " v" << w.volume;
  }
}

std::vector<Candle> Snapshot(Archive& a) {
  return std::vector<Candle>(a.Buffer(), a.Buffer() + kArchiveRecords);
}

}  // namespace

TEST(AggregationModel, AllSixteenIntervalsMatchThePlainModelOverRandomDays) {
  const std::vector<std::string> names = AllIntervalNames();
  ASSERT_EQ(names.size(), static_cast<std::size_t>(kSlotCount));
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Archive archive(names);
    Model model(names);
    std::int32_t date = DateOf(Days(20231215) + std::chrono::days{seed});
    Day previous;
    int previousTaken = 0;
    for (int d = 0; d < 16; ++d) {
      const Day day = RandomDay(rng, date);
      const auto result = archive.Apply(day.minutes, date, day.sessionStart);
      ASSERT_TRUE(result.ok) << date << " failed at interval " << result.failedInterval;
      const int taken = model.Apply(day);
      for (const auto& [code, run] : model.Runs())
        ExpectSameRun(archive.Run(code), model.Expected(code), code);
      if (testing::Test::HasFatalFailure()) return;
      std::size_t counted = 0;
      for (const auto& [code, run] : model.Runs()) counted += run.size();
      ASSERT_EQ(static_cast<std::size_t>(archive.Records()), kSlotCount + counted);
      ASSERT_EQ(archive.Buffer()[archive.Records()].date, 0);

      // The same day again, or the day before, changes nothing (and is refused when the
      // archive took any of its minutes).
      const auto before = Snapshot(archive);
      const bool same = pick(0, 1) == 0 || previousTaken == 0;
      const Day& again = same ? day : previous;
      const bool ok = archive.Apply(again.minutes, again.date, again.sessionStart).ok;
      if ((same ? taken : previousTaken) > 0) {
        EXPECT_FALSE(ok) << again.date;
      }
      ASSERT_EQ(std::memcmp(before.data(), archive.Buffer(), before.size() * sizeof(Candle)), 0);

      previous = day;
      previousTaken = taken;
      date = DateOf(Days(date) + std::chrono::days{(day.passesMidnight ? 2 : 1) + pick(0, 3)});
    }
  }
}
