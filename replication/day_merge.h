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
  kCannotTell,  // the stored day may or may not hold a part of them already: nothing is done
  kAloneOrAfterNight,  // it holds a part of them, with or without the previous night: nothing
                       // is done
};

// What StoredPartOfDay finds.
struct StoredPartAnswer {
  StoredPart part = StoredPart::kBeforeDay;
  // For a day held in part that no minute interval could tell: the one-minute candles of
  // the previous export's part after midnight that the stored day holds too, which the
  // replaced day keeps (empty when it holds none).
  std::vector<Candle> keptNight;
  // For a day held in part whose export had passed midnight when it was added first (or
  // whose date was deleted since): the next date's stored day is a first stretch of this
  // export's part after midnight, so it holds nothing of the next date's own export (which
  // may lie in the tree, never added).
  bool nextDayIsOwnNight = false;
};

// For "add" and "addlast". The finest minute interval that can tell decides: its last
// candle lies before the first candle the minutes give (kBeforeDay), after it and before
// their last one, or in their last one's slot holding less (kHeldInPart: an export that
// grew after an earlier add), or else kNothingNew. An interval whose last candle is the
// very slot the minutes start in cannot tell (a slot of a day or more holds the previous
// export's part after midnight as well as the start of this one), nor can a slot of a day
// or more that the minutes end in, nor the calendar intervals. A run whose newest candle
// lies in the minutes' part after midnight but holds nothing of their first date from
// their start on held a date deleted since: the add stores it as a first add would
// (kHeldInPart). When no minute interval can tell, the stored day holding
// the whole newest date decides:
// - it is the given date: when the previous export's part after midnight (read again from
//   the minute tree by previousNight, which may be unset) is all it holds, the minutes
//   extend it (kBeforeDay), unless a first stretch of them has that volume with prices
//   nearer the stored day's (an earlier part of this export while the previous one was
//   never added: replaced as below). Minutes that pass midnight also extend it unless
//   its volume is that of a first stretch of them (after that part, or alone; the
//   stretch's last minute may have been still forming when it was added: a part of its
//   volume, its close inside its final range), or unless
//   it holds minutes the tree no longer gives (the previous export as it was when added)
//   and may end with an earlier add of a first stretch of them: one of a smaller volume,
//   the stored close and a range inside the stored one. Nothing can tell that stretch
//   stored once from a night that ends by chance as it does (kCannotTell: the add is
//   refused, an insert of the date stores it as the tree gives it). A first stretch alone
//   that prices cannot tell from the previous export's part after midnight and a stretch
//   ending in a forming minute is refused too (kAloneOrAfterNight). Otherwise it holds an
//   earlier part of this export: kHeldInPart, keeping the previous export's part after
//   midnight when the stored day holds it too (volume that part's plus a first stretch's;
//   when volumes cannot tell, an open nearer that part's);
// - the minutes pass midnight into it: when its volume is that of a first stretch of their
//   part after midnight (or it is one ending in a forming minute), it is an earlier add of
//   this export (kHeldInPart, keeping the
//   previous export's part in the given date as above). When the given date holds
//   nothing of this export (a delete of it took its day and left its part after midnight
//   with the next date) and that day is a first stretch of the minutes' part after
//   midnight, or all of it, but no first stretch of the next date's own export
//   (nextOwnDay reads it from the minute tree; unset: cannot tell), the date is stored as
//   a first add would store it (kHeldInPart). Otherwise kNothingNew.
// A day held in part is replaced as a whole, so that no candle is doubled and no minute
// counted twice.
using OwnDayMinutes = std::function<std::vector<Candle>(std::int32_t date)>;
StoredPartAnswer StoredPartOfDay(const Candle* instrument, const std::vector<CMinArch>& intervals,
                                 const CMinArch& minutes, std::int32_t date,
                                 std::int32_t sessionStart,
                                 const std::function<std::vector<Candle>()>& previousNight = {},
                                 const OwnDayMinutes& nextOwnDay = {});

// Merges the day into every interval of settings.intervals_ (in that order), storing
// the new counts in the slots. An interval without a slot takes the first free slot
// (level-0 line); when all 16 are used it is reported with "Error replicating archive %s
// to %s" and skipped, the others are still merged. A failing interval is reported the
// same way and ends the merge; the intervals merged before it stay merged. The archive
// stays consistent in every case. Nothing is done for a damaged archive.
void MergeDay(const RunSettings& settings, LoadedArchive& archive, const DayInput& day);
