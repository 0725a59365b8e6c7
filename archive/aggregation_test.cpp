#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/apply_minutes.h"
#include "archive/test_archive.h"

using test_archive::Archive;
using test_archive::Minute;
using test_archive::Minutes;

namespace {

constexpr std::int32_t kFriday = 20240531;
constexpr std::int32_t kSaturday = 20240601;

std::vector<Candle> Concat(std::vector<Candle> a, const std::vector<Candle>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Minutes from 19:00 on date to 01:00 of the next morning (the export keeps the date).
std::vector<Candle> EveningPastMidnight(std::int32_t date) {
  return Concat(Minutes(date, 1900, 2359), Minutes(date, 0, 100));
}

bool SameBytes(Archive& a, const std::vector<Candle>& snapshot) {
  return std::memcmp(a.Buffer(), snapshot.data(), snapshot.size() * sizeof(Candle)) == 0;
}

std::vector<Candle> Snapshot(Archive& a) {
  return std::vector<Candle>(a.Buffer(), a.Buffer() + kArchiveRecords);
}

}  // namespace

TEST(MinuteSlots, FiveAndOneHundredTwentyMinutes) {
  Archive archive({"5", "120", "7"});
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 1000, 1009), 20240603).ok);
  const auto five = archive.Run(5);
  ASSERT_EQ(five.size(), 2u);
  EXPECT_EQ(five[0].time, 100000);
  EXPECT_EQ(five[1].time, 100500);
  EXPECT_EQ(five[0].volume, 5);
  EXPECT_EQ(five[0].open, 100);
  EXPECT_EQ(five[0].close, 104.5);
  EXPECT_EQ(five[0].high, 105);
  EXPECT_EQ(five[0].low, 99);
  EXPECT_EQ(five[1].date, 20240603);
  const auto twoHours = archive.Run(120);
  ASSERT_EQ(twoHours.size(), 1u);
  EXPECT_EQ(twoHours[0].time, 100000);
  EXPECT_EQ(twoHours[0].volume, 10);
  // 7 minutes: slots start at 09:55, 10:02 and 10:09 (minutes of the day 595, 602, 609).
  const auto seven = archive.Run(7);
  ASSERT_EQ(seven.size(), 3u);
  EXPECT_EQ(seven[0].time, 95500);
  EXPECT_EQ(seven[1].time, 100200);
  EXPECT_EQ(seven[2].time, 100900);
  EXPECT_EQ(archive.Records(), 16 + 6);
}

TEST(MidnightPassage, CandlesOfTheNextDayAndTwoDayCandles) {
  Archive archive({"1", "DAY", "WEEK", "MONTH"});
  ASSERT_TRUE(archive.Apply(EveningPastMidnight(kFriday), kFriday).ok);
  const auto minutes = archive.Run(1);
  ASSERT_EQ(minutes.size(), 300u + 61u);
  EXPECT_EQ(minutes[299].date, kFriday);
  EXPECT_EQ(minutes[299].time, 235900);
  EXPECT_EQ(minutes[300].date, kSaturday);
  EXPECT_EQ(minutes[300].time, 0);
  const auto days = archive.Run(kDayInterval);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].date, kFriday);
  EXPECT_EQ(days[0].volume, 300);
  EXPECT_EQ(days[0].time, 0);
  EXPECT_EQ(days[1].date, kSaturday);
  EXPECT_EQ(days[1].volume, 61);
  EXPECT_EQ(days[1].open, minutes[300].open);
  // Friday and Saturday share a week; May and June are two months.
  const auto weeks = archive.Run(kWeekInterval);
  ASSERT_EQ(weeks.size(), 1u);
  EXPECT_EQ(weeks[0].date, 20240526);
  EXPECT_EQ(weeks[0].volume, 361);
  const auto months = archive.Run(kMonthInterval);
  ASSERT_EQ(months.size(), 2u);
  EXPECT_EQ(months[0].date, 20240501);
  EXPECT_EQ(months[0].volume, 300);
  EXPECT_EQ(months[1].date, 20240601);
  EXPECT_EQ(months[1].volume, 61);
}

TEST(MidnightPassage, SaturdayNightOpensTheNextWeek) {
  Archive archive({"1", "WEEK", "MONTH"});
  ASSERT_TRUE(archive.Apply(EveningPastMidnight(kSaturday), kSaturday).ok);
  const auto weeks = archive.Run(kWeekInterval);
  ASSERT_EQ(weeks.size(), 2u);
  EXPECT_EQ(weeks[0].date, 20240526);
  EXPECT_EQ(weeks[0].volume, 300);
  EXPECT_EQ(weeks[1].date, 20240602);
  EXPECT_EQ(weeks[1].volume, 61);
  const auto months = archive.Run(kMonthInterval);
  ASSERT_EQ(months.size(), 1u);
  EXPECT_EQ(months[0].volume, 361);
  // The following Monday widens the week that Sunday opened, not a new one.
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 1000, 1004), 20240603).ok);
  ASSERT_EQ(archive.Run(kWeekInterval).size(), 2u);
  EXPECT_EQ(archive.Run(kWeekInterval)[1].volume, 66);
}

TEST(MidnightPassage, TheNextDaysFileCompletesItsDayWithoutCountingTheNightTwice) {
  Archive archive({"1", "DAY", "WEEK", "MONTH"});
  ASSERT_TRUE(archive.Apply(EveningPastMidnight(kFriday), kFriday).ok);
  ASSERT_TRUE(archive.Apply(Minutes(kSaturday, 1000, 1009), kSaturday).ok);
  const auto days = archive.Run(kDayInterval);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[1].date, kSaturday);
  EXPECT_EQ(days[1].volume, 61 + 10);
  ASSERT_EQ(archive.Run(kWeekInterval).size(), 1u);
  EXPECT_EQ(archive.Run(kWeekInterval)[0].volume, 300 + 61 + 10);
  ASSERT_EQ(archive.Run(kMonthInterval).size(), 2u);
  EXPECT_EQ(archive.Run(kMonthInterval)[1].volume, 61 + 10);
}

TEST(MidnightPassage, ASecondPassageIsBadDataAndChangesNothing) {
  Archive archive({"1", "DAY"});
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 1000, 1010), 20240603).ok);
  const auto before = Snapshot(archive);
  auto minutes = Concat(EveningPastMidnight(20240604), Minutes(20240604, 1200, 1210));
  minutes = Concat(minutes, Minutes(20240604, 100, 105));
  const auto result = archive.Apply(minutes, 20240604);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.failedInterval, 0u);
  EXPECT_TRUE(SameBytes(archive, before));
}

TEST(MinuteTimes, ImpossibleTimesAreRefused) {
  Archive archive({"1", "DAY"});
  const auto before = Snapshot(archive);
  for (std::int32_t bad : {246000, 106000, 100060, -100}) {
    auto minutes = Minutes(20240603, 1000, 1005);
    minutes[3].time = bad;
    EXPECT_FALSE(archive.Apply(minutes, 20240603).ok) << bad;
    EXPECT_TRUE(SameBytes(archive, before)) << bad;
  }
}

TEST(BackwardJumps, LateMinutesAreMergedBackMeasuredInMinutes) {
  Archive archive({"1", "DAY"});
  auto minutes = Minutes(20240603, 1000, 1005);
  minutes.push_back(Minute(20240603, 100300, 50, 10));  // after 10:05: a jump of 3
  minutes.push_back(Minute(20240603, 100600, 50, 1));
  ASSERT_TRUE(archive.Apply(minutes, 20240603).ok);
  const auto run = archive.Run(1);
  ASSERT_EQ(run.size(), 7u);
  EXPECT_EQ(run[2].time, 100200);
  EXPECT_EQ(run[2].volume, 11);  // three places back from 10:05
  EXPECT_EQ(run[2].low, 49);
  EXPECT_EQ(archive.Run(kDayInterval)[0].volume, 17);

  // 10:00 followed by 09:59 is a late minute, not a passage of midnight.
  Archive other({"1", "DAY"});
  std::vector<Candle> early{Minute(20240604, 95800, 10, 1), Minute(20240604, 100000, 10, 1),
                            Minute(20240604, 95900, 10, 1)};
  ASSERT_TRUE(other.Apply(early, 20240604).ok);
  const auto days = other.Run(kDayInterval);
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0].date, 20240604);
  EXPECT_EQ(days[0].volume, 3);
  ASSERT_EQ(other.Run(1).size(), 2u);
  EXPECT_EQ(other.Run(1)[0].volume, 2);
}

TEST(Capacity, AFullIntervalKeepsItsNewest3000) {
  Archive archive({"1", "DAY"});
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 0, 2359), 20240603).ok);
  ASSERT_TRUE(archive.Apply(Minutes(20240604, 0, 2359), 20240604).ok);
  ASSERT_TRUE(archive.Apply(Minutes(20240605, 0, 159), 20240605).ok);
  ASSERT_EQ(archive.Run(1).size(), 3000u);
  ASSERT_TRUE(archive.Apply(Minutes(20240606, 1000, 1009), 20240606).ok);
  const auto run = archive.Run(1);
  ASSERT_EQ(run.size(), 3000u);
  EXPECT_EQ(run[0].date, 20240603);
  EXPECT_EQ(run[0].time, 1000);  // 00:00 to 00:09 of the first day dropped
  EXPECT_EQ(run.back().date, 20240606);
  EXPECT_EQ(run.back().time, 100900);
  // The day interval after it moved along intact.
  const auto days = archive.Run(kDayInterval);
  ASSERT_EQ(days.size(), 4u);
  EXPECT_EQ(days[3].volume, 10);
  EXPECT_EQ(archive.Records(), 16 + 3000 + 4);
}

TEST(CalendarPeriods, WeekAndMonthDatesAcrossMonthStarts) {
  Archive archive({"1", "DAY", "WEEK", "MONTH"});
  for (std::int32_t date : {20240530, 20240531, 20240601, 20240603, 20240901, 20240902})
    ASSERT_TRUE(archive.Apply(Minutes(date, 1000, 1009), date).ok) << date;
  const auto weeks = archive.Run(kWeekInterval);
  ASSERT_EQ(weeks.size(), 3u);
  EXPECT_EQ(weeks[0].date, 20240526);
  EXPECT_EQ(weeks[0].volume, 30);
  EXPECT_EQ(weeks[1].date, 20240602);
  EXPECT_EQ(weeks[1].volume, 10);
  EXPECT_EQ(weeks[2].date, 20240901);  // Sunday the 1st opens its own week
  EXPECT_EQ(weeks[2].volume, 20);
  EXPECT_EQ(weeks[2].open, 100);
  EXPECT_EQ(weeks[2].close, 109.5);
  const auto months = archive.Run(kMonthInterval);
  ASSERT_EQ(months.size(), 3u);
  EXPECT_EQ(months[0].date, 20240501);
  EXPECT_EQ(months[1].date, 20240601);
  EXPECT_EQ(months[1].volume, 20);
  EXPECT_EQ(months[2].date, 20240901);
  EXPECT_EQ(archive.Run(kDayInterval).size(), 6u);
}

TEST(CalendarPeriods, ADayOneMonthLaterIsANewDay) {
  Archive archive({"1", "DAY"});
  ASSERT_TRUE(archive.Apply(Minutes(20240515, 1000, 1009), 20240515).ok);
  ASSERT_TRUE(archive.Apply(Minutes(20240615, 1000, 1004), 20240615).ok);
  const auto days = archive.Run(kDayInterval);
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].volume, 10);
  EXPECT_EQ(days[1].volume, 5);
}

TEST(Reapplying, TheSameFileTwiceChangesNothing) {
  Archive archive({"1", "5", "DAY", "WEEK"});
  const auto minutes = Minutes(20240603, 1000, 1012);
  ASSERT_TRUE(archive.Apply(minutes, 20240603).ok);
  const auto before = Snapshot(archive);
  const auto again = archive.Apply(minutes, 20240603);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.failedInterval, 0u);
  EXPECT_TRUE(SameBytes(archive, before));
  // Each minute interval alone refuses too.
  Archive five({"5"});
  ASSERT_TRUE(five.Apply(minutes, 20240603).ok);
  EXPECT_FALSE(five.Apply(minutes, 20240603).ok);
  EXPECT_EQ(five.Run(5).size(), 3u);
}

TEST(Reapplying, TheRestOfAPartlyAddedDayCompletesItsDayCandle) {
  Archive archive({"1", "DAY", "WEEK"});
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 1000, 1159), 20240603).ok);
  ASSERT_TRUE(archive.Apply(Minutes(20240603, 1000, 1559), 20240603).ok);
  const auto run = archive.Run(1);
  ASSERT_EQ(run.size(), 360u);
  EXPECT_EQ(run[120].time, 120000);
  const auto days = archive.Run(kDayInterval);
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0].volume, 360);
  EXPECT_EQ(days[0].open, 100);
  EXPECT_EQ(days[0].high, 100 + 359 + 1);
  EXPECT_EQ(days[0].low, 99);
  // The week already held the first two hours: only the rest widens it.
  ASSERT_EQ(archive.Run(kWeekInterval).size(), 1u);
  EXPECT_EQ(archive.Run(kWeekInterval)[0].volume, 360);
}

TEST(SessionStart, OnlyTheHeadBeforeItIsSkipped) {
  Archive archive({"1", "DAY"});
  auto minutes = Minutes(20240603, 950, 1005);
  minutes.push_back(Minute(20240603, 100400, 1, 5));  // late, yet after the head: kept
  ASSERT_TRUE(archive.Apply(minutes, 20240603, 100000).ok);
  const auto run = archive.Run(1);
  ASSERT_EQ(run.size(), 6u);
  EXPECT_EQ(run[0].time, 100000);
  EXPECT_EQ(archive.Run(kDayInterval)[0].volume, 11);
}

TEST(CalendarOnly, DayCandlesComeFromEachInstrumentsOwnMinutes) {
  Archive first({"DAY", "MONTH"});
  Archive second({"DAY", "MONTH"});
  ASSERT_TRUE(first.Apply(Minutes(20240603, 1000, 1009), 20240603).ok);
  ASSERT_TRUE(second.Apply(Minutes(20240603, 1000, 1002, 500), 20240603).ok);
  ASSERT_EQ(first.Run(kDayInterval).size(), 1u);
  EXPECT_EQ(first.Run(kDayInterval)[0].volume, 10);
  EXPECT_EQ(first.Run(kMonthInterval)[0].volume, 10);
  ASSERT_EQ(second.Run(kDayInterval).size(), 1u);
  EXPECT_EQ(second.Run(kDayInterval)[0].volume, 3);
  EXPECT_EQ(second.Run(kDayInterval)[0].open, 500);
  EXPECT_EQ(second.Run(kMonthInterval)[0].date, 20240601);
  // An older day than the archive holds is refused.
  EXPECT_FALSE(first.Apply(Minutes(20240520, 1000, 1001), 20240520).ok);
  EXPECT_EQ(first.Run(kDayInterval).size(), 1u);
}

TEST(ApplyMinutesEntry, EmptyMinutesChangeNothingAndBadTargetsAreRefused) {
  Archive archive({"1", "DAY"});
  EXPECT_TRUE(archive.Apply({}, 20240603).ok);
  EXPECT_EQ(archive.Records(), 16);
  const auto minutes = Minutes(20240603, 1000, 1001);
  EXPECT_FALSE(archive.Apply(minutes, 20241340).ok);  // not a date
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = const_cast<Candle*>(minutes.data());
  series.m_Count = 2;
  CMinArch loose(kOneMinuteInterval, 0);  // not pointed at any archive
  AggregationState state;
  EXPECT_FALSE(ApplyMinutes(loose, {series, 20240603, "add", "x.dat", 0}, state));
  EXPECT_FALSE(ApplyMinutes(loose, {series, 20240603, "insert", "x.dat", 0}, state));
}

TEST(CalendarAppend, ARefusedOlderDayLeavesARunEndingInAnUndatedRecordAsItWas) {
  Archive archive({"DAY", "MONTH"});
  ASSERT_TRUE(archive.Apply(Minutes(20240605, 1000, 1009), 20240605).ok);
  // A record without a date at the end of the day run, the month run after it.
  const auto place = FindSlot(archive.Buffer(), kDayInterval);
  ASSERT_TRUE(place);
  CMinArch days(kDayInterval, 0);
  PointAtSlot(days, archive.Buffer(), *place);
  int tail = place->tailCount;
  const Candle undated{};
  ASSERT_TRUE(ReplaceRun(days, days.m_Count, days.m_Count, {&undated, 1}, tail));
  SetSlot(archive.Buffer(), place->slot, kDayInterval, days.m_Count);
  const auto before = Snapshot(archive);
  const auto result = archive.Apply(Minutes(20240603, 1000, 1009), 20240603);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(SameBytes(archive, before));
  ASSERT_EQ(archive.Run(kMonthInterval).size(), 1u);
  EXPECT_EQ(archive.Run(kMonthInterval)[0].volume, 10);
}

TEST(MidnightPassage, ADayLongIntervalSplitsItsCandleAtMidnight) {
  // 1439 minutes: slot 0 runs from 00:00 to 23:58, so without a minute at 23:59 the
  // evening and the night after midnight fall in the same slot.
  for (const char* key : {"1440", "1439"}) {
    SCOPED_TRACE(key);
    const std::int32_t code = std::atoi(key);
    const std::int32_t lastEvening = code == 1440 ? 2359 : 2358;
    Archive archive({key, "DAY"});
    ASSERT_TRUE(
        archive
            .Apply(Concat(Minutes(kFriday, 1900, lastEvening), Minutes(kFriday, 0, 100)), kFriday)
            .ok);
    const std::int64_t evening = code == 1440 ? 300 : 299;
    const auto run = archive.Run(code);
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[0].date, kFriday);
    EXPECT_EQ(run[0].time, 0);
    EXPECT_EQ(run[0].volume, evening);
    EXPECT_EQ(run[1].date, kSaturday);
    EXPECT_EQ(run[1].time, 0);
    EXPECT_EQ(run[1].volume, 61);
    // The day candles, filled by this interval here, split the same way.
    const auto days = archive.Run(kDayInterval);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].volume, evening);
    EXPECT_EQ(days[1].volume, 61);
  }
}

TEST(Reapplying, NewCandlesNeverLandOnOrBeforeTheArchivesLastCandle) {
  // The 10:05 candle holds 10:05 and 10:06; the longer export's 10:06 to 10:09 would make a
  // second 10:05 candle.
  Archive five({"5"});
  ASSERT_TRUE(five.Apply(Minutes(20240603, 1000, 1006), 20240603).ok);
  const auto before = Snapshot(five);
  EXPECT_FALSE(five.Apply(Minutes(20240603, 1000, 1020), 20240603).ok);
  EXPECT_TRUE(SameBytes(five, before));
  // Minutes whose records carry a later date than the day they are added for are not
  // taken for new ones when their candles would go before the archive's last.
  Archive one({"1"});
  ASSERT_TRUE(one.Apply(Minutes(20240603, 1000, 1200), 20240603).ok);
  const auto held = Snapshot(one);
  EXPECT_FALSE(one.Apply(Minutes(20240604, 1100, 1300), 20240603).ok);
  EXPECT_TRUE(SameBytes(one, held));
  ASSERT_EQ(one.Run(1).size(), 121u);
}

TEST(DayLongSlot, PartAfterMidnightIsWidenedOnlyWhenTheMinutesAreKnownToBeLater) {
  // The evening of the 3rd runs past midnight: the 1441-minute run ends with (4th, 0).
  std::vector<Candle> evening = Minutes(20240603, 2200, 2359, 100);
  const std::vector<Candle> night = Minutes(20240604, 0, 59, 300);
  evening.insert(evening.end(), night.begin(), night.end());
  const std::vector<Candle> next = Minutes(20240604, 2200, 2259, 500);
  for (const bool later : {true, false}) {
    Archive archive({"1441", "DAY"});
    ASSERT_TRUE(archive.Apply(evening, 20240603).ok);
    const auto before = Snapshot(archive);
    AggregationState state;
    state.minutesAfterStored = later;
    const bool ok = archive.Apply(next, 20240604, state).ok;
    if (!later) {
      // Without that knowledge the candle may already hold these minutes: refused.
      EXPECT_FALSE(ok);
      EXPECT_TRUE(SameBytes(archive, before));
      continue;
    }
    ASSERT_TRUE(ok);
    const auto run = archive.Run(1441);
    ASSERT_EQ(run.size(), 2u);
    EXPECT_EQ(run[1].date, 20240604);
    EXPECT_EQ(run[1].volume, 60 + 60);
    EXPECT_EQ(run[1].open, 300);
    EXPECT_EQ(run[1].close, 559.5);
    const auto days = archive.Run(kDayInterval);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[1].volume, 120);
    EXPECT_EQ(days[1].open, 300);
  }
}
