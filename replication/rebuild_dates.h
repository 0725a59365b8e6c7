// ProcessInstrumentDates: one instrument (curClass_, curSec_) through every export date of
// the minute export tree, oldest first: rebuilt into its archive ("rebuild"), or its
// minute export files rewritten under the change being applied ("changelot",
// "changeprice", minute_change.h).
#pragma once

#include <string>
#include <vector>

struct InstrumentWork;
struct RunSettings;

// Names of the directories of minutesDir_ that are real export dates (YYYYMMDD), oldest
// first. Other entries ("backup", "tmp", files) are passed over.
std::vector<std::string> ExportDates(const RunSettings& settings);

// A missing minutesDir_: "Can not find Minutes location" (errors log), nothing done.
// "rebuild": action_ is "add" while the dates are added and "rebuild" again afterwards;
// the archive ends byte for byte as if the dates had been added one by one, each date
// reported as ReplicateFile reports it, while it is loaded and saved only once when
// nothing unusual happens. date_ ends holding the last date visited.
// "changelot" / "changeprice": every date's "1.dat" of the instrument is rewritten
// crash-safely (a failed rewrite leaves the previous file intact: "Error updating archive
// %s"); a date without the file: "File %s was not properly recalculated", next date.
void ProcessInstrumentDates(const RunSettings& settings, InstrumentWork& work);
