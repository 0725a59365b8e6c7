// What a usable candle is: the one rule that decides both which minute records of an
// export may become candles and which stored candle records the archive loader, the
// archive test and the lot and price change accept. Whatever passes it can be stored,
// loaded and aggregated again; whatever fails it never reaches an archive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/candle.h"

// Why a record is not a usable candle, in the order the checks run.
enum class CandleFault {
  kNone,
  kNoDate,             // date 0
  kAllZero,            // volume and the four prices all zero
  kNotFinite,          // a NaN or infinite volume or price
  kImpossibleDate,     // not a real date of the years 1 to 9999
  kImpossibleTime,     // not a real time of day (HHMMSS)
  kNegativeVolume,     // volume below zero
  kNonPositivePrice,   // a price that is zero or below
  kLowAboveHigh,       // low above high
  kOpenOutsideRange,   // open outside low .. high
  kCloseOutsideRange,  // close outside low .. high
};

// The first fault of c; kNone for a usable candle. Zero and the comparisons of prices
// allow the value tolerance (kValueTolerance), so a volume of zero or a price that equals
// the high is fine; a candle with zero volume and real prices is usable.
CandleFault FindCandleFault(const Candle& c);

inline bool IsUsableCandle(const Candle& c) {
  return FindCandleFault(c) == CandleFault::kNone;
}

// FindCandleFault for the records of an archive one after another: the candles of an
// interval share their dates (and day, week and month candles their time), so a date or
// time that the previous sound candle proved real is not worked out again.
class CandleRunChecker {
 public:
  CandleFault Find(const Candle& c);

 private:
  bool haveSound_ = false;  // a sound candle was seen: its date and time are real
  std::int32_t soundDate_ = 0;
  std::int32_t soundTime_ = 0;
};

// Short text of a fault for messages ("low above high"); empty for kNone.
std::string_view CandleFaultText(CandleFault fault);

// What a damaged-record line appends after the record's values: " (not a usable candle:
// <text>)", or nothing for kNone and for the two faults that such lines have always meant
// (date 0, all values zero), whose lines keep their long-standing form.
std::string CandleFaultSuffix(CandleFault fault);
