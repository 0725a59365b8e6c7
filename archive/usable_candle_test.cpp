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
