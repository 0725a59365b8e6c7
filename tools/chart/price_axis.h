// The price scale of a chart: a range widened to round numbers and the ticks on it.
#pragma once

#include <string>
#include <vector>

struct PriceAxis {
  double low = 0;             // bottom of the scale, a multiple of step
  double high = 0;            // top of the scale, a multiple of step, above low
  double step = 0;            // 1, 2 or 5 times a power of ten
  std::vector<double> ticks;  // low, low + step, ..., high
  int decimals = 0;           // digits after the point that tell the ticks apart
};

// A scale covering [low, high] with about targetTicks steps. A flat range (low == high)
// is widened around its value so that the scale never has zero height.
PriceAxis MakePriceAxis(double low, double high, int targetTicks);

// value with the axis's decimals ("1234.5" for one decimal).
std::string PriceLabel(const PriceAxis& axis, double value);
