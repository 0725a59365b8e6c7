#include "archive/calendar.h"

#include "archive/archive_format.h"

namespace {

constexpr int kFebruary = 2;
constexpr int kLongMonthDays = 31;
constexpr int kShortMonthDays = 30;
constexpr int kFebruaryDays = 28;
constexpr int kMaxSecond = kSecondsPerMinute - 1;
constexpr int kMaxMinute = kMinutesPerHour - 1;
constexpr int kMaxHour = kHoursPerDay - 1;

// Days since 1970-01-01 of a civil date, and back (the era-based conversion: exact for
// every Gregorian date, no time zone involved).
constexpr int kDaysPerEra = 146097;
constexpr int kYearsPerEra = 400;
constexpr int kDaysFromYear0ToEpoch = 719468;
constexpr int kMarchBasedMonthShift = 3;
constexpr int kMonthsFromMarchToDecember = 9;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

long DaysFromCivil(const CivilDate& d) {
  const int y = d.year - (d.month <= kFebruary ? 1 : 0);
  const int era = (y >= 0 ? y : y - (kYearsPerEra - 1)) / kYearsPerEra;
  const int yearOfEra = y - era * kYearsPerEra;
  const int mp = (d.month + kMonthsFromMarchToDecember) % kMonthsPerYear;
  const int dayOfYear = (153 * mp + 2) / 5 + d.day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<long>(era) * kDaysPerEra + dayOfEra - kDaysFromYear0ToEpoch;
}

CivilDate CivilFromDays(long days) {
  days += kDaysFromYear0ToEpoch;
  const long era = (days >= 0 ? days : days - (kDaysPerEra - 1)) / kDaysPerEra;
  const long dayOfEra = days - era * kDaysPerEra;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long mp = (5 * dayOfYear + 2) / 153;
  CivilDate d;
  d.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  d.month =
      static_cast<int>(mp < 10 ? mp + kMarchBasedMonthShift : mp - kMonthsFromMarchToDecember);
  d.year = static_cast<int>(yearOfEra + era * kYearsPerEra + (d.month <= kFebruary ? 1 : 0));
  return d;
}

// 1970-01-01 was a Thursday.
constexpr int kEpochWeekDay = 4;

}  // namespace

CivilDate SplitDate(std::int32_t date) {
  return {date / kDateYearFactor, (date / kDateMonthFactor) % kDateMonthFactor,
          date % kDateMonthFactor};
}

std::int32_t JoinDate(const CivilDate& d) {
  return d.year * kDateYearFactor + d.month * kDateMonthFactor + d.day;
}

int DaysInMonth(int year, int month) {
  switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
      return kShortMonthDays;
    case kFebruary:
      return IsLeapYear(year) ? kFebruaryDays + 1 : kFebruaryDays;
    default:
      return kLongMonthDays;
  }
}

bool IsValidDate(std::int32_t date) {
  const CivilDate d = SplitDate(date);
  return d.year >= kMinYear && d.year <= kMaxYear && d.month >= 1 && d.month <= kMonthsPerYear &&
         d.day >= 1 && d.day <= DaysInMonth(d.year, d.month);
}

bool IsValidTimeOfDay(std::int32_t time) {
  if (time < 0) return false;
  const int hour = time / kTimeHourFactor;
  const int minute = (time / kTimeMinuteFactor) % kTimeMinuteFactor;
  const int second = time % kTimeMinuteFactor;
  return hour <= kMaxHour && minute <= kMaxMinute && second <= kMaxSecond;
}

int MinuteOfDay(std::int32_t time) {
  return (time / kTimeHourFactor) * kMinutesPerHour +
         (time / kTimeMinuteFactor) % kTimeMinuteFactor;
}

int SlotIndex(std::int32_t time, std::int32_t minutes) {
  return minutes >= 1 ? MinuteOfDay(time) / minutes : 0;
}

std::int32_t SlotStart(std::int32_t time, std::int32_t minutes) {
  if (minutes < 1) return time;
  if (minutes <= kMinutesPerHour && kMinutesPerHour % minutes == 0)
    return time - (MinuteOfDay(time) % minutes) * kTimeMinuteFactor;
  // A slot of a whole day or more starts at midnight (and its size in HHMMSS would not fit).
  if (minutes >= kMinutesPerDay) return 0;
  if (minutes % kMinutesPerHour == 0) {
    const std::int32_t onTheHour =
        time - ((time / kTimeMinuteFactor) % kTimeMinuteFactor) * kTimeMinuteFactor;
    return onTheHour - onTheHour % ((minutes / kMinutesPerHour) * kTimeHourFactor);
  }
  const int start = MinuteOfDay(time) / minutes * minutes;
  return (start / kMinutesPerHour) * kTimeHourFactor +
         (start % kMinutesPerHour) * kTimeMinuteFactor;
}

int WeekDay(std::int32_t date) {
  const long days = DaysFromCivil(SplitDate(date));
  return static_cast<int>(((days + kEpochWeekDay) % kDaysPerWeek + kDaysPerWeek) % kDaysPerWeek);
}

std::int32_t AddDays(std::int32_t date, int days) {
  return JoinDate(CivilFromDays(DaysFromCivil(SplitDate(date)) + days));
}

std::int32_t NextDate(std::int32_t date) {
  return AddDays(date, 1);
}

std::int32_t WeekStart(std::int32_t date) {
  return AddDays(date, -WeekDay(date));
}

std::int32_t MonthStart(std::int32_t date) {
  return date - date % kDateMonthFactor + 1;
}

std::int32_t PeriodStart(std::int32_t date, std::int32_t interval) {
  switch (interval) {
    case kWeekInterval:
      return WeekStart(date);
    case kMonthInterval:
      return MonthStart(date);
    default:
      return date;
  }
}

bool SamePeriod(std::int32_t a, std::int32_t b, std::int32_t interval) {
  return PeriodStart(a, interval) == PeriodStart(b, interval);
}
