#include "tools/chart/chart_layout.h"

#include <algorithm>
#include <cstdio>

#include "archive/archive_format.h"

namespace {

constexpr int kPriceTicks = 6;
constexpr int kDateTicks = 8;
constexpr int kTextSize = 32;

double PriceY(const ChartFrame& f, const PriceAxis& axis, double price) {
  return f.priceTop + (axis.high - price) / (axis.high - axis.low) * (f.priceBottom - f.priceTop);
}

CandleShape ShapeOf(const ChartLayout& layout, const Candle& c, double x, double slot) {
  const ChartFrame& f = layout.frame;
  CandleShape s;
  s.up = c.close >= c.open;
  s.x = x;
  s.bodyWidth = std::max(1.0, slot * f.bodyShare);
  s.bodyLeft = x - s.bodyWidth / 2;
  s.bodyTop = PriceY(f, layout.axis, std::max(c.open, c.close));
  s.bodyHeight =
      std::max(f.minBodyHeight, PriceY(f, layout.axis, std::min(c.open, c.close)) - s.bodyTop);
  s.wickTop = PriceY(f, layout.axis, c.high);
  s.wickBottom = PriceY(f, layout.axis, c.low);
  const double share = layout.maxVolume > 0 ? std::max(0.0, c.volume) / layout.maxVolume : 0;
  s.volumeHeight = share * (f.volumeBottom - f.volumeTop);
  s.volumeTop = f.volumeBottom - s.volumeHeight;
  return s;
}

DateTick TickOf(const Candle& c, std::int32_t code, double x) {
  char date[kTextSize];
  const int year = c.date / kDateYearFactor;
  const int month = c.date / kDateMonthFactor % kDateMonthFactor;
  const int day = c.date % kDateMonthFactor;
  if (code == kMonthInterval)
    std::snprintf(date, sizeof date, "%04d-%02d", year, month);
  else
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
  DateTick tick{x, date, {}};
  if (code > 0) {
    char time[kTextSize];
    std::snprintf(time, sizeof time, "%02d:%02d", c.time / kTimeHourFactor,
                  c.time / kTimeMinuteFactor % kTimeMinuteFactor);
    tick.time = time;
  }
  return tick;
}

}  // namespace

ChartLayout LayOutChart(std::span<const Candle> candles, std::int32_t code,
                        const ChartFrame& frame) {
  ChartLayout layout;
  layout.frame = frame;
  double low = candles.front().low;
  double high = candles.front().high;
  for (const Candle& c : candles) {
    low = std::min({low, c.low, c.open, c.close});
    high = std::max({high, c.high, c.open, c.close});
    layout.maxVolume = std::max(layout.maxVolume, c.volume);
  }
  layout.axis = MakePriceAxis(low, high, kPriceTicks);
  const int count = static_cast<int>(candles.size());
  const double slot = (frame.right - frame.left) / count;
  const int every = (count + kDateTicks - 1) / kDateTicks;
  for (int i = 0; i < count; ++i) {
    const double x = frame.left + slot * (i + 0.5);
    layout.candles.push_back(ShapeOf(layout, candles[i], x, slot));
    if (i % every == 0) layout.dates.push_back(TickOf(candles[i], code, x));
  }
  return layout;
}

double PriceY(const ChartLayout& layout, double price) {
  return PriceY(layout.frame, layout.axis, price);
}
