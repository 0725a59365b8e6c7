// Appending one day of minutes to one interval of a loaded instrument archive.
//
// Both appends work on target's run inside its instrument buffer (target.m_Instrument,
// kArchiveRecords records) with request.tailCount candles from the run's start to the end
// of the archive. On success target.m_Count is the new count (the caller stores it in the
// slot); new candles make room by moving later slots' runs, and an interval keeps its
// newest kMaxCandlesPerInterval candles. On failure the buffer and target are unchanged
// (the day buffer of state may have moved on).
#pragma once

#include "archive/aggregation_state.h"
#include "archive/min_arch.h"

// N-minute interval (target.m_Interval >= 1). Fails with
// "ERROR: Bad data in minutes!!!  Action interrupt!" for a second midnight passage, and
// with "Archive date is more recent" when no new minute is later than the last candle.
// The one-minute interval restarts the day buffer; while the day buffer is being filled
// the taken minutes (and the archive's candles of the same day) go into it.
bool AppendMinuteInterval(CMinArch& target, const ApplyRequest& request, AggregationState& state);

// Day, week or month interval. Changes nothing when the last minute-interval append took
// no minute. The day interval gets the day buffer's candle(s), replacing the last candle
// when it is of the same date; week and month candles (dated with the period's first day,
// the Sunday or the first of the month) are widened by the day candles of their period,
// and a day of the next period (after a midnight passage) opens the next one. When no
// minute interval filled the day buffer for this instrument, it is filled here from the
// minutes (as one-minute candles would be). Fails with "Archive date is more recent" when
// the last candle lies in a later period than the given date.
bool AppendCalendarInterval(CMinArch& target, const ApplyRequest& request, AggregationState& state);
