// Named values of the replication operations: file names of the two trees and the
// texts that the filters compare.
#pragma once

#include <cstdint>

// The settings file, looked for in the program's directory.
inline constexpr char kSettingsFileName[] = "Barsync.ini";
// The minute export file inside a security directory of the minute export tree.
inline constexpr char kMinuteFileName[] = "1.dat";
// Extension of an instrument archive file (and of a legacy interval file).
inline constexpr char kArchiveExtension[] = ".dat";
// The value of a [Classes] key that admits every security of the class.
inline constexpr char kAllSecurities[] = "ALL";
// Characters that separate the security codes of a [Classes] value.
inline constexpr char kSecuritySeparators[] = ", ";
// Added to a time of day (HHMMSS) to compare times after midnight with those before it.
inline constexpr std::int32_t kNextDayTimeShift = 240000;
// Range bounds of the lot and price change before the dates are read.
inline constexpr std::int32_t kRangeLowerBoundStart = 0;
inline constexpr std::int32_t kRangeUpperBoundStart = 99999999;
// Number of digits of an export date directory name (YYYYMMDD).
inline constexpr int kExportDateDigits = 8;
// Unusable minutes of one minute export file that are named one by one in the errors
// log; the rest are counted in one more line.
inline constexpr int kListedUnusableMinutes = 20;
