#include <algorithm>
#include <span>
#include <vector>

#include "archive/aggregation.h"
#include "archive/archive_layout.h"
#include "archive/day_widening.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr char kMoreRecentMessage[] = "Archive date is more recent";

// Folds the archive's candles of its last date (walking back while they are not older
// than the given date) into day record 0: the earlier part of a day added before. They
// are read from the finest minute interval that still holds them all (the target is the
// first minute interval applied, not always the finest one), else from the target.
void FoldHeldDay(const CMinArch& target, std::int32_t date, AggregationState& state) {
  std::span<const Candle> run(target.m_Candles, static_cast<std::size_t>(target.m_Count));
  if (target.m_Instrument != nullptr) {
    const std::span<const Candle> finest = FinestRunHoldingDate(target.m_Instrument, date);
    if (!finest.empty()) run = finest;
  }
  const int count = static_cast<int>(run.size());
  if (count == 0) return;
  const std::int32_t lastDate = run[count - 1].date;
  Candle& record = state.day[0];
  for (int k = count - 1; k >= 0 && run[k].date >= date; --k) {
    const Candle& held = run[k];
    if (held.date != lastDate) continue;
    record.high = std::max(record.high, held.high);
    record.low = record.low == 0 ? held.low : std::min(record.low, held.low);
    record.volume += held.volume;
    record.open = held.open;
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
