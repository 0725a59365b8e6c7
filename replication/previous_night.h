// The part after midnight that the export before a date stored for that date.
//
// With no minute interval that can tell (only calendar intervals, or only minute slots of
// a day or more), an archive whose newest day is the date being added cannot tell whether
// that day holds an earlier add of the same export or only the previous export's part
// after midnight. The minute export tree can: the previous export is read again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "archive/candle.h"

// The time window of a class (HHMMSS; timeEnd 0 = none), as the add applies it.
struct MinuteWindow {
  std::int32_t timeBegin = 0;
  std::int32_t timeEnd = 0;
};

// minuteFile is the export file of date (.../DATE/CLASS/SECURITY/1.dat). Finds the newest
// export date folder before date that holds the same CLASS/SECURITY/1.dat and returns the
// day candle of its minutes dated date (after its passage of midnight), built as an add
// builds it: unusable minutes passed over, the window (when given) and the session start
// applied. Nothing when there is no such export, it cannot be read, or it does not pass
// midnight into date. Writes no log line but the reader's for a damaged file.
std::optional<Candle> PreviousExportNight(const std::filesystem::path& minuteFile,
                                          std::int32_t date,
                                          const std::optional<MinuteWindow>& window,
                                          std::int32_t sessionStart);

// The one-minute candles of that part, in time order (the day candle above is their
// fold); empty where the day candle is nothing.
std::vector<Candle> PreviousExportNightMinutes(const std::filesystem::path& minuteFile,
                                               std::int32_t date,
                                               const std::optional<MinuteWindow>& window,
                                               std::int32_t sessionStart);

// The day candle of the export of date itself (of the same CLASS/SECURITY as minuteFile,
// any export date's file), up to its own passage of midnight, built as an add builds it,
// of its minutes later than after (HHMMSS; -1: all of them): an insert that passes
// midnight into date replaces what that export stored up to its own last minute there.
// Nothing when there is no such export or it gives no such minute.
std::optional<Candle> ExportOwnDay(const std::filesystem::path& minuteFile, std::int32_t date,
                                   std::int32_t after, const std::optional<MinuteWindow>& window,
                                   std::int32_t sessionStart);

// The one-minute candles of that day candle, in time order; empty where it is nothing.
std::vector<Candle> ExportOwnDayMinutes(const std::filesystem::path& minuteFile, std::int32_t date,
                                        const std::optional<MinuteWindow>& window,
                                        std::int32_t sessionStart);
