// Interval names and codes. A name is "day", "week", "month" (also "mounth") or a decimal
// number of minutes; the numbers "-1", "-2" and "-3" name day, week and month as well.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The leading decimal integer of text: an optional sign, then digits up to the first
// non-digit; 0 when there is none. Leading blanks are skipped; values beyond the 32-bit
// range are clamped to it.
std::int32_t ParseDecimal(std::string_view text);

// Code of a name compared without regard to case: day -1, week -2, month and mounth -3,
// any other name its decimal value.
std::int32_t IntervalCodeFromName(std::string_view name);

// True when name is one of the calendar words (any case, equal length).
bool IsCalendarWord(std::string_view name);

// Code of a name compared exactly, case included ("day", "week", "month", "mounth"), any
// other name its decimal value. Used to find an interval inside an archive by name.
std::int32_t IntervalCodeFromExactName(std::string_view name);

// Name of a code: "day", "week", "month", otherwise the decimal text of the code.
std::string IntervalNameOfCode(std::int32_t code);
