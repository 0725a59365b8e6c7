// Merging one day of minutes into every interval of a loaded instrument archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/aggregation_state.h"
#include "archive/candle.h"
#include "archive/min_arch.h"

struct MergeResult {
  bool ok = true;
  // Index in the interval list of the interval that failed (when !ok).
  std::size_t failedInterval = 0;
  // True when that interval failed because the archive has no slot for its code.
  bool missingSlot = false;
};

// For each interval of the list in order: points it at the first slot of instrument that
// holds its code (setting its session start), calls ApplyMinutes with request (whose
// tailCount is replaced by the slot's), and stores the new count in the slot. Stops at
// the first failure: the intervals merged before it stay merged, and instrument is a
// consistent archive either way (slot counts match the runs). An interval whose code has
// no slot fails without touching the archive (no message; the caller reports it).
// state is the instrument's AggregationState (a fresh one per instrument and day).
MergeResult MergeDayIntoArchive(Candle* instrument, std::vector<CMinArch>& intervals,
                                const ApplyRequest& request, std::int32_t sessionStart,
                                AggregationState& state);
