#include "archive/archive_merge.h"

#include "archive/apply_minutes.h"
#include "archive/archive_layout.h"

MergeResult MergeDayIntoArchive(Candle* instrument, std::vector<CMinArch>& intervals,
                                const ApplyRequest& request, std::int32_t sessionStart,
                                AggregationState& state) {
  MergeResult result;
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    CMinArch& interval = intervals[i];
    const auto place = FindSlot(instrument, interval.m_Interval);
    bool merged = false;
    if (place) {
      PointAtSlot(interval, instrument, *place);
      interval.m_SessionStart = sessionStart;
      const ApplyRequest slotRequest{request.minutes, request.date, request.action,
                                     request.displayName, place->tailCount};
      merged = ApplyMinutes(interval, slotRequest, state);
      if (merged) SetSlot(instrument, place->slot, interval.m_Interval, interval.m_Count);
    }
    if (!merged) {
      result.ok = false;
      result.failedInterval = i;
      result.missingSlot = !place.has_value();
      return result;
    }
  }
  return result;
}
