#include "replication/day_merge.h"

#include "app/min_replicator.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/archive_merge.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr std::string_view kInsertAction = "insert";
constexpr std::string_view kDeleteAction = "delete";

bool Before(std::int32_t date, std::int32_t time, const Candle& c) {
  return date < c.date || (date == c.date && time < c.time);
}

std::string ErrorLine(const LoadedArchive& archive, const DayInput& day) {
  return "Error replicating archive " + day.minuteFileText + " to " + archive.text;
}

// Gives every interval without a slot the first free one; returns the intervals that
// have a slot now, reporting the others.
std::vector<CMinArch> IntervalsWithSlots(const std::vector<CMinArch>& intervals,
                                         LoadedArchive& archive, const DayInput& day) {
  std::vector<CMinArch> placed;
  Candle* instrument = archive.buffer.data();
  for (const CMinArch& interval : intervals) {
    if (!FindSlot(instrument, interval.m_Interval)) {
      const auto free = FindSlot(instrument, kNoInterval);
      if (!free || free->count != 0) {
        LogError("%s", ErrorLine(archive, day).c_str());
        continue;
      }
      SetSlot(instrument, free->slot, interval.m_Interval, 0);
      LogAt(0, "Archive file %s has no interval '%s': it is added in slot %d", archive.text.c_str(),
            interval.m_Name.c_str(), free->slot);
    }
    placed.push_back(interval);
  }
  return placed;
}

}  // namespace

bool DayHeldInPart(const Candle* instrument, const std::vector<CMinArch>& intervals,
                   const CMinArch& minutes, std::int32_t date, std::int32_t sessionStart) {
  bool minuteCandles = false;
  std::int32_t lastDay = 0;
  for (const CMinArch& interval : intervals) {
    const auto place = FindSlot(instrument, interval.m_Interval);
    if (!place || place->count == 0) continue;
    const Candle& last = instrument[place->firstRecord + place->count - 1];
    if (interval.m_Interval == kDayInterval) lastDay = last.date;
    if (interval.m_Interval < kOneMinuteInterval) continue;
    minuteCandles = true;
    if (last.date < date) continue;  // the day is not held at all
    MinuteBuildInput input;
    input.minutes = minutes.m_Candles;
    input.count = minutes.m_Count;
    input.interval = interval.m_Interval;
    input.date = date;
    input.sessionStart = sessionStart;
    AggregationState scratch;
    const MinuteBuildResult built = BuildMinuteCandles(input, scratch);
    if (!built.ok || built.candles.empty()) continue;
    if (!Before(last.date, last.time, built.candles.front()) &&
        Before(last.date, last.time, built.candles.back()))
      return true;
  }
  // Without minute candles only the day interval tells whether the day is held.
  return !minuteCandles && lastDay == date;
}

void MergeDay(const CMinReplicator& replicator, LoadedArchive& archive, const DayInput& day) {
  if (archive.damaged) return;
  std::vector<CMinArch> intervals = IntervalsWithSlots(replicator.intervals_, archive, day);
  const std::int32_t sessionStart =
      replicator.sessionStartHour_.empty() ? 0 : replicator.sessionStart_;
  std::string_view action = day.action;
  if (action != kInsertAction && action != kDeleteAction &&
      DayHeldInPart(archive.buffer.data(), intervals, day.minutes, day.date, sessionStart)) {
    LogAt(1, "Archive file %s already holds a part of %d: the day is replaced",
          archive.text.c_str(), day.date);
    action = kInsertAction;
  }
  AggregationState state;
  const ApplyRequest request{day.minutes, day.date, action, archive.text, 0};
  const MergeResult result =
      MergeDayIntoArchive(archive.buffer.data(), intervals, request, sessionStart, state);
  if (!result.ok) LogError("%s", ErrorLine(archive, day).c_str());
}
