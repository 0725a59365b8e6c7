// Merging one day of minutes into a loaded instrument archive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/min_arch.h"
#include "replication/archive_load.h"

class CMinReplicator;

// What the merge of one day is.
struct DayInput {
  const CMinArch& minutes;     // the day's minutes (empty for "delete")
  std::int32_t date;           // YYYYMMDD
  std::string_view action;     // "add", "addlast", "insert", "delete"
  std::string minuteFileText;  // for messages; empty for "delete"
};

// For "add" and "addlast": true when the archive already holds a part of the day that
// the minutes extend (an export that grew after an earlier add): some minute interval's
// last candle lies at or after the first candle the minutes give and before their last
// one. Such a day is replaced as a whole (as by "insert"), so that no candle is doubled
// and no minute counted twice. The same minutes added twice are not a part: the add then
// reports "Archive date is more recent" and changes nothing.
bool DayHeldInPart(const Candle* instrument, const std::vector<CMinArch>& intervals,
                   const CMinArch& minutes, std::int32_t date, std::int32_t sessionStart);

// Merges the day into every interval of replicator.intervals_ (in that order), storing
// the new counts in the slots. An interval without a slot takes the first free slot
// (level-0 line); when all 16 are used it is reported with "Error replicating archive %s
// to %s" and skipped, the others are still merged. A failing interval is reported the
// same way and ends the merge; the intervals merged before it stay merged. The archive
// stays consistent in every case. Nothing is done for a damaged archive.
void MergeDay(const CMinReplicator& replicator, LoadedArchive& archive, const DayInput& day);
