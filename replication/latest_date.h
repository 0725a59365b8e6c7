// The newest trading date of the minute export tree.
#pragma once

#include <string>
#include <string_view>

struct RunSettings;

// True when name is an export date: exactly eight digits that form a real date YYYYMMDD.
bool IsExportDateName(std::string_view name);

// Name of the date directory of settings.minutesDir_ with the latest date; only
// directories named as real dates count ("tmp", "20241399" and "20991231_old" never do).
// Empty when there is none. A missing minutes directory: "Can not find Minutes location"
// (errors log) and an empty result. Listing errors propagate as filesystem_error.
std::string FindLatestDate(const RunSettings& settings);
