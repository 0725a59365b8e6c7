#include "archive/apply_minutes.h"

#include <string_view>

#include "archive/aggregation.h"
#include "archive/archive_layout.h"
#include "archive/calendar.h"
#include "archive/insert_delete.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr std::string_view kInsertAction = "insert";
constexpr std::string_view kDeleteAction = "delete";

bool IsCalendarInterval(std::int32_t code) {
  return code == kDayInterval || code == kWeekInterval || code == kMonthInterval;
}

// Inputs that would make the aggregation read or write outside its buffers.
bool RequestUsable(const CMinArch& target, const ApplyRequest& request) {
  const CMinArch& minutes = request.minutes;
  if (minutes.m_Count < 0 || (minutes.m_Count > 0 && minutes.m_Candles == nullptr)) return false;
  if (target.m_Interval < 1 && !IsCalendarInterval(target.m_Interval)) return false;
  return RunFitsBuffer(target, request.tailCount);
}

}  // namespace

bool ApplyMinutes(CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  const bool editing = request.action == kInsertAction || request.action == kDeleteAction;
  if (request.minutes.m_Count == 0 && request.action != kDeleteAction) return true;
  if (!RequestUsable(target, request)) {
    LogError("Interval %s cannot be merged: its archive run is not within its buffer",
             target.m_Name.c_str());
    return false;
  }
  if (!IsValidDate(request.date)) {
    LogError("Invalid date %d", request.date);
    return false;
  }
  if (request.action != kDeleteAction &&
      !MinuteTimesValid(request.minutes.m_Candles, request.minutes.m_Count))
    return false;
  if (target.m_Interval >= kOneMinuteInterval) {
    return editing ? InsertDeleteMinuteInterval(target, request, state)
                   : AppendMinuteInterval(target, request, state);
  }
  return editing ? InsertDeleteCalendarInterval(target, request, state)
                 : AppendCalendarInterval(target, request, state);
}
