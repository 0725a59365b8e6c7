// The order in which a day is merged into the intervals of an archive.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/min_arch.h"

// True for the codes of real intervals: N >= 1 minutes, day, week, month.
bool IsIntervalCode(std::int32_t code);

// The intervals to merge, from the configured list (sorted by key): first every minute
// interval in list order, then the day interval, then week and month in list order, so
// that the day buffer is filled before the calendar intervals use it and the day interval
// is up to date before week and month are recomputed from it ("-3" sorts before "DAY").
// An interval whose code is 0 or below -3, or repeats the code of an earlier one ("MONTH"
// and "MOUNTH", "5" and "05"), is left out with one error line each.
std::vector<CMinArch> MergeOrder(const std::vector<CMinArch>& configured);
