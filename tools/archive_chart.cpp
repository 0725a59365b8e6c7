// archive_chart: draws the last candles of one interval of an instrument archive file as
// a self-contained SVG candlestick chart (wicks, bodies coloured by direction, volume
// pane, price and date axes), for people to look at in a browser.
//
//   archive_chart FILE INTERVAL [--last N] [-o OUT.svg]
//
// INTERVAL is a name as in the settings ("5", "60", "day", "week", "month") or a code
// ("-1"). N defaults to 120. Without -o the SVG goes to standard output. Exit code 0, or
// 1 with a message on standard error (usage, unreadable or unsound file, no such
// interval, no candles, output not writable).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/interval_names.h"
#include "tools/chart/chart_layout.h"
#include "tools/chart/svg_chart.h"

namespace {

constexpr int kFailed = 1;
constexpr int kDefaultLast = 120;

struct Options {
  std::filesystem::path file;
  std::string interval;
  int last = kDefaultLast;
  std::optional<std::filesystem::path> out;
};

int Usage() {
  std::fprintf(stderr, "usage: archive_chart FILE INTERVAL [--last N] [-o OUT.svg]\n");
  return kFailed;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--last") == 0 && hasValue) {
      const std::string value = argv[++i];
      if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      options.last = ParseDecimal(value);
      if (options.last < 1) return std::nullopt;
    } else if (std::strcmp(argv[i], "-o") == 0 && hasValue) {
      options.out = argv[++i];
    } else {
      plain.emplace_back(argv[i]);
    }
  }
  if (plain.size() != 2) return std::nullopt;
  options.file = plain[0];
  options.interval = plain[1];
  return options;
}

// The candles of the interval, or nothing after a message.
std::optional<std::vector<Candle>> IntervalCandles(const Options& options) {
  const std::string file = options.file.string();
  std::vector<Candle> buffer = NewArchiveBuffer();
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  if (!ReadCandleFile(options.file, whole, kArchiveRecords)) {
    std::fprintf(stderr, "%s cannot be read\n", file.c_str());
    return std::nullopt;
  }
  if (whole.m_Count < kSlotCount || !SlotCountsValid(buffer.data()) ||
      whole.m_Count != ArchiveRecords(buffer.data())) {
    std::fprintf(stderr, "%s is not a sound archive file\n", file.c_str());
    return std::nullopt;
  }
  const auto place = FindSlot(buffer.data(), IntervalCodeFromName(options.interval));
  if (!place) {
    std::fprintf(stderr, "%s holds no interval '%s'\n", file.c_str(), options.interval.c_str());
    return std::nullopt;
  }
  if (place->count == 0) {
    std::fprintf(stderr, "%s holds no candles of interval '%s'\n", file.c_str(),
                 options.interval.c_str());
    return std::nullopt;
  }
  const int shown = std::min(place->count, options.last);
  const Candle* end = buffer.data() + place->firstRecord + place->count;
  return std::vector<Candle>(end - shown, end);
}

bool WriteOut(const Options& options, const std::string& svg) {
  if (!options.out) return std::fwrite(svg.data(), 1, svg.size(), stdout) == svg.size();
  std::ofstream out(*options.out, std::ios::binary | std::ios::trunc);
  out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "%s cannot be written\n", options.out->string().c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) return Usage();
  const std::optional<std::vector<Candle>> candles = IntervalCandles(*options);
  if (!candles) return kFailed;
  const std::int32_t code = IntervalCodeFromName(options->interval);
  // "TQBR/SBER.dat": the class folder tells shares of the same code apart.
  const std::filesystem::path shown =
      options->file.parent_path().filename() / options->file.filename();
  const std::string title = shown.generic_string() + "  " + IntervalNameOfCode(code) + ", last " +
                            std::to_string(candles->size()) + " candles";
  const ChartLayout layout = LayOutChart(*candles, code);
  return WriteOut(*options, SvgChart(layout, *candles, title)) ? 0 : kFailed;
}
