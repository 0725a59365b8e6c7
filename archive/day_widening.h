// Completing the day buffer of an inserted day with the stored parts of its dates that
// the inserted export does not replace.
//
// An insert replaces, in every minute interval, the candles from its first new candle to
// its last one. The day candles of the dates it touches must keep what other exports (or
// an earlier, longer export of the same day) stored around that range: the candles of the
// first date before the range (the previous export's part after midnight, the morning of a
// partial export) and those of the last date after it (the next export's evening).
// They are read from the finest minute interval that still holds them: one that has not
// dropped a candle yet, or whose oldest candle is not after them. The one-minute interval
// of an archive more than a few days old no longer holds an older day; a coarser one does.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/aggregation_state.h"
#include "archive/candle.h"

// Widens day record 0 by the stored candles of the inserted day's first date before the
// range, and the record being filled (record 1 after a midnight passage) by those of its
// last date after the range. state holds the day buffer built from the inserted minutes
// and is not finished yet. When no minute interval holds the stored part after a midnight
// passage, the day interval's candle of the next date stands in for it (see the .cpp).
void WidenInsertedDay(const Candle* instrument, const ApplyRequest& request,
                      std::int32_t sessionStart, AggregationState& state);

// The day buffer of an insert into an archive without minute intervals (state not
// finished yet): record 0 is widened by the kept night (state.keptNight) of an add whose
// day no minute interval could tell, or else by the stored day of its date when that is
// the previous export's part after midnight alone; after a midnight passage, record 1
// takes the next date's stored day as WidenInsertedDay does when no minute interval holds
// it.
void WidenCalendarInsertedDay(const Candle* instrument, const ApplyRequest& request,
                              AggregationState& state);

// The stored minute candles of date, in time order, read as an insert reads them: from
// the finest minute interval that still holds the whole date, and from a finer one whose
// run reaches into the date for the minutes after its oldest candle. Empty when no minute
// interval holds the date. An add folds the stored part of its date from there: the
// interval it is applied to may have lost a part of it to an insert that replaced its
// whole slots.
std::vector<Candle> StoredCandlesOfDate(const Candle* instrument, std::int32_t date);
