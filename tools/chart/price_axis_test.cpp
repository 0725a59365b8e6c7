#include "tools/chart/price_axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace {

// True when step is 1, 2 or 5 times a power of ten.
bool IsRoundStep(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double share = step / power;
  for (double round : {1.0, 2.0, 5.0, 10.0})
    if (std::fabs(share - round) < 1e-9) return true;
  return false;
}

TEST(PriceAxis, RandomRangesGetRoundTicksCoveringThemWithDistinctLabels) {
  const unsigned seed = 20261207;
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> exponent(-4, 7);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 2000; ++round) {
    const double scale = std::pow(10.0, exponent(rng));
    const double low = unit(rng) * scale * (unit(rng) < 0.1 ? -1 : 1);
    const double high = low + unit(rng) * scale * unit(rng);
    const PriceAxis axis = MakePriceAxis(low, high, 6);
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << " round " << round << " low " << low << " high " << high);
    ASSERT_TRUE(IsRoundStep(axis.step));
    EXPECT_LE(axis.low, low);
    EXPECT_GE(axis.high, high);
    EXPECT_LT(axis.low, axis.high);
    ASSERT_GE(axis.ticks.size(), 2u);
    EXPECT_LE(axis.ticks.size(), 13u);
    EXPECT_DOUBLE_EQ(axis.ticks.front(), axis.low);
    EXPECT_NEAR(axis.ticks.back(), axis.high, axis.step * 1e-6);
    // Less than one step of empty scale on either side.
    EXPECT_LT(low - axis.low, axis.step * (1 + 1e-9));
    EXPECT_LT(axis.high - high, axis.step * (1 + 1e-9));
    std::set<std::string> labels;
    for (double tick : axis.ticks) labels.insert(PriceLabel(axis, tick));
    EXPECT_EQ(labels.size(), axis.ticks.size());
  }
}

TEST(PriceAxis, FlatAndZeroRangesStillHaveHeight) {
  const PriceAxis flat = MakePriceAxis(250, 250, 6);
  EXPECT_LT(flat.low, 250);
  EXPECT_GT(flat.high, 250);
  const PriceAxis zero = MakePriceAxis(0, 0, 6);
  EXPECT_LT(zero.low, 0);
  EXPECT_GT(zero.high, 0);
  EXPECT_EQ(PriceLabel(zero, -0.0).find('-'), std::string::npos);
}

TEST(PriceAxis, LabelsShowTheDigitsOfTheStep) {
  const PriceAxis cents = MakePriceAxis(100.01, 100.09, 6);
  EXPECT_DOUBLE_EQ(cents.step, 0.02);
  EXPECT_EQ(PriceLabel(cents, 100.02), "100.02");
  const PriceAxis thousands = MakePriceAxis(1200, 9800, 6);
  EXPECT_DOUBLE_EQ(thousands.step, 2000);
  EXPECT_EQ(PriceLabel(thousands, 4000), "4000");
}

}  // namespace
