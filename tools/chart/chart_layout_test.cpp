#include "tools/chart/chart_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tools/chart/svg_chart.h"

namespace {

std::vector<Candle> RandomCandles(std::mt19937_64& rng, int count) {
  std::uniform_real_distribution<double> step(-3, 3);
  std::uniform_real_distribution<double> spread(0, 2);
  std::uniform_real_distribution<double> volume(0, 1e6);
  std::vector<Candle> candles;
  double price = 100;
  for (int i = 0; i < count; ++i) {
    Candle c;
    c.open = price;
    c.close = price = std::max(1.0, price + step(rng));
    c.high = std::max(c.open, c.close) + spread(rng);
    c.low = std::min(c.open, c.close) - spread(rng);
    c.volume = volume(rng);
    c.date = 20240101 + i % 28;
    c.time = 100000 + i % 60 * 100;
    candles.push_back(c);
  }
  return candles;
}

TEST(ChartLayout, RandomCandlesKeepTheirOrderAndProportions) {
  const unsigned seed = 7141;
  std::mt19937_64 rng(seed);
  for (int count : {1, 2, 7, 120, 3000}) {
    SCOPED_TRACE(testing::Message() << "seed " << seed << " count " << count);
    const std::vector<Candle> candles = RandomCandles(rng, count);
    const ChartLayout layout = LayOutChart(candles, 5);
    const ChartFrame& f = layout.frame;
    ASSERT_EQ(layout.candles.size(), candles.size());
    const double slot = (f.right - f.left) / count;
    double maxVolume = 0;
    for (const Candle& c : candles) maxVolume = std::max(maxVolume, c.volume);
    for (int i = 0; i < count; ++i) {
      const CandleShape& s = layout.candles[i];
      const Candle& c = candles[i];
      EXPECT_NEAR(s.x, f.left + slot * (i + 0.5), 1e-9);
      EXPECT_EQ(s.up, c.close >= c.open);
      // Inside the price pane, the body between the wick's ends.
      EXPECT_GE(s.wickTop, f.priceTop - 1e-9);
      EXPECT_LE(s.wickBottom, f.priceBottom + 1e-9);
      EXPECT_LE(s.wickTop, s.bodyTop + 1e-9);
      EXPECT_GE(s.wickBottom + f.minBodyHeight, s.bodyTop + s.bodyHeight - 1e-9);
      // Heights in proportion to the prices and the volume.
      const double perPrice = (f.priceBottom - f.priceTop) / (layout.axis.high - layout.axis.low);
      EXPECT_NEAR(s.wickBottom - s.wickTop, (c.high - c.low) * perPrice, 1e-6);
      EXPECT_NEAR(s.bodyHeight, std::max(f.minBodyHeight, std::abs(c.close - c.open) * perPrice),
                  1e-6);
      EXPECT_NEAR(s.volumeHeight, c.volume / maxVolume * (f.volumeBottom - f.volumeTop), 1e-6);
      EXPECT_NEAR(s.volumeTop + s.volumeHeight, f.volumeBottom, 1e-9);
    }
    EXPECT_LE(layout.dates.size(), 8u);
    EXPECT_FALSE(layout.dates.empty());
  }
}

TEST(ChartLayout, DateLabelsFollowTheInterval) {
  Candle c;
  c.open = c.high = c.low = c.close = 10;
  c.date = 20240229;
  c.time = 184500;
  EXPECT_EQ(LayOutChart({&c, 1}, 15).dates.front().date, "2024-02-29");
  EXPECT_EQ(LayOutChart({&c, 1}, 15).dates.front().time, "18:45");
  EXPECT_EQ(LayOutChart({&c, 1}, -1).dates.front().time, "");
  EXPECT_EQ(LayOutChart({&c, 1}, -3).dates.front().date, "2024-02");
}

TEST(SvgChart, TextIsEscaped) {
  EXPECT_EQ(XmlEscaped("a<b>&\"c\""), "a&lt;b&gt;&amp;&quot;c&quot;");
}

}  // namespace
