#include "replication/previous_night.h"

#include <string>
#include <system_error>
#include <vector>

#include "archive/aggregation_state.h"
#include "archive/candle_file.h"
#include "archive/minute_candles.h"
#include "archive/usable_candle.h"
#include "replication/day_minutes.h"
#include "replication/latest_date.h"
#include "support/platform.h"

namespace {

// The newest export date folder of minutesDir before date holding relFile; empty when none.
std::filesystem::path PreviousExport(const std::filesystem::path& minutesDir,
                                     const std::filesystem::path& relFile, std::int32_t date) {
  const std::string current = std::to_string(date);
  std::string best;
  std::error_code error;
  for (std::filesystem::directory_iterator it(minutesDir, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = support::NarrowPath(it->path().filename());
    if (!IsExportDateName(name) || name >= current || name <= best) continue;
    std::error_code missing;
    if (std::filesystem::is_regular_file(it->path() / relFile, missing)) best = name;
  }
  if (best.empty()) return {};
  return minutesDir / support::PathFromNarrow(best) / relFile;
}

}  // namespace

std::optional<Candle> PreviousExportNight(const std::filesystem::path& minuteFile,
                                          std::int32_t date,
                                          const std::optional<MinuteWindow>& window,
                                          std::int32_t sessionStart) {
  const std::filesystem::path security = minuteFile.parent_path();
  const std::filesystem::path cls = security.parent_path();
  const std::filesystem::path minutesDir = cls.parent_path().parent_path();
  const std::filesystem::path relFile =
      cls.filename() / security.filename() / minuteFile.filename();
  const std::filesystem::path previous = PreviousExport(minutesDir, relFile, date);
  if (previous.empty()) return std::nullopt;
  const std::int32_t previousDate =
      std::stoi(support::NarrowPath(previous.parent_path().parent_path().parent_path().filename()));
  CMinArch file(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  try {
    if (!ReadCandleFile(previous, file, storage)) return std::nullopt;
  } catch (const std::filesystem::filesystem_error&) {
    return std::nullopt;
  }
  std::vector<Candle> usable;
  for (const Candle& minute : storage) {
    if (IsUsableCandle(minute)) usable.push_back(minute);
  }
  WindowPart part{0, static_cast<int>(usable.size())};
  if (window) part = NarrowToWindow(usable.data(), part.count, window->timeBegin, window->timeEnd);
  MinuteBuildInput input;
  input.minutes = usable.data() + part.first;
  input.count = part.count;
  input.interval = kOneMinuteInterval;
  input.date = previousDate;
  input.sessionStart = sessionStart;
  AggregationState state;
  const MinuteBuildResult built = BuildMinuteCandles(input, state);
  if (!built.ok || state.state != DayState::kSecondDay || state.day[1].date != date)
    return std::nullopt;
  return state.day[1];
}
