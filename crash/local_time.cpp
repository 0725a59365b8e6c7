#include "crash/local_time.h"

namespace ostrel::crash {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kSecondsPerMinute = 60;
// Days from 0000-03-01 to 1970-01-01, and the 400-year cycle of the Gregorian calendar.
constexpr std::int64_t kEpochShiftDays = 719468;
constexpr std::int64_t kDaysPerEra = 146097;
constexpr std::int64_t kYearsPerEra = 400;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return (a >= 0 ? a : a - b + 1) / b;
}

}  // namespace

LocalTime CivilTime(std::int64_t localSeconds, int millisecond) {
  const std::int64_t days = FloorDiv(localSeconds, kSecondsPerDay);
  const std::int64_t secondOfDay = localSeconds - days * kSecondsPerDay;
  // Days to civil date, counting years from March so that the leap day ends the year.
  const std::int64_t z = days + kEpochShiftDays;
  const std::int64_t era = FloorDiv(z, kDaysPerEra);
  const std::int64_t dayOfEra = z - era * kDaysPerEra;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const std::int64_t year = yearOfEra + era * kYearsPerEra + (month <= 2 ? 1 : 0);
  LocalTime t;
  t.year = static_cast<int>(year);
  t.month = static_cast<int>(month);
  t.day = static_cast<int>(day);
  t.hour = static_cast<int>(secondOfDay / kSecondsPerHour);
  t.minute = static_cast<int>(secondOfDay % kSecondsPerHour / kSecondsPerMinute);
  t.second = static_cast<int>(secondOfDay % kSecondsPerMinute);
  t.millisecond = millisecond;
  return t;
}

}  // namespace ostrel::crash
