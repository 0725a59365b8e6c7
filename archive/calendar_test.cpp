#include "archive/calendar.h"

#include <gtest/gtest.h>

#include "archive/archive_format.h"

TEST(CalendarSlots, DividersOfAnHourKeepTheDecimalRule) {
  EXPECT_EQ(SlotStart(100900, 5), 100500);
  EXPECT_EQ(SlotStart(100400, 5), 100000);
  EXPECT_EQ(SlotStart(100430, 5), 100030);  // seconds are kept
  EXPECT_EQ(SlotStart(101400, 15), 100000);
  EXPECT_EQ(SlotStart(105900, 60), 100000);
  EXPECT_EQ(SlotStart(123456, 1), 123456);
  EXPECT_EQ(SlotIndex(100900, 5), 121);
}

TEST(CalendarSlots, MultiplesOfAnHourFloorTheHour) {
  EXPECT_EQ(SlotStart(100000, 120), 100000);
  EXPECT_EQ(SlotStart(110930, 120), 100000);
  EXPECT_EQ(SlotStart(235900, 180), 210000);
  EXPECT_EQ(SlotStart(5900, 120), 0);
}

TEST(CalendarSlots, SlotsOfADayOrMoreStartAtMidnight) {
  // Slot lengths whose hours overflow the HHMMSS arithmetic: every time of the day lies in
  // the slot that starts at midnight.
  for (std::int32_t n :
       {kMinutesPerDay, 2 * kMinutesPerDay, 60 * 429497, 60 * 35791394, 2147483647}) {
    for (std::int32_t t : {0, 95900, 100000, 235959})
      EXPECT_EQ(SlotStart(t, n), 0) << t << " " << n;
    EXPECT_EQ(SlotIndex(235959, n), 0) << n;
  }
}

TEST(CalendarSlots, OtherLengthsGiveRealSlotStarts) {
  EXPECT_EQ(SlotStart(100100, 7), 95500);  // 601 / 7 * 7 = 595 = 09:55
  EXPECT_EQ(SlotStart(100000, 90), 90000);
  EXPECT_EQ(SlotStart(103000, 90), 103000);
  EXPECT_EQ(SlotStart(105959, 90), 103000);
  EXPECT_NE(SlotStart(100000, 90), SlotStart(103000, 90));
  for (int m = 0; m < kMinutesPerDay; ++m) {
    const int t = (m / 60) * 10000 + (m % 60) * 100;
    for (int n : {7, 13, 45, 90, 100, 150})
      ASSERT_TRUE(IsValidTimeOfDay(SlotStart(t, n))) << t << " " << n;
  }
}

TEST(CalendarDates, WeeksStartOnSunday) {
  EXPECT_EQ(WeekDay(20240901), 0);  // a Sunday
  EXPECT_EQ(WeekStart(20240901), 20240901);
  EXPECT_EQ(WeekStart(20240902), 20240901);
  EXPECT_EQ(WeekStart(20240601), 20240526);  // Saturday the 1st: Sunday of May
  EXPECT_EQ(WeekStart(20240302), 20240225);  // across a leap February
  EXPECT_EQ(WeekStart(20230103), 20230101);
  EXPECT_EQ(WeekStart(20220101), 20211226);  // across a year
  EXPECT_EQ(MonthStart(20240229), 20240201);
  EXPECT_EQ(PeriodStart(20240229, kDayInterval), 20240229);
  EXPECT_TRUE(SamePeriod(20240607, 20240602, kWeekInterval));
  EXPECT_FALSE(SamePeriod(20240608, 20240609, kWeekInterval));
  EXPECT_FALSE(SamePeriod(20240515, 20240615, kDayInterval));
}

TEST(CalendarDates, NextDateAndValidity) {
  EXPECT_EQ(NextDate(20240228), 20240229);
  EXPECT_EQ(NextDate(20230228), 20230301);
  EXPECT_EQ(NextDate(20001231), 20010101);
  EXPECT_EQ(NextDate(21000228), 21000301);
  EXPECT_EQ(AddDays(20240301, -1), 20240229);
  EXPECT_TRUE(IsValidDate(20000229));
  EXPECT_FALSE(IsValidDate(19000229));
  EXPECT_FALSE(IsValidDate(20241301));
  EXPECT_FALSE(IsValidDate(20240100));
  EXPECT_FALSE(IsValidDate(0));
  EXPECT_TRUE(IsValidTimeOfDay(0));
  EXPECT_TRUE(IsValidTimeOfDay(235959));
  EXPECT_FALSE(IsValidTimeOfDay(240000));
  EXPECT_FALSE(IsValidTimeOfDay(96000));
  EXPECT_FALSE(IsValidTimeOfDay(95960));
  EXPECT_FALSE(IsValidTimeOfDay(-100));
}
