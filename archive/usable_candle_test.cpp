#include "archive/usable_candle.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

Candle Sound() {
  Candle c;
  c.date = 20240131;
  c.time = 103900;
  c.open = 277.48;
  c.high = 277.62;
  c.low = 277.36;
  c.close = 277.59;
  c.volume = 338;
  return c;
}

CandleFault FaultOf(void (*spoil)(Candle&)) {
  Candle c = Sound();
  spoil(c);
  return FindCandleFault(c);
}

}  // namespace

TEST(UsableCandle, WhatRealExportsHoldIsUsable) {
  EXPECT_EQ(FindCandleFault(Sound()), CandleFault::kNone);
  // A minute without trades keeps its prices: zero volume is fine.
  EXPECT_EQ(FaultOf([](Candle& c) { c.volume = 0; }), CandleFault::kNone);
  // One price for the whole minute, seconds in the time, the first and last real dates.
  EXPECT_EQ(FaultOf([](Candle& c) { c.open = c.high = c.low = c.close = 5; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.time = 235959; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.time = 0; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.date = 10101; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.date = 99991231; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.date = 20240229; }), CandleFault::kNone);
  // Differences within the value tolerance are equality.
  EXPECT_EQ(FaultOf([](Candle& c) { c.open = c.high + 5e-9; }), CandleFault::kNone);
  EXPECT_EQ(FaultOf([](Candle& c) { c.volume = -5e-9; }), CandleFault::kNone);
}

TEST(UsableCandle, EachFaultIsFoundAndNamed) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    void (*spoil)(Candle&);
    CandleFault fault;
  };
  const Case cases[] = {
      {[](Candle& c) { c.date = 0; }, CandleFault::kNoDate},
      {[](Candle& c) { c.volume = c.open = c.high = c.low = c.close = 0; }, CandleFault::kAllZero},
      {[](Candle& c) { c.close = std::numeric_limits<double>::quiet_NaN(); },
       CandleFault::kNotFinite},
      {[](Candle& c) { c.volume = -std::numeric_limits<double>::infinity(); },
       CandleFault::kNotFinite},
      {[](Candle& c) { c.date = -2147483647; }, CandleFault::kImpossibleDate},
      {[](Candle& c) { c.date = INT_MAX; }, CandleFault::kImpossibleDate},
      {[](Candle& c) { c.date = 20230229; }, CandleFault::kImpossibleDate},
      {[](Candle& c) { c.date = 20241301; }, CandleFault::kImpossibleDate},
      {[](Candle& c) { c.date = 100000101; }, CandleFault::kImpossibleDate},
      {[](Candle& c) { c.time = 240000; }, CandleFault::kImpossibleTime},
      {[](Candle& c) { c.time = 106000; }, CandleFault::kImpossibleTime},
      {[](Candle& c) { c.time = -100; }, CandleFault::kImpossibleTime},
      {[](Candle& c) { c.volume = -1; }, CandleFault::kNegativeVolume},
      {[](Candle& c) { c.low = 0; }, CandleFault::kNonPositivePrice},
      {[](Candle& c) { c.open = c.high = c.low = c.close = -3; }, CandleFault::kNonPositivePrice},
      {[](Candle& c) { c.low = c.high + 0.01; }, CandleFault::kLowAboveHigh},
      {[](Candle& c) { c.open = c.high + 0.01; }, CandleFault::kOpenOutsideRange},
      {[](Candle& c) { c.close = c.low - 0.01; }, CandleFault::kCloseOutsideRange},
  };
  for (const Case& k : cases) {
    const CandleFault fault = FaultOf(k.spoil);
    EXPECT_EQ(fault, k.fault) << CandleFaultText(k.fault);
    EXPECT_FALSE(CandleFaultText(fault).empty());
  }
  // A NaN is never taken for a number that passes the comparisons.
  Candle c = Sound();
  c.low = nan;
  EXPECT_FALSE(IsUsableCandle(c));
  c = Sound();
  c.high = inf;
  EXPECT_FALSE(IsUsableCandle(c));
}

TEST(UsableCandle, DamageLinesKeepTheirOldFormForDateZeroAndAllZero) {
  EXPECT_EQ(CandleFaultSuffix(CandleFault::kNone), "");
  EXPECT_EQ(CandleFaultSuffix(CandleFault::kNoDate), "");
  EXPECT_EQ(CandleFaultSuffix(CandleFault::kAllZero), "");
  EXPECT_EQ(CandleFaultSuffix(CandleFault::kLowAboveHigh),
            " (not a usable candle: the low is above the high)");
}

namespace {

// The rules of a usable candle written out again, apart from the code under test.
bool RealDate(std::int32_t date) {
  if (date < 10101 || date > 99991231) return false;
  const int year = date / 10000, month = date / 100 % 100, day = date % 100;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month >= 1 && month <= 12 && day >= 1 && day <= lengths[month - 1];
}

bool RealTime(std::int32_t time) {
  return time >= 0 && time / 10000 < 24 && time / 100 % 100 < 60 && time % 100 < 60;
}

bool ModelUsable(const Candle& c) {
  const double tol = 1e-8;
  for (const double v : {c.volume, c.open, c.high, c.low, c.close})
    if (!std::isfinite(v)) return false;
  for (const double p : {c.open, c.high, c.low, c.close})
    if (!(p > tol)) return false;
  return RealDate(c.date) && RealTime(c.time) && c.volume >= -tol && c.low <= c.high + tol &&
         c.open >= c.low - tol && c.open <= c.high + tol && c.close >= c.low - tol &&
         c.close <= c.high + tol;
}

}  // namespace

// Random candles built from edge values: the verdict (usable or not) agrees with the rules
// written out apart, and a candle found faulty always names a fault. The same candles in a
// row through a run checker (which trusts a date or time the previous sound candle had;
// half of them repeat the previous date or time) get the same verdicts.
TEST(UsableCandle, RandomCandlesAgreeWithTheRulesWrittenApart) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {0,    5e-9, -5e-9, 1e-8,  2e-8, 1,   277.48, 277.48 + 5e-9,
                           -1,   nan,  inf,   -inf,  1e308, 277.62, 277.36, 277.59};
  const std::int32_t dates[] = {0,        10101,    99991231, 20240229, 20230229, 20241301,
                                20240100, 20240431, 20240430, -20240101, 100000101, 19000229,
                                20000229, 20240131, INT_MAX,  INT_MIN};
  const std::int32_t times[] = {0, 235959, 240000, 106000, 105960, -1, 103900, 95900};
  std::uint64_t state = 20240131;  // fixed seed: a failure names its round
  const auto next = [&state](std::size_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>((state >> 33) % n);
  };
  int usable = 0;
  CandleRunChecker checker;
  Candle c;
  for (int round = 0; round < 200000; ++round) {
    const std::int32_t previousDate = c.date, previousTime = c.time;
    c.volume = values[next(std::size(values))];
    c.open = values[next(std::size(values))];
    c.high = values[next(std::size(values))];
    c.low = values[next(std::size(values))];
    c.close = values[next(std::size(values))];
    c.date = next(2) == 0 ? previousDate : dates[next(std::size(dates))];
    c.time = next(2) == 0 ? previousTime : times[next(std::size(times))];
    const CandleFault fault = FindCandleFault(c);
    ASSERT_EQ(fault == CandleFault::kNone, ModelUsable(c)) << "round " << round;
    ASSERT_EQ(checker.Find(c), fault) << "round " << round;
    if (fault != CandleFault::kNone) {
      ASSERT_FALSE(CandleFaultText(fault).empty());
    }
    usable += fault == CandleFault::kNone;
  }
  EXPECT_GT(usable, 100);  // the draw reaches sound candles, not only faulty ones
}
