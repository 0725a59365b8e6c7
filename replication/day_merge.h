// Merging one day of minutes into a loaded instrument archive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/min_arch.h"
#include "replication/archive_load.h"

struct RunSettings;

// What the merge of one day is.
struct DayInput {
  const CMinArch& minutes;     // the day's minutes (empty for "delete")
  std::int32_t date;           // YYYYMMDD
  std::string_view action;     // "add", "addlast", "insert", "delete"
  std::string minuteFileText;  // for messages; empty for "delete"
};

// How the day's minutes stand to what the archive already stores.
enum class StoredPart {
  kNothingNew,  // nothing later than the stored candles: the add says "Archive date is more recent"
  kHeldInPart,  // a part of the day is stored already: the day is replaced, as by "insert"
  kBeforeDay,   // everything stored comes before the minutes: they are appended
};

// For "add" and "addlast". The finest minute interval that can tell decides: its last
// candle lies before the first candle the minutes give (kBeforeDay), after it and before
// their last one (kHeldInPart: an export that grew after an earlier add), or not before
// their last one (kNothingNew). An interval whose last candle is the very slot the
// minutes start in cannot tell (a slot of a day or more holds the previous export's part
// after midnight as well as the start of this one), nor can the calendar intervals: then
// the day counts as held in part when the newest stored date is the given date and the
// minutes do not pass midnight; when they do, that stored part is taken as the previous
// export's part after midnight, which the day extends (kBeforeDay). A day held in part is
// replaced as a whole, so that no candle is doubled and no minute counted twice.
// The export file tells the rest: when the previous export's part after midnight (given
// by previousNight, asked only then) is all that the stored day holds, the minutes extend
// it (kBeforeDay).
StoredPart StoredPartOfDay(const Candle* instrument, const std::vector<CMinArch>& intervals,
                           const CMinArch& minutes, std::int32_t date, std::int32_t sessionStart,
                           const std::function<std::optional<Candle>()>& previousNight = {});

// Merges the day into every interval of settings.intervals_ (in that order), storing
// the new counts in the slots. An interval without a slot takes the first free slot
// (level-0 line); when all 16 are used it is reported with "Error replicating archive %s
// to %s" and skipped, the others are still merged. A failing interval is reported the
// same way and ends the merge; the intervals merged before it stay merged. The archive
// stays consistent in every case. Nothing is done for a damaged archive.
void MergeDay(const RunSettings& settings, LoadedArchive& archive, const DayInput& day);
