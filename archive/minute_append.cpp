#include <algorithm>
#include <vector>

#include "archive/aggregation.h"
#include "archive/archive_layout.h"
#include "archive/day_widening.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr char kMoreRecentMessage[] = "Archive date is more recent";

// Folds the archive's candles of its last date, when it is not before the given date, into
// day record 0: the earlier part of a day added before. They are read from the finest
// minute intervals that still hold them (the target is the first minute interval applied,
// not always the finest one, and may have lost a part to an insert), else from the target.
void FoldHeldDay(const CMinArch& target, std::int32_t date, AggregationState& state) {
  if (target.m_Count == 0) return;
  const std::int32_t lastDate = target.m_Candles[target.m_Count - 1].date;
  if (lastDate < date) return;
  std::vector<Candle> held;
  if (target.m_Instrument != nullptr) held = StoredCandlesOfDate(target.m_Instrument, lastDate);
  if (held.empty()) {
    for (int k = 0; k < target.m_Count; ++k) {
      if (target.m_Candles[k].date == lastDate) held.push_back(target.m_Candles[k]);
    }
  }
  Candle& record = state.day[0];
  for (auto it = held.rbegin(); it != held.rend(); ++it) {
    record.high = std::max(record.high, it->high);
    record.low = record.low == 0 ? it->low : std::min(record.low, it->low);
    record.volume += it->volume;
    record.open = it->open;
    record.date = date;
  }
}

bool IsLater(std::int32_t date, std::int32_t time, const Candle& than) {
  return date > than.date || (date == than.date && time > than.time);
}

}  // namespace

bool AppendMinuteInterval(CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  if (target.m_Interval == kOneMinuteInterval) state.ResetDay();
  state.noNewMinutes = true;
  const Candle* last = target.m_Count > 0 ? &target.m_Candles[target.m_Count - 1] : nullptr;

  MinuteBuildInput input;
  input.minutes = request.minutes.m_Candles;
  input.count = request.minutes.m_Count;
  input.interval = target.m_Interval;
  input.date = request.date;
  input.sessionStart = target.m_SessionStart;
  input.archiveLast = last;
  const bool filling = state.Filling();
  MinuteBuildResult built = BuildMinuteCandles(input, state);
  if (!built.ok) return false;
  state.noNewMinutes = !built.anyTaken;
  if (filling) {
    state.KeepTaken();
    FoldHeldDay(target, request.date, state);
    state.FinishDay();
    state.dayBufferFilled = true;
  }
  std::vector<Candle>& fresh = built.candles;
  // The first new candle may fall in the slot of the archive's last one: a slot of a day
  // or more holds the previous export's part after midnight and the start of this one.
  // When the minutes are known to be later than everything stored, they widen it.
  const bool widensLast = state.minutesAfterStored && last != nullptr && !fresh.empty() &&
                          fresh.front().date == last->date && fresh.front().time == last->time;
  // Every other new candle must follow the archive's last one: a minute dated after it
  // while timed before it would misplace it.
  if (last != nullptr && !widensLast &&
      (!IsLater(built.lastDate, built.lastTime, *last) ||
       (!fresh.empty() && !IsLater(fresh.front().date, fresh.front().time, *last)))) {
    LogError("%s", kMoreRecentMessage);
    return false;
  }
  if (widensLast) {
    MergeInto(target.m_Candles[target.m_Count - 1], fresh.front());
    fresh.erase(fresh.begin());
  }
  int tail = request.tailCount;
  return ReplaceRun(target, target.m_Count, target.m_Count, fresh, tail);
}
