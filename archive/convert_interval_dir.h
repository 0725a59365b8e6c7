// Conversion of one instrument's legacy interval directory (one bare candle file per
// interval, "<archive>/<class>/<security>/<interval name>.dat") into its instrument
// archive file "<archive>/<class>/<security>.dat".
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/min_arch.h"

// - An existing archive file is never touched: "Archive %s already exist, reorganization
//   not produce." (level 0) and nothing is read or written.
// - Interval i of intervals (at most 16; the others are left with an error line) fills
//   slot i with its code and the candles of its file, found without regard to letter
//   case; a missing file gives an empty slot ("Archive %s is missing. ", level 2). A file
//   of more than 3000 candles keeps its newest 3000 (error line).
// - A file holding a record that is not a usable candle (usable_candle.h) among those it
//   would convert is reported, and nothing is written: the directory stays as it is.
// - The archive is written crash-safely ("Archive file %s saving" / "... saved", level 2;
//   "Error updating archive %s" on failure). The interval directory is removed only when
//   the write succeeded and every entry in it was converted; otherwise it stays and each
//   entry left is named in an error line.
void ConvertIntervalDirectory(const std::filesystem::path& archiveDir, const std::string& cls,
                              const std::string& sec, const std::vector<CMinArch>& intervals);
