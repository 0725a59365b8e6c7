// A laid-out chart as a self-contained SVG document (no scripts, fonts or links).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/candle.h"
#include "tools/chart/chart_layout.h"

// Markup of the chart: every candle is a group (class "candle") holding a title with its
// values, a wick line (class "wick") and a body rectangle (class "body up" or "body
// down"); its volume bar is a rectangle of class "volume". Price ticks are groups of class
// "price-tick" (grid line and label), date ticks groups of class "date-tick".
std::string SvgChart(const ChartLayout& layout, std::span<const Candle> candles,
                     const std::string& title);

// text with &, <, > and " written as entities.
std::string XmlEscaped(const std::string& text);
