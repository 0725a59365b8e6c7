#include <algorithm>
#include <vector>

#include "archive/aggregation.h"
#include "archive/archive_layout.h"
#include "archive/calendar.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr char kMoreRecentMessage[] = "Archive date is more recent";

// When the minutes are known to be later than everything stored, the day interval's last
// candle, when it is of the given date, holds the part of the day stored before (the
// previous export's part after midnight): it opens the day.
void FoldStoredDay(const Candle* instrument, std::int32_t date, AggregationState& state) {
  if (!state.minutesAfterStored) return;
  const auto place = FindSlot(instrument, kDayInterval);
  if (!place || place->count == 0) return;
  const Candle& stored = instrument[place->firstRecord + place->count - 1];
  if (stored.date != date) return;
  Candle& record = state.day[0];
  record.open = stored.open;
  record.high = std::max(record.high, stored.high);
  record.low = std::min(record.low, stored.low);
  record.volume += stored.volume;
}

// With no minute interval configured, the day buffer comes from the minutes here, built
// as the one-minute candles would build it (no archive to skip against).
bool FillDayBuffer(const CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  state.ResetDay();
  MinuteBuildInput input;
  input.minutes = request.minutes.m_Candles;
  input.count = request.minutes.m_Count;
  input.interval = kOneMinuteInterval;
  input.date = request.date;
  input.sessionStart = target.m_SessionStart;
  const MinuteBuildResult built = BuildMinuteCandles(input, state);
  if (!built.ok) return false;
  state.KeepTaken();
  FoldStoredDay(target.m_Instrument, request.date, state);
  state.FinishDay();
  state.noNewMinutes = !built.anyTaken;
  state.dayBufferFilled = true;
  return true;
}

// Candles of the run up to its last dated one: trailing candles without a date are never
// written by this program, but a run must not end in one.
int DatedCount(const CMinArch& target) {
  int count = target.m_Count;
  while (count > 0 && target.m_Candles[count - 1].date == 0) --count;
  return count;
}

// Drops the candles after the first `dated` ones.
bool DropUndatedTail(CMinArch& target, int dated, int& tail) {
  if (dated == target.m_Count) return true;
  return ReplaceRun(target, dated, target.m_Count, {}, tail);
}

Candle DayCandle(const Candle& record) {
  Candle c = record;
  c.time = 0;
  return c;
}

// The candles that replace [first, count) of a week or month run: the period's candle
// widened by the minutes taken in this run (not by the day's earlier part, which it holds).
std::vector<Candle> PeriodCandles(const CMinArch& target, std::int32_t date, bool samePeriod,
                                  const AggregationState& state) {
  const std::int32_t interval = target.m_Interval;
  const bool twoDays = state.DayCandles() == 2;
  const bool secondPeriod = twoDays && !SamePeriod(state.day[1].date, date, interval);
  Candle work;
  if (samePeriod) {
    work = target.m_Candles[target.m_Count - 1];
    MergeInto(work, state.taken[0]);
  } else {
    work = DayCandle(state.taken[0]);
    work.date = PeriodStart(date, interval);
  }
  if (twoDays && !secondPeriod) MergeInto(work, state.taken[1]);
  std::vector<Candle> fresh{work};
  // The next period's candle carries its opening day's own date.
  if (secondPeriod) fresh.push_back(DayCandle(state.taken[1]));
  return fresh;
}

}  // namespace

bool AppendCalendarInterval(CMinArch& target, const ApplyRequest& request,
                            AggregationState& state) {
  if (!state.dayBufferFilled && !FillDayBuffer(target, request, state)) return false;
  if (state.noNewMinutes) return true;
  const std::int32_t interval = target.m_Interval;
  const std::int32_t date = request.date;
  // Refuse before anything moves: a failed call leaves the run as its slot count says.
  const int dated = DatedCount(target);
  if (dated > 0) {
    const std::int32_t lastDate = target.m_Candles[dated - 1].date;
    if (PeriodStart(lastDate, interval) > PeriodStart(date, interval)) {
      LogError("%s", kMoreRecentMessage);
      return false;
    }
  }
  int tail = request.tailCount;
  if (!DropUndatedTail(target, dated, tail)) return false;
  const bool samePeriod = dated > 0 && SamePeriod(target.m_Candles[dated - 1].date, date, interval);
  const int first = samePeriod ? target.m_Count - 1 : target.m_Count;
  std::vector<Candle> fresh;
  if (interval == kDayInterval) {
    for (int k = 0; k < state.DayCandles(); ++k) fresh.push_back(DayCandle(state.day[k]));
  } else {
    fresh = PeriodCandles(target, date, samePeriod, state);
  }
  return ReplaceRun(target, first, target.m_Count, fresh, tail);
}
