#include "archive/interval_names.h"

#include <cctype>
#include <cstdint>
#include <limits>

#include "archive/archive_format.h"

namespace {

constexpr std::string_view kDayName = "day";
constexpr std::string_view kWeekName = "week";
constexpr std::string_view kMonthName = "month";
constexpr std::string_view kMonthNameOld = "mounth";
constexpr int kDecimalBase = 10;

bool SameWordIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The code of a calendar word (compared by equal), or kNoInterval.
template <typename Equal>
std::int32_t CalendarCode(std::string_view name, Equal equal) {
  if (equal(name, kDayName)) return kDayInterval;
  if (equal(name, kWeekName)) return kWeekInterval;
  if (equal(name, kMonthNameOld) || equal(name, kMonthName)) return kMonthInterval;
  return kNoInterval;
}

}  // namespace

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value < kLimit) value = value * kDecimalBase + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

bool IsCalendarWord(std::string_view name) {
  return CalendarCode(name, SameWordIgnoringCase) != kNoInterval;
}

std::int32_t IntervalCodeFromName(std::string_view name) {
  const std::int32_t code = CalendarCode(name, SameWordIgnoringCase);
  return code != kNoInterval ? code : ParseDecimal(name);
}

std::int32_t IntervalCodeFromExactName(std::string_view name) {
  const std::int32_t code =
      CalendarCode(name, [](std::string_view a, std::string_view b) { return a == b; });
  return code != kNoInterval ? code : ParseDecimal(name);
}

std::string IntervalNameOfCode(std::int32_t code) {
  switch (code) {
    case kDayInterval:
      return std::string(kDayName);
    case kWeekInterval:
      return std::string(kWeekName);
    case kMonthInterval:
      return std::string(kMonthName);
    default:
      return std::to_string(code);
  }
}
