// Calendar arithmetic on the decimal encodings (dates YYYYMMDD, times HHMMSS).
//
// Everything here is computed on the proleptic Gregorian calendar and never goes through
// the machine's time zone or daylight saving, so results are the same on every machine.
#pragma once

#include <cstdint>

struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

CivilDate SplitDate(std::int32_t date);
std::int32_t JoinDate(const CivilDate& date);

// A real date of years kMinYear to kMaxYear.
bool IsValidDate(std::int32_t date);
// A real time of day: 0 to 235959 with hours up to 23, minutes and seconds up to 59.
bool IsValidTimeOfDay(std::int32_t time);

int DaysInMonth(int year, int month);
// hour * 60 + minute.
int MinuteOfDay(std::int32_t time);

// Index of the N-minute slot holding time: minute of the day / N.
int SlotIndex(std::int32_t time, std::int32_t minutes);
// Time of the candle of the N-minute slot holding time (a real time of day):
// - N dividing 60: time less (minute of the day mod N) minutes, seconds kept;
// - N a multiple of 60: the hour floored to a multiple of N / 60 hours, as HH0000;
// - any other N: the minute of the day floored to a multiple of N, as HHMM00.
std::int32_t SlotStart(std::int32_t time, std::int32_t minutes);

// 0 = Sunday to 6 = Saturday, for a valid date.
int WeekDay(std::int32_t date);
// The date days after (before, when negative) a valid date.
std::int32_t AddDays(std::int32_t date, int days);
std::int32_t NextDate(std::int32_t date);
// The Sunday on or before date.
std::int32_t WeekStart(std::int32_t date);
// YYYYMM01.
std::int32_t MonthStart(std::int32_t date);
// Start of the calendar period of interval (kDayInterval: the date itself, kWeekInterval:
// its week's Sunday, kMonthInterval: the first of its month); the date for other codes.
std::int32_t PeriodStart(std::int32_t date, std::int32_t interval);
// True when a and b lie in the same period of interval (whole dates are compared).
bool SamePeriod(std::int32_t a, std::int32_t b, std::int32_t interval);
