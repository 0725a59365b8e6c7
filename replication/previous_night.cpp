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

// The day buffer of the export file of exportDate, built as an add builds it: unusable
// minutes passed over, the window (when given) and the session start applied; its
// one-minute candles go to *built when given. Nothing when the file cannot be read.
std::optional<AggregationState> ExportDayBuffer(const std::filesystem::path& file,
                                                std::int32_t exportDate,
                                                const std::optional<MinuteWindow>& window,
                                                std::int32_t sessionStart,
                                                std::vector<Candle>* built = nullptr) {
  CMinArch records(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  try {
    if (!ReadCandleFile(file, records, storage)) return std::nullopt;
  } catch (const std::filesystem::filesystem_error&) {
    return std::nullopt;
  }
  std::vector<Candle> usable;
  for (const Candle& minute : storage) {
    if (IsUsableCandle(minute)) usable.push_back(minute);
  }
  WindowPart part{0, static_cast<int>(usable.size())};
  if (window) part = NarrowToWindow(usable.data(), part.count, window->timeBegin, window->timeEnd);
  // An add skips such an export: it gave the archive nothing.
  if (HoldsOnlyTheNextDate(usable.data() + part.first, part.count, exportDate)) return std::nullopt;
  MinuteBuildInput input;
  input.minutes = usable.data() + part.first;
  input.count = part.count;
  input.interval = kOneMinuteInterval;
  input.date = exportDate;
  input.sessionStart = sessionStart;
  AggregationState state;
  MinuteBuildResult result = BuildMinuteCandles(input, state);
  if (!result.ok || !result.anyTaken) return std::nullopt;
  if (built) *built = std::move(result.candles);
  return state;
}

// minutesDir and the CLASS/SECURITY/1.dat part of an export file's path.
std::pair<std::filesystem::path, std::filesystem::path> SplitExportPath(
    const std::filesystem::path& minuteFile) {
  const std::filesystem::path security = minuteFile.parent_path();
  const std::filesystem::path cls = security.parent_path();
  return {cls.parent_path().parent_path(),
          cls.filename() / security.filename() / minuteFile.filename()};
}

}  // namespace

std::vector<Candle> PreviousExportNightMinutes(const std::filesystem::path& minuteFile,
                                               std::int32_t date,
                                               const std::optional<MinuteWindow>& window,
                                               std::int32_t sessionStart) {
  const auto [minutesDir, relFile] = SplitExportPath(minuteFile);
  const std::filesystem::path previous = PreviousExport(minutesDir, relFile, date);
  if (previous.empty()) return {};
  const std::int32_t previousDate =
      std::stoi(support::NarrowPath(previous.parent_path().parent_path().parent_path().filename()));
  std::vector<Candle> minutes;
  const auto state = ExportDayBuffer(previous, previousDate, window, sessionStart, &minutes);
  if (!state || state->state != DayState::kSecondDay || state->day[1].date != date) return {};
  std::erase_if(minutes, [date](const Candle& c) { return c.date != date; });
  return minutes;
}

std::optional<Candle> PreviousExportNight(const std::filesystem::path& minuteFile,
                                          std::int32_t date,
                                          const std::optional<MinuteWindow>& window,
                                          std::int32_t sessionStart) {
  const std::vector<Candle> minutes =
      PreviousExportNightMinutes(minuteFile, date, window, sessionStart);
  if (minutes.empty()) return std::nullopt;
  Candle night = minutes.front();
  for (std::size_t k = 1; k < minutes.size(); ++k) MergeInto(night, minutes[k]);
  night.time = 0;
  return night;
}

std::optional<Candle> ExportOwnDay(const std::filesystem::path& minuteFile, std::int32_t date,
                                   std::int32_t after, const std::optional<MinuteWindow>& window,
                                   std::int32_t sessionStart) {
  const auto [minutesDir, relFile] = SplitExportPath(minuteFile);
  const std::filesystem::path file =
      minutesDir / support::PathFromNarrow(std::to_string(date)) / relFile;
  std::vector<Candle> minutes;
  const auto state = ExportDayBuffer(file, date, window, sessionStart, &minutes);
  if (!state) return std::nullopt;
  std::optional<Candle> day;
  for (const Candle& c : minutes) {
    if (c.date != date || c.time <= after) continue;
    if (day)
      MergeInto(*day, c);
    else
      day = c;
  }
  if (day) day->time = 0;
  return day;
}

std::vector<Candle> ExportOwnDayMinutes(const std::filesystem::path& minuteFile, std::int32_t date,
                                        const std::optional<MinuteWindow>& window,
                                        std::int32_t sessionStart) {
  const auto [minutesDir, relFile] = SplitExportPath(minuteFile);
  const std::filesystem::path file =
      minutesDir / support::PathFromNarrow(std::to_string(date)) / relFile;
  std::vector<Candle> minutes;
  if (!ExportDayBuffer(file, date, window, sessionStart, &minutes)) return {};
  std::erase_if(minutes, [date](const Candle& c) { return c.date != date; });
  return minutes;
}
