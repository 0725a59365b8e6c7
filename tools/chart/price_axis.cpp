#include "tools/chart/price_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kFlatRangeShare = 0.01;  // a flat range is widened by 1% of its value
constexpr double kRoundingSlack = 1e-9;   // in steps: a bound this close to a tick is on it
constexpr int kLabelSize = 64;

double NiceStep(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double share = rough / power;
  if (share <= 1) return power;
  if (share <= 2) return 2 * power;
  if (share <= 5) return 5 * power;
  return 10 * power;
}

}  // namespace

PriceAxis MakePriceAxis(double low, double high, int targetTicks) {
  if (high < low) std::swap(low, high);
  if (high == low) {
    const double spread = low == 0 ? 1 : std::fabs(low) * kFlatRangeShare;
    low -= spread;
    high += spread;
  }
  PriceAxis axis;
  axis.step = NiceStep((high - low) / std::max(targetTicks, 1));
  const double first = std::floor(low / axis.step + kRoundingSlack);
  const double last = std::ceil(high / axis.step - kRoundingSlack);
  axis.low = first * axis.step;
  axis.high = std::max(last, first + 1) * axis.step;
  for (double k = first; k <= last + kRoundingSlack || axis.ticks.size() < 2; ++k)
    axis.ticks.push_back(k * axis.step);
  axis.decimals =
      std::max(0, static_cast<int>(-std::floor(std::log10(axis.step) + kRoundingSlack)));
  return axis;
}

std::string PriceLabel(const PriceAxis& axis, double value) {
  char text[kLabelSize];
  // A tick computed as k * step can come out as -0.
  if (std::fabs(value) < axis.step / 2) value = 0;
  std::snprintf(text, sizeof text, "%.*f", axis.decimals, value);
  return text;
}
