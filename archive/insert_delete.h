// Replacing ("insert") or removing ("delete") one trading day D inside an interval's run,
// in the middle of the history as well as at its end. Same inputs and contract as the
// appends of aggregation.h: target lies in its instrument buffer with request.tailCount
// candles from its first one to the end of the archive; on success target.m_Count is the
// new count and later slots' runs have moved (at most 3000 candles kept, the oldest
// dropped); the caller stores the count in the slot. state is the instrument's day state,
// shared by the calls for its intervals in merge order (minute intervals, day, then week
// and month).
#pragma once

#include "archive/aggregation_state.h"
#include "archive/min_arch.h"

// N-minute interval. Insert: the candles built from all the minutes (as by the append,
// without skipping held minutes) replace the stored candles from the first new (date,
// time) to the last (state.keptNight's minutes of the first one's slot lead it); the
// stored candles of the day outside that range widen the day buffer. A day between stored days replaces nothing; minutes that yield no candle change
// nothing (and leave the calendar intervals alone). Delete: the candles dated D go; when
// there are none, "  [date]    = %d  - archives %s don't contain this data(m_Interval = %i)"
// at level 1. A full run (3000) whose oldest candle lies after the range is left as it is.
// Every exit finishes the day buffer (one day or two), so no later interval counts the
// day twice. Fails on bad minutes ("ERROR: Bad data in minutes!!!  Action interrupt!").
bool InsertDeleteMinuteInterval(CMinArch& target, const ApplyRequest& request,
                                AggregationState& state);

// Day, week or month interval. Day: insert writes the day buffer's candle(s) in place of
// the stored candles of their dates; delete removes the candle of D (none: "  [date]    =
// %d  - archives %s%s.dat don't contain this data" at level 1, and week and month are then
// left alone too). Week and month: the candle of each period touched is recomputed from
// the day interval of the same archive (dated with the period's first day); a period
// whose days are all gone loses its candle. Without a day interval: "Archive '%s' is
// missing.  Creating a new one" with "day", failure, nothing changed.
bool InsertDeleteCalendarInterval(CMinArch& target, const ApplyRequest& request,
                                  AggregationState& state);
