// Naming of dump files: "Dumps\YYYYMMDD\" below a base folder, the file "fullHHMMSS_mmm.dmp"
// for a non-zero dump type, else "miniHHMMSS_mmm.dmp", all from the local time.
#pragma once

#include <filesystem>
#include <string>

#include "crash/local_time.h"

namespace ostrel::crash {

// "20261207" for 7 December 2026.
std::string DumpFolderName(const LocalTime& time);

// "full093012_045.dmp" (type != 0) or "mini093012_045.dmp".
std::string DumpFileName(int dumpType, const LocalTime& time);

// base/Dumps/YYYYMMDD/<file name>, creating both folders (failures are ignored: the dump writer
// then fails to create the file and reports that).
std::filesystem::path MakeDumpPath(const std::filesystem::path& base, int dumpType,
                                   const LocalTime& time);

}  // namespace ostrel::crash
