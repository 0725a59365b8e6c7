#include "archive/insert_delete.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/test_archive.h"

using test_archive::Archive;
using test_archive::Minutes;

namespace {

const std::vector<std::string> kAll = {"1", "5", "DAY", "WEEK", "MONTH"};
constexpr std::int32_t kMonday = 20240226;
constexpr std::int32_t kTuesday = 20240227;
constexpr std::int32_t kWednesday = 20240228;
constexpr std::int32_t kJan31 = 20240131;
constexpr std::int32_t kFeb1 = 20240201;

std::vector<Candle> Snapshot(Archive& a) {
  return std::vector<Candle>(a.Buffer(), a.Buffer() + kArchiveRecords);
}

bool SameBytes(Archive& a, const std::vector<Candle>& snapshot) {
  return std::memcmp(a.Buffer(), snapshot.data(), snapshot.size() * sizeof(Candle)) == 0;
}

std::vector<Candle> Day(std::int32_t date, double price) {
  return Minutes(date, 1000, 1129, price);
}

// An archive that was given these days by "add", in order.
Archive Added(const std::vector<std::pair<std::int32_t, double>>& days) {
  Archive a(kAll);
  for (const auto& [date, price] : days) EXPECT_TRUE(a.Apply(Day(date, price), date).ok);
  return a;
}

}  // namespace

TEST(InsertDay, BetweenStoredDaysGivesTheArchiveOfAddingInOrder) {
  Archive inserted = Added({{kMonday, 100}, {kWednesday, 300}});
  ASSERT_TRUE(inserted.Apply(Day(kTuesday, 200), kTuesday, 0, "insert").ok);
  Archive inOrder = Added({{kMonday, 100}, {kTuesday, 200}, {kWednesday, 300}});
  ASSERT_EQ(inserted.Run(-1).size(), 3u);
  EXPECT_EQ(inserted.Run(-1)[1].date, kTuesday);
  EXPECT_EQ(inserted.Run(1).size(), 3u * 90);
  EXPECT_TRUE(SameBytes(inserted, Snapshot(inOrder)));
}

TEST(InsertDay, StoredDayIsReplacedExactly) {
  Archive a = Added({{kMonday, 100}, {kTuesday, 200}, {kWednesday, 300}});
  const auto before = Snapshot(a);
  ASSERT_TRUE(a.Apply(Day(kTuesday, 200), kTuesday, 0, "insert").ok);
  EXPECT_TRUE(SameBytes(a, before));

  // An export of 10:00 to 10:09 at other prices replaces just those minutes; the stored
  // rest of Tuesday stays, and the day, week and month candles take in both parts.
  ASSERT_TRUE(a.Apply(Minutes(kTuesday, 1000, 1009, 500), kTuesday, 0, "insert").ok);
  const auto minutes = a.Run(1);
  ASSERT_EQ(minutes.size(), 270u);
  EXPECT_EQ(minutes[90].open, 500);
  EXPECT_EQ(minutes[100].open, 210);
  const Candle tuesday = a.Run(-1)[1];
  EXPECT_EQ(tuesday.volume, 90);
  EXPECT_EQ(tuesday.open, 500);
  EXPECT_EQ(tuesday.high, 510);
  EXPECT_EQ(tuesday.close, 289.5);
  EXPECT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].volume, 270);
  EXPECT_EQ(a.Run(-3)[0].high, 510);
}

TEST(InsertDay, MinutesThatGiveNoCandleChangeNothing) {
  Archive a = Added({{kMonday, 100}});
  const auto before = Snapshot(a);
  ASSERT_TRUE(a.Apply(Day(kTuesday, 200), kTuesday, 1500 * 100, "insert").ok);
  EXPECT_TRUE(SameBytes(a, before));
}

TEST(InsertDay, FullIntervalKeepsItsNewerHistory) {
  Archive a({"1"});
  // Three days of 1000 minutes fill the one-minute interval.
  for (std::int32_t date : {kMonday, kTuesday, kWednesday})
    ASSERT_TRUE(a.Apply(Minutes(date, 700, 2339), date).ok);
  ASSERT_EQ(a.Run(1).size(), 3000u);
  const auto before = Snapshot(a);
  ASSERT_TRUE(a.Apply(Day(20240223, 50), 20240223, 0, "insert").ok);
  EXPECT_TRUE(SameBytes(a, before));
}

TEST(DeleteDay, StoredDayLeavesTheArchiveOfTheOtherDays) {
  Archive a = Added({{kMonday, 100}, {kTuesday, 200}, {kWednesday, 300}});
  ASSERT_TRUE(a.Apply({}, kTuesday, 0, "delete").ok);
  Archive expected = Added({{kMonday, 100}, {kWednesday, 300}});
  EXPECT_EQ(a.Run(-1).size(), 2u);
  EXPECT_EQ(a.Run(-2)[0].volume, 180);
  EXPECT_TRUE(SameBytes(a, Snapshot(expected)));
}

TEST(DeleteDay, UnknownDayIsReportedAndChangesNothing) {
  Archive a = Added({{kMonday, 100}, {kWednesday, 300}});
  const auto before = Snapshot(a);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(a.Apply({}, kTuesday, 0, "delete").ok);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("  [date]    = 20240227  - archives test.dat don't contain this "
                     "data(m_Interval = 1)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  [date]    = 20240227  - archives test.datDAY.dat don't contain this data"),
            std::string::npos)
      << out;
  EXPECT_TRUE(SameBytes(a, before));
}

TEST(DeleteDay, OnlyDayOfTheNewestMonthTakesTheMonthAway) {
  Archive a = Added({{kJan31, 100}, {kFeb1, 200}});
  ASSERT_EQ(a.Run(-3).size(), 2u);
  ASSERT_TRUE(a.Apply({}, kFeb1, 0, "delete").ok);
  Archive expected = Added({{kJan31, 100}});
  EXPECT_EQ(a.Run(-3).size(), 1u);
  EXPECT_TRUE(SameBytes(a, Snapshot(expected)));
  // And the last day gone: nothing is left at all.
  ASSERT_TRUE(a.Apply({}, kJan31, 0, "delete").ok);
  EXPECT_EQ(a.Records(), kSlotCount);
}

TEST(DeleteDay, WeekWithoutDayIntervalIsLeftAlone) {
  Archive a({"1", "WEEK"});
  ASSERT_TRUE(a.Apply(Day(kMonday, 100), kMonday).ok);
  const auto week = a.Run(-2);
  ASSERT_TRUE(a.Apply({}, kMonday, 0, "delete").ok);
  EXPECT_TRUE(a.Run(1).empty());
  ASSERT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].volume, week[0].volume);
}

TEST(InsertDay, PastMidnightGivesTwoDayCandles) {
  Archive a = Added({{kMonday, 100}});
  std::vector<Candle> evening = Minutes(kTuesday, 1900, 2359, 200);
  const std::vector<Candle> night = Minutes(kWednesday, 0, 100, 300);
  evening.insert(evening.end(), night.begin(), night.end());
  ASSERT_TRUE(a.Apply(evening, kTuesday, 0, "insert").ok);
  const auto days = a.Run(-1);
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[1].date, kTuesday);
  EXPECT_EQ(days[2].date, kWednesday);
  EXPECT_EQ(days[2].volume, 61);
  EXPECT_EQ(a.Run(1).back().date, kWednesday);
  EXPECT_EQ(a.Run(-2)[0].volume, 90 + 300 + 61);
}
