// Building N-minute candles from the minute records of one export file.
//
// Rules, minute by minute in file order:
// - head skipping: minutes before the session start at the head of the file are skipped;
// - with an archive's last candle given, minutes are skipped until the first one that is
//   not held already (its date after the last candle's date or its time after its time);
// - a step back of more than kMaxMergedBackwardJump minutes from the minute before is a
//   midnight passage, even within one slot: later candles are dated with the next
//   calendar date; a second passage is bad data;
// - a minute in the slot of the current candle is merged into it; a minute up to
//   kMaxMergedBackwardJump minutes (counted with one added) earlier than the last started
//   candle's minute is merged into the candle jump / N places back;
// - otherwise a new candle starts, timed with SlotStart.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/aggregation_state.h"
#include "archive/candle.h"

struct MinuteBuildInput {
  const Candle* minutes = nullptr;
  int count = 0;
  std::int32_t interval = 1;      // N >= 1
  std::int32_t date = 0;          // D: the date of the candles before a midnight passage
  std::int32_t sessionStart = 0;  // HHMMSS, 0 = none
  // The archive's last candle, whose minutes are skipped as held; null for none.
  const Candle* archiveLast = nullptr;
};

struct MinuteBuildResult {
  bool ok = true;  // false: bad data (the message is logged), nothing to use
  std::vector<Candle> candles;
  bool anyTaken = false;
  // Date and time of the last new candle; of the last minute record when none was made.
  std::int32_t lastDate = 0;
  std::int32_t lastTime = 0;
};

// True when every minute's time is a real time of day; otherwise logs
// "ERROR: Bad data in minutes!!!  Action interrupt!" and returns false.
bool MinuteTimesValid(const Candle* minutes, int count);

// Builds the candles. While state.Filling(), every taken minute also goes into the day
// buffer (record 0, or record 1 after the midnight passage, moving state to kSecondDay);
// the state is not finished here. A second midnight passage logs
// "ERROR: Bad data in minutes!!!  Action interrupt!" and gives ok = false.
MinuteBuildResult BuildMinuteCandles(const MinuteBuildInput& input, AggregationState& state);
