#include "archive/min_arch.h"

#include <algorithm>
#include <string_view>

#include "archive/interval_names.h"

namespace {
constexpr std::string_view kCommentedKey = "//";
}

CMinArch::CMinArch(std::int32_t interval, std::int32_t maxCount)
    : m_Name(IntervalNameOfCode(interval)), m_Interval(interval), m_MaxCount(maxCount) {}

CMinArch::CMinArch(std::string name, std::int32_t maxCount)
    : m_Name(std::move(name)), m_Interval(IntervalCodeFromName(m_Name)), m_MaxCount(maxCount) {
  const bool calendarCode =
      m_Interval == kDayInterval || m_Interval == kWeekInterval || m_Interval == kMonthInterval;
  if (calendarCode && !IsCalendarWord(m_Name)) m_Name = IntervalNameOfCode(m_Interval);
}

std::vector<CMinArch> BuildIntervals(
    const std::vector<std::pair<std::string, std::string>>& sortedEntries) {
  auto entries = sortedEntries;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<CMinArch> intervals;
  for (const auto& [key, value] : entries) {
    if (std::string_view(key).starts_with(kCommentedKey)) continue;
    intervals.emplace_back(key, ParseDecimal(value));
  }
  return intervals;
}
