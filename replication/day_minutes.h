// The minutes of one instrument's trading day, read from its minute export file and
// narrowed to the time window of its class.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/candle.h"
#include "archive/min_arch.h"

struct InstrumentWork;
struct RunSettings;

// Owns the records of one minute export file; minutes views the part that takes part
// (the whole file, or the part inside the class's time window). Movable, not copyable:
// minutes points into storage.
class DayMinutes {
 public:
  DayMinutes() = default;
  DayMinutes(const DayMinutes&) = delete;
  DayMinutes& operator=(const DayMinutes&) = delete;
  DayMinutes(DayMinutes&&) = default;
  DayMinutes& operator=(DayMinutes&&) = default;

  std::filesystem::path file;
  std::vector<Candle> storage;
  CMinArch minutes{kOneMinuteInterval, 0};
};

// The part of a day's minutes inside a time window, as an offset and a count.
struct WindowPart {
  int first = 0;
  int count = 0;
};

// Narrows count minutes to the window timeBegin .. timeEnd (HHMMSS):
// - minutes before timeBegin at the head are dropped (all of them when every minute lies
//   before it); R is the time of the last one dropped, or of the first minute;
// - when timeEnd is not 0, the longest run from the first kept minute whose times t are
//   not after the end E is kept: E is timeEnd, or timeEnd + 240000 when the window runs
//   past midnight (timeBegin > timeEnd); in such a window a time t below R belongs to the
//   next day and must satisfy t + 240000 <= E.
WindowPart NarrowToWindow(const Candle* minutes, int count, std::int32_t timeBegin,
                          std::int32_t timeEnd);

// Removes from minutes every record that is not a usable candle (usable_candle.h) and
// returns the number removed; the others keep their order. Each removed record is named
// in the errors log with the file's text, its index in the file, its date, time and the
// reason ("Minute record %d (date %d, time %06d) of %s is skipped: %s"); past
// kListedUnusableMinutes such lines, one more line counts the rest.
int DropUnusableMinutes(std::vector<Candle>& minutes, const std::string& fileText);

// Reads minutesDir_ / relPath / "1.dat" (logs at level 2 "Replicating file %s", then
// "Source file %s loaded", or "File %s was not properly replicated" and nothing). Minutes
// that are not usable candles are dropped (DropUnusableMinutes): they never reach an
// archive, and the rest of the day is used.
std::optional<DayMinutes> LoadDayMinutes(const RunSettings& settings,
                                         const std::filesystem::path& relPath);

// Applies the time window of work.curClass_ (when its class has a time-settings
// section; it sets work.timeBegin_ and timeEnd_). False when the window leaves no
// minute; a class without a window keeps every minute (true, even for an empty file).
bool ApplyTimeWindow(const RunSettings& settings, InstrumentWork& work, DayMinutes& day);

// True when there are minutes and every one is dated the calendar day after date: an
// export that holds only the part of its session after midnight. An export's minutes carry
// its own date until the time steps back past midnight, which such an export never does,
// so they would be stored a day early, beside the previous export's part after midnight
// of that very day.
bool HoldsOnlyTheNextDate(const Candle* minutes, int count, std::int32_t date);

// HoldsOnlyTheNextDate for the minutes that take part, with a line in the errors log
// naming the file when it holds: such a file is skipped, and the archive stays as it was.
bool SkipsExportOfTheNextDateOnly(const DayMinutes& day, std::int32_t date);
