// The checks of a loaded instrument archive and the level-0 lines that report damage.
#pragma once

#include <cstdint>
#include <string>

#include "archive/candle.h"

// The first problem of an archive of records records in buffer (slot counts, record
// count, candle records that are not usable candles, usable_candle.h), as the text that
// follows "contains errors: "; empty when the archive is sound. A record line names the
// reason unless the record has date 0 or all values zero. slotName(buffer, i) names the interval of slot i for the slot-count
// line. Slot-count and record-count problems end with the hint to run the test action.
std::string FindArchiveDamage(const Candle* buffer, int records,
                              std::string (*slotName)(const Candle* buffer, int slot));

// "Archive file <path> contains errors: <damage>" as one line at level 0; the composed
// text is an argument of "%s", never a format.
void ReportDamagedArchive(const std::string& pathText, const std::string& damage);
