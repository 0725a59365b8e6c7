#include "archive/usable_candle.h"

#include <cmath>

#include "archive/calendar.h"

namespace {

bool IsZero(double value) {
  return std::fabs(value) <= kValueTolerance;
}

bool NotAbove(double a, double b) {
  return a <= b + kValueTolerance;
}

bool InRange(double price, const Candle& c) {
  return NotAbove(c.low, price) && NotAbove(price, c.high);
}

// Every condition of a usable candle at once: archives hold millions of them, and they are
// checked on every load, so the sound case is answered first. A candle that fails here
// goes through the checks below one by one to name its first fault.
bool ValuesSound(const Candle& c) {
  const bool finite = std::isfinite(c.volume) && std::isfinite(c.open) &&
                      std::isfinite(c.high) && std::isfinite(c.low) && std::isfinite(c.close);
  const bool pricesPositive = c.open > kValueTolerance && c.high > kValueTolerance &&
                              c.low > kValueTolerance && c.close > kValueTolerance;
  return finite && pricesPositive && c.volume >= -kValueTolerance && NotAbove(c.low, c.high) &&
         InRange(c.open, c) && InRange(c.close, c);
}

bool IsSound(const Candle& c) {
  return ValuesSound(c) && IsValidDate(c.date) && IsValidTimeOfDay(c.time);
}

}  // namespace

CandleFault FindCandleFault(const Candle& c) {
  if (IsSound(c)) return CandleFault::kNone;
  if (c.date == 0) return CandleFault::kNoDate;
  const double values[] = {c.volume, c.open, c.high, c.low, c.close};
  bool allZero = true;
  for (const double v : values) allZero = allZero && IsZero(v);
  if (allZero) return CandleFault::kAllZero;
  for (const double v : values)
    if (!std::isfinite(v)) return CandleFault::kNotFinite;
  if (!IsValidDate(c.date)) return CandleFault::kImpossibleDate;
  if (!IsValidTimeOfDay(c.time)) return CandleFault::kImpossibleTime;
  if (c.volume < -kValueTolerance) return CandleFault::kNegativeVolume;
  for (const double price : {c.open, c.high, c.low, c.close})
    if (price <= kValueTolerance) return CandleFault::kNonPositivePrice;
  if (!NotAbove(c.low, c.high)) return CandleFault::kLowAboveHigh;
  if (!InRange(c.open, c)) return CandleFault::kOpenOutsideRange;
  if (!InRange(c.close, c)) return CandleFault::kCloseOutsideRange;
  return CandleFault::kNone;
}

CandleFault CandleRunChecker::Find(const Candle& c) {
  if (ValuesSound(c) && ((haveSound_ && c.date == soundDate_) || IsValidDate(c.date)) &&
      ((haveSound_ && c.time == soundTime_) || IsValidTimeOfDay(c.time))) {
    haveSound_ = true;
    soundDate_ = c.date;
    soundTime_ = c.time;
    return CandleFault::kNone;
  }
  return FindCandleFault(c);
}

std::string_view CandleFaultText(CandleFault fault) {
  switch (fault) {
    case CandleFault::kNone:
      return {};
    case CandleFault::kNoDate:
      return "no date";
    case CandleFault::kAllZero:
      return "all values are zero";
    case CandleFault::kNotFinite:
      return "a value is not a finite number";
    case CandleFault::kImpossibleDate:
      return "the date is not a real date";
    case CandleFault::kImpossibleTime:
      return "the time is not a real time of day";
    case CandleFault::kNegativeVolume:
      return "the volume is negative";
    case CandleFault::kNonPositivePrice:
      return "a price is zero or negative";
    case CandleFault::kLowAboveHigh:
      return "the low is above the high";
    case CandleFault::kOpenOutsideRange:
      return "the open lies outside low to high";
    case CandleFault::kCloseOutsideRange:
      return "the close lies outside low to high";
  }
  return {};
}

std::string CandleFaultSuffix(CandleFault fault) {
  if (fault == CandleFault::kNone || fault == CandleFault::kNoDate ||
      fault == CandleFault::kAllZero)
    return {};
  return " (not a usable candle: " + std::string(CandleFaultText(fault)) + ")";
}
