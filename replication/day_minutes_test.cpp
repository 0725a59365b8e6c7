#include "replication/day_minutes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Minutes at the given HHMM times.
std::vector<Candle> At(const std::vector<int>& hhmm) {
  std::vector<Candle> out;
  for (int t : hhmm) {
    Candle c;
    c.time = t * 100;
    c.close = 1;
    out.push_back(c);
  }
  return out;
}

std::vector<int> Range(int fromHhmm, int toHhmm) {
  std::vector<int> out;
  for (int t = fromHhmm; t <= toHhmm; t += (t % 100 == 59) ? 41 : 1) out.push_back(t);
  return out;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<int> Kept(const std::vector<Candle>& m, const WindowPart& part) {
  std::vector<int> out;
  for (int i = part.first; i < part.first + part.count; ++i) out.push_back(m[i].time / 100);
  return out;
}

}  // namespace

TEST(TimeWindow, DayWindowDropsHeadAndTail) {
  const auto m = At(Range(700, 2359));
  const WindowPart part = NarrowToWindow(m.data(), static_cast<int>(m.size()), 100000, 184500);
  const auto kept = Kept(m, part);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.front(), 1000);
  EXPECT_EQ(kept.back(), 1845);
  EXPECT_EQ(kept.size(), Range(1000, 1845).size());
}

TEST(TimeWindow, WindowPastMidnightKeepsTheNightUpToItsEnd) {
  const auto m = At(Concat(Range(1900, 2359), Range(0, 300)));
  const WindowPart part = NarrowToWindow(m.data(), static_cast<int>(m.size()), 190000, 20000);
  EXPECT_EQ(Kept(m, part), Concat(Range(1900, 2359), Range(0, 200)));
}

TEST(TimeWindow, LateMinuteInDayWindowDoesNotCutTheDay) {
  // 10:05 arrives after 10:07: in a day window the rest of the day stays.
  const auto m = At({1000, 1001, 1007, 1005, 1008, 1900});
  const WindowPart part = NarrowToWindow(m.data(), static_cast<int>(m.size()), 100100, 184500);
  EXPECT_EQ(Kept(m, part), (std::vector<int>{1001, 1007, 1005, 1008}));
}

TEST(TimeWindow, EveryMinuteBeforeTheBeginLeavesNothing) {
  const auto m = At({900, 930, 959});
  EXPECT_EQ(NarrowToWindow(m.data(), 3, 100000, 0).count, 0);
  EXPECT_EQ(NarrowToWindow(m.data(), 0, 0, 0).count, 0);
}

TEST(TimeWindow, NoEndKeepsEverythingFromTheBegin) {
  const auto m = At({900, 1000, 2359});
  const WindowPart part = NarrowToWindow(m.data(), 3, 100000, 0);
  EXPECT_EQ(Kept(m, part), (std::vector<int>{1000, 2359}));
}

// Only an export whose every minute carries the next calendar date (across a month and a
// year end too) is taken for the part after midnight alone; one minute of its own date, or
// of any other date, leaves it to the usual dating.
TEST(ExportOfTheNextDateOnly, EveryMinuteMustCarryTheNextCalendarDate) {
  auto dated = [](std::vector<int> dates) {
    std::vector<Candle> out = At(Range(0, 0 + static_cast<int>(dates.size()) - 1));
    for (std::size_t k = 0; k < dates.size(); ++k) out[k].date = dates[k];
    return out;
  };
  const auto night = dated({20240201, 20240201, 20240201});
  EXPECT_TRUE(HoldsOnlyTheNextDate(night.data(), 3, 20240131));
  EXPECT_FALSE(HoldsOnlyTheNextDate(night.data(), 3, 20240201));
  EXPECT_FALSE(HoldsOnlyTheNextDate(night.data(), 0, 20240131));
  const auto yearEnd = dated({20250101, 20250101});
  EXPECT_TRUE(HoldsOnlyTheNextDate(yearEnd.data(), 2, 20241231));
  const auto leap = dated({20240229});
  EXPECT_TRUE(HoldsOnlyTheNextDate(leap.data(), 1, 20240228));
  const auto mixed = dated({20240131, 20240201, 20240201});
  EXPECT_FALSE(HoldsOnlyTheNextDate(mixed.data(), 3, 20240131));
  const auto later = dated({20240201, 20240202});
  EXPECT_FALSE(HoldsOnlyTheNextDate(later.data(), 2, 20240131));
  const auto undated = dated({0, 0});
  EXPECT_FALSE(HoldsOnlyTheNextDate(undated.data(), 2, 20240131));
}
