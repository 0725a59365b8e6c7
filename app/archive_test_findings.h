// The findings of the archive test in one instrument archive file: its slot table and
// every candle record, as the lines the test writes to the main log.
#pragma once

#include <string>
#include <vector>

#include "archive/candle.h"

struct ArchiveFindings {
  std::vector<std::string> lines;  // in the order found
  bool corrupted = false;          // a slot count above 3000 or an error record
  bool zeroVolume = false;         // at least one zero-volume record
};

// records records of buffer (16 slots, then the candles). Slot check: every slot whose
// count (read as unsigned) is above 3000 gives "Archive file <path> contains errors:
// Invalid candle count <count> in interval '<key>'" (key: the interval entry at the slot's
// position, empty when there are fewer entries); then the candles are not checked.
// Candle check from record 16 on: a record that is not a usable candle (usable_candle.h:
// date 0, all values zero, a NaN or infinite value, an impossible date or time, a
// negative volume, a price not above zero, prices out of order) is an error record (one
// line, which names the reason unless it is date 0 or all zero, and the check stops); a
// usable record with volume zero is a zero-volume record (one line each, the check goes
// on). A record past the candles the slots count is named with an empty interval and
// its index past them. A file whose record count is not 16 + the sum of the slot counts
// (truncated, or too short for the slots) is then reported as "Invalid record count".
ArchiveFindings TestArchiveRecords(const std::string& pathText, const Candle* buffer, int records);
