// CMinArch: one interval's series of candles of one instrument (the one-minute candles,
// the day candles, ...), or the minutes of one minute export file (as interval 1).
//
// A CMinArch never owns its candles: m_Candles points into a buffer that belongs to whoever
// loaded it (the working buffer of an instrument archive, the storage vector given to
// ReadCandleFile), and that owner releases it after the CMinArch is done with it. Copies
// share the candles.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/candle.h"

class CMinArch {
 public:
  // From an interval code: the name is "day", "week", "month" or the decimal code.
  CMinArch(std::int32_t interval, std::int32_t maxCount);
  // From a name (a key of [Intervals]): the code by IntervalCodeFromName. A calendar word
  // keeps its spelling ("DAY", "MOUNTH"); the numbers -1, -2, -3 become "day", "week",
  // "month". Anything after the leading digits is kept in the name ("15min" is 15).
  CMinArch(std::string name, std::int32_t maxCount);
  CMinArch(const CMinArch&) = default;
  CMinArch& operator=(const CMinArch&) = default;
  virtual ~CMinArch() = default;

  // Interval name, used in messages and in the legacy file names (m_Name + ".dat").
  std::string m_Name;
  // HHMMSS; minutes before it at the head of a minute export are skipped; 0 = none.
  // Set by the loader, not by the constructors.
  std::int32_t m_SessionStart = 0;
  // Record 0 (slot 0) of the instrument archive buffer this series lies in; not owned.
  Candle* m_Instrument = nullptr;
  // Interval code: N >= 1 minutes, kDayInterval, kWeekInterval, kMonthInterval.
  std::int32_t m_Interval = 0;
  std::int32_t m_Count = 0;
  // The value configured for the interval; informational, the enforced limit is
  // kMaxCandlesPerInterval.
  std::int32_t m_MaxCount = 0;
  // First candle of the series (m_Count records in ascending date and time); not owned.
  Candle* m_Candles = nullptr;
};

// The run's interval list from the [Intervals] entries (key, value): the entries are taken
// in ascending byte order of their keys (they are sorted here again, stably, if they are
// not), entries whose key begins with "//" are left out, and each other entry gives
// CMinArch(key, ParseDecimal(value)). So numeric keys come first ("1" < "15" < "5" < "60")
// and the capitalised calendar names after them (DAY, MONTH, WEEK).
std::vector<CMinArch> BuildIntervals(
    const std::vector<std::pair<std::string, std::string>>& sortedEntries);
