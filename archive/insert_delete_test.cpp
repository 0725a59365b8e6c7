#include "archive/insert_delete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
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

namespace {

// A day candle at date of the given volume (time 0).
Candle DayOf(std::int32_t date, double volume) {
  Candle c = test_archive::Minute(date, 0, 100, volume);
  c.time = 0;
  return c;
}

// An archive of the intervals 1, DAY and WEEK whose day and week runs are written as
// given, as an archive whose day interval lost days (or started later) would hold them.
Archive Stored(const std::vector<Candle>& days, const std::vector<Candle>& weeks) {
  Archive a({"1", "DAY", "WEEK"});
  Candle* buffer = a.Buffer();
  SetSlot(buffer, 1, kDayInterval, static_cast<std::int32_t>(days.size()));
  SetSlot(buffer, 2, kWeekInterval, static_cast<std::int32_t>(weeks.size()));
  std::copy(days.begin(), days.end(), buffer + kSlotCount);
  std::copy(weeks.begin(), weeks.end(), buffer + kSlotCount + days.size());
  return a;
}

}  // namespace

TEST(InsertDay, DayOlderThanAFullDayIntervalKeepsTheWeekCandles) {
  std::vector<Candle> days;
  for (std::int32_t date = 20000110; static_cast<int>(days.size()) < kMaxCandlesPerInterval;
       date = NextDate(date))
    days.push_back(DayOf(date, 1));
  // Week 20000102 was built when its days were still held; later weeks are not needed.
  Archive a = Stored(days, {DayOf(20000102, 6)});
  ASSERT_TRUE(a.Apply(Day(20000104, 50), 20000104, 0, "insert").ok);
  EXPECT_EQ(a.Run(-1).size(), static_cast<std::size_t>(kMaxCandlesPerInterval));
  EXPECT_EQ(a.Run(-1).front().date, 20000110);
  ASSERT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].date, 20000102);
  EXPECT_EQ(a.Run(-2)[0].volume, 6);
}

TEST(InsertDay, WeekWhoseDaysAreNotAllHeldIsLeftUnchangedAndSaidSo) {
  // Week 20000109 holds 7 and was opened by Monday 20000110 (volume 5, open 95), which the
  // day interval does not hold (it was configured later).
  const std::vector<Candle> days{DayOf(20000111, 1), DayOf(20000113, 1), DayOf(20000117, 2)};
  Candle week = DayOf(20000109, 7);
  week.open = 95;
  Archive a = Stored(days, {week, DayOf(20000116, 2)});
  testing::internal::CaptureStdout();
  ASSERT_TRUE(a.Apply({}, 20000113, 0, "delete").ok);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("  [date]    = 20000113  - archive test.dat, interval WEEK: the candle of "
                     "20000109 is left unchanged, the day interval does not hold all its days"),
            std::string::npos)
      << out;
  ASSERT_EQ(a.Run(-1).size(), 2u);
  ASSERT_EQ(a.Run(-2).size(), 2u);
  EXPECT_EQ(a.Run(-2)[0].volume, 7);

  // Inserting into that week changes the days alone; a week whose days are all held
  // (from its Sunday on) is still recomputed.
  ASSERT_TRUE(a.Apply(Day(20000112, 50), 20000112, 0, "insert").ok);
  EXPECT_EQ(a.Run(-1).size(), 3u);
  EXPECT_EQ(a.Run(-2)[0].volume, 7);
  ASSERT_TRUE(a.Apply(Day(20000118, 50), 20000118, 0, "insert").ok);
  EXPECT_EQ(a.Run(-2)[1].volume, 2 + 90);
}

namespace {

// A full day interval from date on, every date held but skip, the volumes 1, 2, 3...
std::vector<Candle> FullFrom(std::int32_t date, std::int32_t skip) {
  std::vector<Candle> days;
  for (; static_cast<int>(days.size()) < kMaxCandlesPerInterval; date = NextDate(date)) {
    if (date != skip) days.push_back(DayOf(date, 1 + static_cast<int>(days.size())));
  }
  return days;
}

// The candle of week 20000109 folded from the held days.
Candle FirstWeek(const std::vector<Candle>& days) {
  Candle week = DayOf(20000109, 0);
  for (const Candle& day : days) {
    if (day.date < 20000116) week.volume += day.volume;
  }
  return week;
}

}  // namespace

TEST(DeleteDay, OldestWeekOfADayIntervalThatDroppedDaysIsRecomputedOnlyWhenItsHeldDaysMakeItUp) {
  // Nothing traded on Sunday 20000109: the full day interval starts on Monday and still
  // holds every day of that week.
  const std::vector<Candle> days = FullFrom(20000110, 0);
  const Candle made = FirstWeek(days);
  ASSERT_EQ(made.volume, 1 + 2 + 3 + 4 + 5 + 6);
  Archive a = Stored(days, {made});
  ASSERT_TRUE(a.Apply({}, 20000112, 0, "delete").ok);
  ASSERT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].volume, 1 + 2 + 4 + 5 + 6);

  // The same days one short of full after a delete of the newest, an older week showing
  // that days were dropped.
  std::vector<Candle> fewer = days;
  fewer.pop_back();
  const Candle older = DayOf(20000102, 9);

  struct Case {
    const char* what;
    double open, high, low, volume;  // added to the week the held days make
    bool recomputed;
  };
  // A dropped Sunday that opened the week at another price, set its high or low, or (a
  // day that closed where it opened, at the price Monday opened) only added its volume:
  // the held days cannot make the week up. Neither can they after a lot change rounded
  // each candle: that cannot be told from a small dropped day.
  const Case cases[] = {
      {"another open", -1, 0, 0, 0, false},   {"a higher high", 0, 1, 0, 0, false},
      {"a lower low", 0, 0, -1, 0, false},    {"more volume", 0, 0, 0, 7, false},
      {"rounded volumes", 0, 0, 0, 1, false}, {"the same candle", 0, 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    Candle week = made;
    week.open += c.open;
    week.high += c.high;
    week.low += c.low;
    week.volume += c.volume;
    for (const bool full : {true, false}) {
      Archive edited = full ? Stored(days, {week}) : Stored(fewer, {older, week});
      ASSERT_TRUE(edited.Apply({}, 20000112, 0, "delete").ok);
      const Candle after = edited.Run(-2).back();
      EXPECT_EQ(after.volume, c.recomputed ? made.volume - 3 : week.volume)
          << c.what << (full ? ", full" : ", one short");
    }
  }

  // With no sign of dropped days (fewer than 3000 and no older week), the opening day
  // tells alone: a day interval configured later than the week.
  Candle week = made;
  week.volume += 40;
  Archive later = Stored(fewer, {week});
  ASSERT_TRUE(later.Apply({}, 20000112, 0, "delete").ok);
  EXPECT_EQ(later.Run(-2)[0].volume, made.volume - 3);
}

TEST(InsertDay, BeforeADayIntervalThatDroppedDaysIsSaidToStoreNothingThere) {
  std::vector<Candle> days = FullFrom(20000110, 0);
  days.pop_back();
  Archive a = Stored(days, {DayOf(20000102, 9), FirstWeek(days)});
  testing::internal::CaptureStdout();
  ASSERT_TRUE(a.Apply(Day(20000104, 50), 20000104, 0, "insert").ok);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("  [date]    = 20000104  - archive test.dat: the day interval dropped its "
                     "days before 20000110, the inserted days are not stored there"),
            std::string::npos)
      << out;
  EXPECT_EQ(a.Run(-1).size(), days.size());
  EXPECT_EQ(a.Run(-2)[0].volume, 9);
}

TEST(InsertDay, IntoAFullDayIntervalKeepsTheDroppedDayInItsWeek) {
  // The day interval starts on the week's Sunday; inserting a later day pushes that
  // Sunday out of it, but the week still traded on it.
  const std::vector<Candle> days = FullFrom(20000109, 20000112);
  const Candle week = FirstWeek(days);
  Archive a = Stored(days, {week});
  ASSERT_EQ(week.volume, 1 + 2 + 3 + 4 + 5 + 6);
  ASSERT_TRUE(a.Apply(Day(20000112, 100), 20000112, 0, "insert").ok);
  EXPECT_EQ(a.Run(-1).front().date, 20000110);
  ASSERT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].volume, 1 + 2 + 3 + 4 + 5 + 6 + 90);
}

namespace {

// An evening session from 19:00 past midnight to 01:59 of the next date.
std::vector<Candle> Night(std::int32_t date, double price) {
  std::vector<Candle> minutes = Minutes(date, 1900, 2359, price);
  const std::vector<Candle> after = Minutes(NextDate(date), 0, 159, price + 500);
  minutes.insert(minutes.end(), after.begin(), after.end());
  return minutes;
}

Archive NightsAdded(std::int32_t from, int nights) {
  Archive a({"1", "DAY", "WEEK", "MONTH"});
  std::int32_t date = from;
  for (int n = 0; n < nights; ++n, date = NextDate(date))
    EXPECT_TRUE(a.Apply(Night(date, 100 + 10 * n), date).ok);
  return a;
}

}  // namespace

TEST(InsertDay, OlderThanEveryMinuteRunKeepsTheNextDaysStoredPart) {
  // Nine nights of 420 minutes: the one-minute run keeps the newest 3000, so after the
  // second to ninth nights it no longer holds any of the second date. Inserting the first
  // night must still give the second date's day candle both of its parts.
  const std::int32_t first = 20240205;
  Archive inOrder = NightsAdded(first, 9);
  Archive a({"1", "DAY", "WEEK", "MONTH"});
  std::int32_t date = NextDate(first);
  for (int n = 1; n < 9; ++n, date = NextDate(date))
    ASSERT_TRUE(a.Apply(Night(date, 100 + 10 * n), date).ok);
  ASSERT_EQ(a.Run(1).size(), static_cast<std::size_t>(kMaxCandlesPerInterval));
  ASSERT_GT(a.Run(1).front().date, NextDate(first));
  ASSERT_TRUE(a.Apply(Night(first, 100), first, 0, "insert").ok);
  EXPECT_EQ(a.Run(-1)[1].volume, 420);
  EXPECT_TRUE(SameBytes(a, Snapshot(inOrder)));

  // The same night inserted again keeps the stored second date as it stands.
  ASSERT_TRUE(a.Apply(Night(first, 100), first, 0, "insert").ok);
  EXPECT_TRUE(SameBytes(a, Snapshot(inOrder)));
}

TEST(InsertDay, PartialReinsertReadsEachStretchFromTheIntervalThatHoldsIt) {
  // Four days of 840 minutes: the one-minute run keeps the newest 3000 and so holds the
  // first day from 16:00 only; deleting the fourth day brings it below 3000, which no
  // longer tells that it dropped anything. A partial export of the first day from 17:43
  // inserted again must leave its day candle whole: 10:00 to 15:59 from the 5-minute
  // interval, 16:00 to 17:42 from the one-minute one.
  const std::int32_t days[] = {20240226, 20240227, 20240228, 20240229};
  Archive a({"1", "5", "DAY"});
  for (const std::int32_t date : days)
    ASSERT_TRUE(a.Apply(Minutes(date, 1000, 2359, 100), date).ok);
  ASSERT_TRUE(a.Apply({}, days[3], 0, "delete").ok);
  ASSERT_LT(a.Run(1).size(), static_cast<std::size_t>(kMaxCandlesPerInterval));
  ASSERT_EQ(a.Run(1).front().time, 160000);
  const Candle before = a.Run(-1)[0];
  ASSERT_EQ(before.volume, 840);
  ASSERT_TRUE(a.Apply(Minutes(days[0], 1743, 2359, 100 + 463), days[0], 0, "insert").ok);
  const Candle after = a.Run(-1)[0];
  EXPECT_EQ(after.volume, 840);
  EXPECT_EQ(after.open, before.open);
  EXPECT_EQ(after.high, before.high);
  EXPECT_EQ(after.low, before.low);
  // The 5-minute slot of 17:40 holds the re-inserted 17:43 and 17:44, and 17:40 to 17:42
  // as the one-minute interval still holds them.
  const auto five = a.Run(5);
  const auto slot = std::find_if(five.begin(), five.end(), [&](const Candle& c) {
    return c.date == days[0] && c.time == 174000;
  });
  ASSERT_NE(slot, five.end());
  EXPECT_EQ(slot->volume, 5);
  EXPECT_EQ(slot->open, 100 + 460);
}

TEST(InsertDay, ExportedAgainOlderThanEveryMinuteRunTakesTheNewNightWhereTheExportsTell) {
  // As above, but the first night is exported again with other prices. The second date's
  // stored day holds the old night and the second export's own evening; knowing that
  // evening from the export tree, the day takes the new night and keeps the evening.
  const std::int32_t first = 20240205;
  const std::int32_t second = NextDate(first);
  Archive a = NightsAdded(first, 9);
  ASSERT_GT(a.Run(1).front().date, second);
  const Candle stored = a.Run(-1)[1];
  ASSERT_EQ(stored.volume, 420);
  const std::vector<Candle> secondEvening = Minutes(second, 1900, 2359, 110);
  Candle own = secondEvening.front();
  for (const Candle& m : secondEvening) MergeInto(own, m);
  own.volume = 300;
  AggregationState state;
  std::vector<std::int32_t> asked;
  state.exportOwnDay = [&](std::int32_t date, std::int32_t) -> std::optional<Candle> {
    asked.push_back(date);
    return date == second ? std::optional<Candle>(own) : std::nullopt;
  };
  ASSERT_TRUE(a.Apply(Night(first, 150), first, state, 0, "insert").ok);
  EXPECT_EQ(asked, std::vector<std::int32_t>{second});
  const Candle day = a.Run(-1)[1];
  EXPECT_EQ(day.date, second);
  EXPECT_EQ(day.volume, 420);
  EXPECT_EQ(day.open, 650);  // the new night's first minute
  EXPECT_EQ(day.close, stored.close);
  double high = own.high;
  for (const Candle& m : Night(first, 150)) {
    if (m.date == second) high = std::max(high, m.high);
  }
  EXPECT_EQ(day.high, high);
  // Without the export tree the stored day stays as it stands.
  Archive b = NightsAdded(first, 9);
  ASSERT_TRUE(b.Apply(Night(first, 150), first, 0, "insert").ok);
  EXPECT_EQ(b.Run(-1)[1].open, stored.open);
}

TEST(InsertDay, DatesBeforeTheDaysTheDayIntervalDroppedStayOutWhenDeletesMadeRoom) {
  // The day interval dropped its oldest days at 3000 (the week of 20000102 outlives them)
  // and a delete brought it to 2999. An export of 20000104 whose night passes into
  // 20000105 is inserted again: a day candle of 20000105 written back would hold the new
  // night alone, as the archive no longer has that date's own evening. Both dates stay
  // out, as they would for a full day interval.
  std::vector<Candle> days;
  for (std::int32_t date = 20000110; static_cast<int>(days.size()) < kMaxCandlesPerInterval - 1;
       date = NextDate(date))
    days.push_back(DayOf(date, 1));
  Archive a = Stored(days, {DayOf(20000102, 6)});
  ASSERT_TRUE(a.Apply(Night(20000104, 50), 20000104, 0, "insert").ok);
  EXPECT_EQ(a.Run(-1).size(), days.size());
  EXPECT_EQ(a.Run(-1).front().date, 20000110);
  ASSERT_EQ(a.Run(-2).size(), 1u);
  EXPECT_EQ(a.Run(-2)[0].volume, 6);

  // Without a candle that outlives the oldest day the archive cannot tell dropped days
  // from days never added: the inserted dates come in, the next date with the night alone
  // (what adding 20000104 before a never added 20000105 gives).
  const std::vector<Candle> fewer(days.begin() + 1, days.end());
  Archive b = Stored(fewer, {});
  ASSERT_TRUE(b.Apply(Night(20000104, 50), 20000104, 0, "insert").ok);
  const auto after = b.Run(-1);
  ASSERT_EQ(after.size(), fewer.size() + 2);
  EXPECT_EQ(after[0].date, 20000104);
  EXPECT_EQ(after[1].date, 20000105);
  EXPECT_EQ(after[1].volume, 120);
}
