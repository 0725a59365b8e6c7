// Where everything of a candlestick chart goes: a price pane on top, a volume pane below
// it, the price labels on the right, the date labels under the volume pane. Coordinates
// are SVG user units (y grows downward).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/candle.h"
#include "tools/chart/price_axis.h"

struct ChartFrame {
  double width = 960;
  double height = 540;
  double left = 40;
  double right = 880;  // the price labels stand right of it
  double priceTop = 40;
  double priceBottom = 380;
  double volumeTop = 396;
  double volumeBottom = 486;
  double bodyShare = 0.7;    // of a candle's slot, the body's width
  double minBodyHeight = 1;  // a candle with open == close still shows a line
};

struct CandleShape {
  bool up = false;  // close at or above open
  double x = 0;     // centre of the slot: the wick's line
  double bodyLeft = 0;
  double bodyWidth = 0;
  double bodyTop = 0;
  double bodyHeight = 0;
  double wickTop = 0;     // at the high
  double wickBottom = 0;  // at the low
  double volumeTop = 0;
  double volumeHeight = 0;
};

struct DateTick {
  double x = 0;
  std::string date;  // "2024-01-30" ("2024-01" for months)
  std::string time;  // "10:05" for minute candles, else empty
};

struct ChartLayout {
  ChartFrame frame;
  PriceAxis axis;
  double maxVolume = 0;
  std::vector<CandleShape> candles;
  std::vector<DateTick> dates;
};

// The layout of candles (oldest first, at least one) of the interval code.
ChartLayout LayOutChart(std::span<const Candle> candles, std::int32_t code,
                        const ChartFrame& frame = {});

// The y of a price on the chart's scale.
double PriceY(const ChartLayout& layout, double price);
