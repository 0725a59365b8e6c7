#include "tools/chart/svg_chart.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "archive/archive_format.h"

namespace {

constexpr char kUpColour[] = "#1a9850";
constexpr char kDownColour[] = "#d73027";
constexpr char kGridColour[] = "#e0e0e0";
constexpr char kTextColour[] = "#333333";
constexpr double kVolumeOpacity = 0.5;
constexpr double kLabelGap = 6;
constexpr double kDateLine = 16;    // below the volume pane, first label line
constexpr double kSecondLine = 13;  // from the first label line to the second
constexpr double kTitleBaseline = 22;
constexpr double kThousand = 1000;
constexpr int kTextSize = 512;

// printf into a std::string.
template <typename... Args>
std::string Text(const char* format, Args... args) {
  char text[kTextSize];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// A volume in a few characters: 950, 12.5k, 3.40M.
std::string ShortVolume(double volume) {
  const char* units[] = {"", "k", "M", "G", "T"};
  int unit = 0;
  while (std::fabs(volume) >= kThousand && unit < 4) {
    volume /= kThousand;
    ++unit;
  }
  return unit == 0 ? Text("%.0f", volume) : Text("%.3g%s", volume, units[unit]);
}

std::string CandleTitle(const Candle& c) {
  return Text("%04d-%02d-%02d %02d:%02d  O %.10g  H %.10g  L %.10g  C %.10g  V %.10g",
              c.date / kDateYearFactor, c.date / kDateMonthFactor % kDateMonthFactor,
              c.date % kDateMonthFactor, c.time / kTimeHourFactor,
              c.time / kTimeMinuteFactor % kTimeMinuteFactor, c.open, c.high, c.low, c.close,
              c.volume);
}

void AddPriceTicks(std::string& svg, const ChartLayout& layout) {
  const ChartFrame& f = layout.frame;
  for (double tick : layout.axis.ticks) {
    const double y = PriceY(layout, tick);
    svg += Text(
        "<g class=\"price-tick\"><line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" "
        "stroke=\"%s\"/>",
        f.left, y, f.right, y, kGridColour);
    svg += Text("<text x=\"%.2f\" y=\"%.2f\" dominant-baseline=\"middle\">%s</text></g>\n",
                f.right + kLabelGap, y, PriceLabel(layout.axis, tick).c_str());
  }
}

void AddDateTicks(std::string& svg, const ChartLayout& layout) {
  const ChartFrame& f = layout.frame;
  for (const DateTick& tick : layout.dates) {
    svg += Text(
        "<g class=\"date-tick\"><line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" "
        "stroke=\"%s\"/>",
        tick.x, f.priceTop, tick.x, f.volumeBottom, kGridColour);
    svg += Text("<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"middle\">%s", tick.x,
                f.volumeBottom + kDateLine, tick.date.c_str());
    if (!tick.time.empty())
      svg +=
          Text("<tspan x=\"%.2f\" dy=\"%.2f\">%s</tspan>", tick.x, kSecondLine, tick.time.c_str());
    svg += "</text></g>\n";
  }
}

void AddCandle(std::string& svg, const CandleShape& s, const Candle& c) {
  const char* colour = s.up ? kUpColour : kDownColour;
  const char* direction = s.up ? "up" : "down";
  svg += "<g class=\"candle\"><title>" + XmlEscaped(CandleTitle(c)) + "</title>";
  svg += Text(
      "<line class=\"wick\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" "
      "stroke=\"%s\"/>",
      s.x, s.wickTop, s.x, s.wickBottom, colour);
  svg += Text(
      "<rect class=\"body %s\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" "
      "fill=\"%s\" stroke=\"%s\"/>",
      direction, s.bodyLeft, s.bodyTop, s.bodyWidth, s.bodyHeight, colour, colour);
  svg += Text(
      "<rect class=\"volume %s\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" "
      "fill=\"%s\" fill-opacity=\"%.2f\"/></g>\n",
      direction, s.bodyLeft, s.volumeTop, s.bodyWidth, s.volumeHeight, colour, kVolumeOpacity);
}

}  // namespace

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::string SvgChart(const ChartLayout& layout, std::span<const Candle> candles,
                     const std::string& title) {
  const ChartFrame& f = layout.frame;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += Text(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
      "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"11\" "
      "fill=\"%s\">\n",
      f.width, f.height, f.width, f.height, kTextColour);
  svg += Text("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", f.width, f.height);
  svg += "<title>" + XmlEscaped(title) + "</title>\n";
  svg += Text("<text x=\"%.2f\" y=\"%.2f\" font-size=\"14\">", f.left, kTitleBaseline) +
         XmlEscaped(title) + "</text>\n";
  AddPriceTicks(svg, layout);
  AddDateTicks(svg, layout);
  svg += Text(
      "<text class=\"volume-label\" x=\"%.2f\" y=\"%.2f\" dominant-baseline=\"hanging\">"
      "vol %s</text>\n",
      f.right + kLabelGap, f.volumeTop + kLabelGap, ShortVolume(layout.maxVolume).c_str());
  svg += Text("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\"/>\n", f.left,
              f.volumeBottom, f.right, f.volumeBottom, kTextColour);
  for (std::size_t i = 0; i < candles.size(); ++i) AddCandle(svg, layout.candles[i], candles[i]);
  svg += "</svg>\n";
  return svg;
}
