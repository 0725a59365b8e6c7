#include "archive/minute_candles.h"

#include <algorithm>

#include "archive/calendar.h"
#include "support/log.h"

namespace {

constexpr char kBadDataMessage[] = "ERROR: Bad data in minutes!!!  Action interrupt!";

Candle StartCandle(const Candle& minute, std::int32_t date, std::int32_t interval) {
  Candle c = minute;
  c.date = date;
  c.time = SlotStart(minute.time, interval);
  return c;
}

// Minutes (counted with one added) that time lies before previous; 0 when it does not.
int BackwardJump(std::int32_t previous, std::int32_t time) {
  return time < previous ? MinuteOfDay(previous) - MinuteOfDay(time) + 1 : 0;
}

bool HeldAlready(const Candle& minute, const Candle* last) {
  return last != nullptr && minute.date <= last->date && minute.time <= last->time;
}

void UpdateDayBuffer(AggregationState& state, const Candle& current, const Candle& minute,
                     bool firstTaken, std::int32_t date) {
  if (!state.Filling()) return;
  auto begin = [&](Candle& record) {
    record.open = current.open;
    record.high = current.high;
    record.low = current.low;
  };
  if (state.state == DayState::kFilling && firstTaken) begin(state.day[0]);
  if (current.date != date && state.state == DayState::kFilling) {
    state.state = DayState::kSecondDay;
    begin(state.day[1]);
  }
  Candle& record = state.day[state.state == DayState::kSecondDay ? 1 : 0];
  record.high = std::max(record.high, minute.high);
  record.low = std::min(record.low, minute.low);
  record.volume += minute.volume;
  record.close = current.close;
  record.date = current.date;
  record.time = 0;
}

}  // namespace

bool MinuteTimesValid(const Candle* minutes, int count) {
  for (int i = 0; i < count; ++i) {
    if (!IsValidTimeOfDay(minutes[i].time)) {
      LogError("%s", kBadDataMessage);
      return false;
    }
  }
  return true;
}

MinuteBuildResult BuildMinuteCandles(const MinuteBuildInput& in, AggregationState& state) {
  MinuteBuildResult out;
  if (in.count > 0) {
    out.lastDate = in.minutes[in.count - 1].date;
    out.lastTime = in.minutes[in.count - 1].time;
  }
  const std::int32_t n = std::max<std::int32_t>(in.interval, 1);
  bool headSkipping = true;
  bool passedMidnight = false;
  std::int32_t candleDate = in.date;
  std::int32_t previousTime = 0;
  std::int32_t minuteBefore = 0;  // time of the last minute taken
  for (int i = 0; i < in.count; ++i) {
    const Candle& minute = in.minutes[i];
    if (headSkipping && minute.time < in.sessionStart) continue;
    headSkipping = false;
    if (!out.anyTaken && HeldAlready(minute, in.archiveLast)) continue;
    const bool first = !out.anyTaken;
    out.anyTaken = true;
    auto& candles = out.candles;
    // A slot that holds both sides of midnight (N of a day or just under it) would merge
    // the next date's minutes into the last candle of the given date: a step back of more
    // than kMaxMergedBackwardJump from the minute before is the passage, never merged.
    const bool passageInSlot =
        !first && BackwardJump(minuteBefore, minute.time) > kMaxMergedBackwardJump;
    minuteBefore = minute.time;
    if (!first && !passageInSlot &&
        SlotIndex(minute.time, n) == SlotIndex(candles.back().time, n)) {
      MergeInto(candles.back(), minute);
    } else {
      const int jump = passageInSlot ? kMaxMergedBackwardJump + 1
                       : first       ? 0
                                     : BackwardJump(previousTime, minute.time);
      if (jump >= 1 && jump <= kMaxMergedBackwardJump) {
        const int back = std::min<int>(jump / n, static_cast<int>(candles.size()) - 1);
        MergeInto(candles[candles.size() - 1 - back], minute);
      } else {
        if (jump > kMaxMergedBackwardJump) {
          if (passedMidnight) {
            LogError("%s", kBadDataMessage);
            out.ok = false;
            out.candles.clear();
            return out;
          }
          passedMidnight = true;
          candleDate = NextDate(in.date);
        }
        candles.push_back(StartCandle(minute, candleDate, n));
        previousTime = minute.time;
        out.lastDate = candles.back().date;
        out.lastTime = candles.back().time;
      }
    }
    UpdateDayBuffer(state, candles.back(), minute, first, in.date);
  }
  return out;
}
