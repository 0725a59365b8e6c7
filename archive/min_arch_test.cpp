#include "archive/min_arch.h"

#include <gtest/gtest.h>

#include "archive/interval_names.h"

TEST(IntervalNames, CalendarWordsInAnyCaseAndNegativeNumbers) {
  EXPECT_EQ(IntervalCodeFromName("day"), kDayInterval);
  EXPECT_EQ(IntervalCodeFromName("DAY"), kDayInterval);
  EXPECT_EQ(IntervalCodeFromName("WeEk"), kWeekInterval);
  for (const char* month : {"month", "MONTH", "Mounth", "mOuNtH", "-3"})
    EXPECT_EQ(IntervalCodeFromName(month), kMonthInterval) << month;
  EXPECT_EQ(IntervalCodeFromName("-1"), kDayInterval);
  EXPECT_EQ(IntervalCodeFromName("days"), 0);
  EXPECT_EQ(IntervalCodeFromName("15min"), 15);
  EXPECT_EQ(IntervalCodeFromName("+60"), 60);
  EXPECT_EQ(IntervalCodeFromName(""), 0);
  EXPECT_EQ(IntervalCodeFromName("99999999999"), 2147483647);
  EXPECT_EQ(IntervalNameOfCode(kMonthInterval), "month");
  EXPECT_EQ(IntervalNameOfCode(kWeekInterval), "week");
  EXPECT_EQ(IntervalNameOfCode(kDayInterval), "day");
  EXPECT_EQ(IntervalNameOfCode(-7), "-7");
  EXPECT_EQ(IntervalNameOfCode(60), "60");
}

TEST(IntervalNames, ExactNamesForLocating) {
  EXPECT_EQ(IntervalCodeFromExactName("day"), kDayInterval);
  EXPECT_EQ(IntervalCodeFromExactName("mounth"), kMonthInterval);
  EXPECT_EQ(IntervalCodeFromExactName("Day"), 0);
  EXPECT_EQ(IntervalCodeFromExactName("MONTH"), 0);
  EXPECT_EQ(IntervalCodeFromExactName("5"), 5);
}

TEST(CMinArchConstruction, FromCode) {
  const CMinArch month(kMonthInterval, 100);
  EXPECT_EQ(month.m_Name, "month");
  EXPECT_EQ(month.m_Interval, kMonthInterval);
  EXPECT_EQ(month.m_Count, 0);
  EXPECT_EQ(month.m_MaxCount, 100);
  EXPECT_EQ(month.m_Candles, nullptr);
  EXPECT_EQ(month.m_Instrument, nullptr);
  EXPECT_EQ(month.m_SessionStart, 0);
  EXPECT_EQ(CMinArch(-2, 0).m_Name, "week");
  EXPECT_EQ(CMinArch(-1, 0).m_Name, "day");
  EXPECT_EQ(CMinArch(15, 0).m_Name, "15");
  EXPECT_EQ(CMinArch(-9, 0).m_Name, "-9");
}

TEST(CMinArchConstruction, FromNameKeepsWordsAndRenamesNumbers) {
  const CMinArch day(std::string("DAY"), 3000);
  EXPECT_EQ(day.m_Interval, kDayInterval);
  EXPECT_EQ(day.m_Name, "DAY");
  EXPECT_EQ(day.m_MaxCount, 3000);
  const CMinArch minusOne(std::string("-1"), 0);
  EXPECT_EQ(minusOne.m_Interval, kDayInterval);
  EXPECT_EQ(minusOne.m_Name, "day");
  EXPECT_EQ(CMinArch(std::string("-3"), 0).m_Name, "month");
  const CMinArch mounth(std::string("mounth"), 0);
  EXPECT_EQ(mounth.m_Interval, kMonthInterval);
  EXPECT_EQ(mounth.m_Name, "mounth");
  const CMinArch fifteen(std::string("15min"), 0);
  EXPECT_EQ(fifteen.m_Interval, 15);
  EXPECT_EQ(fifteen.m_Name, "15min");
}

TEST(CMinArchConstruction, CopySharesCandlesAndDestroyLeavesThemAlone) {
  Candle candles[2] = {};
  candles[0].volume = 7;
  {
    CMinArch a(std::string("5"), 0);
    a.m_Candles = candles;
    a.m_Count = 2;
    const CMinArch b = a;
    EXPECT_EQ(b.m_Candles, candles);
    EXPECT_EQ(b.m_Count, 2);
    EXPECT_EQ(b.m_Name, "5");
  }
  EXPECT_EQ(candles[0].volume, 7);
}

TEST(IntervalList, SortedByKeyBytesWithoutCommentedKeys) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"5", "300"},  {"15", "200"},  {"60", "100"},  {"1", "3000"},
      {"//60", "1"}, {"WEEK", "50"}, {"DAY", "365"}, {"MONTH", "12"}};
  const auto list = BuildIntervals(entries);
  std::vector<std::string> names;
  std::vector<int> codes;
  for (const auto& a : list) {
    names.push_back(a.m_Name);
    codes.push_back(a.m_Interval);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"1", "15", "5", "60", "DAY", "MONTH", "WEEK"}));
  EXPECT_EQ(codes, (std::vector<int>{1, 15, 5, 60, -1, -3, -2}));
  EXPECT_EQ(list[0].m_MaxCount, 3000);
  EXPECT_EQ(list[5].m_MaxCount, 12);
}
