#include "replication/day_merge.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/archive_merge.h"
#include "archive/minute_candles.h"
#include "replication/instrument_work.h"
#include "replication/previous_night.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr std::string_view kInsertAction = "insert";
constexpr std::string_view kDeleteAction = "delete";

bool Before(std::int32_t date, std::int32_t time, const Candle& c) {
  return date < c.date || (date == c.date && time < c.time);
}

std::string ErrorLine(const LoadedArchive& archive, const DayInput& day) {
  return "Error replicating archive " + day.minuteFileText + " to " + archive.text;
}

// Gives every interval without a slot the first free one; returns the intervals that
// have a slot now, reporting the others.
std::vector<CMinArch> IntervalsWithSlots(const std::vector<CMinArch>& intervals,
                                         LoadedArchive& archive, const DayInput& day) {
  std::vector<CMinArch> placed;
  Candle* instrument = archive.buffer.data();
  for (const CMinArch& interval : intervals) {
    if (!FindSlot(instrument, interval.m_Interval)) {
      const auto free = FindSlot(instrument, kNoInterval);
      if (!free || free->count != 0) {
        LogError("%s", ErrorLine(archive, day).c_str());
        continue;
      }
      SetSlot(instrument, free->slot, interval.m_Interval, 0);
      LogAt(0, "Archive file %s has no interval '%s': it is added in slot %d", archive.text.c_str(),
            interval.m_Name.c_str(), free->slot);
    }
    placed.push_back(interval);
  }
  return placed;
}

// Week and month candles cannot tell which days they hold: with neither a day nor a
// minute interval configured, an export added again would widen them a second time, and
// an insert or delete could not recompute them. Such an archive keeps a day interval too
// (in the first free slot), applied before the week and month.
std::vector<CMinArch> WithKeptDayInterval(const std::vector<CMinArch>& intervals,
                                          LoadedArchive& archive) {
  bool periods = false;
  for (const CMinArch& interval : intervals) {
    if (interval.m_Interval >= kOneMinuteInterval || interval.m_Interval == kDayInterval)
      return intervals;
    periods =
        periods || interval.m_Interval == kWeekInterval || interval.m_Interval == kMonthInterval;
  }
  if (!periods) return intervals;
  Candle* instrument = archive.buffer.data();
  if (!FindSlot(instrument, kDayInterval)) {
    const auto free = FindSlot(instrument, kNoInterval);
    if (!free || free->count != 0) return intervals;
    SetSlot(instrument, free->slot, kDayInterval, 0);
    LogAt(1,
          "Archive file %s keeps a day interval in slot %d: week and month candles need it to "
          "tell which days they hold",
          archive.text.c_str(), free->slot);
  }
  std::vector<CMinArch> kept{CMinArch(kDayInterval, kMaxCandlesPerInterval)};
  kept.insert(kept.end(), intervals.begin(), intervals.end());
  return kept;
}

MinuteBuildResult BuildFor(const CMinArch& minutes, std::int32_t interval, std::int32_t date,
                           std::int32_t sessionStart) {
  MinuteBuildInput input;
  input.minutes = minutes.m_Candles;
  input.count = minutes.m_Count;
  input.interval = interval;
  input.date = date;
  input.sessionStart = sessionStart;
  AggregationState scratch;
  return BuildMinuteCandles(input, scratch);
}

// True when the minutes run past midnight into the next date.
bool PassesMidnight(const CMinArch& minutes, std::int32_t date, std::int32_t sessionStart) {
  const MinuteBuildResult built = BuildFor(minutes, kOneMinuteInterval, date, sessionStart);
  return built.ok && !built.candles.empty() && built.candles.back().date != date;
}

// True when the stored candles of the newest date hold no more than the previous export's
// part after midnight: their volume is that part's (prices cannot tell: a price change
// rounds the export's minutes, not the archive's candles).
bool HoldsNightAlone(const std::vector<Candle>& stored, const Candle& night) {
  if (stored.empty()) return false;
  for (const Candle& c : stored) {
    if (std::fabs(c.volume - night.volume) > kValueTolerance * std::max(1.0, std::fabs(c.volume)))
      return false;
  }
  return true;
}

// The time window of the class whose export file is minuteFile (.../DATE/CLASS/SEC/1.dat).
std::optional<MinuteWindow> ClassWindow(const RunSettings& settings,
                                        const std::filesystem::path& minuteFile) {
  const std::string cls = support::NarrowPath(minuteFile.parent_path().parent_path().filename());
  const auto setting = settings.classTimeSettings_.find(cls);
  if (setting == settings.classTimeSettings_.end()) return std::nullopt;
  const auto begin = settings.timeBegins_.find(setting->second);
  const auto end = settings.timeEnds_.find(setting->second);
  MinuteWindow window;
  window.timeBegin = begin != settings.timeBegins_.end() ? begin->second : 0;
  window.timeEnd = end != settings.timeEnds_.end() ? end->second : 0;
  return window;
}

}  // namespace

StoredPart StoredPartOfDay(const Candle* instrument, const std::vector<CMinArch>& intervals,
                           const CMinArch& minutes, std::int32_t date, std::int32_t sessionStart,
                           const std::function<std::optional<Candle>()>& previousNight) {
  std::vector<std::int32_t> codes;
  for (const CMinArch& interval : intervals) {
    if (interval.m_Interval >= kOneMinuteInterval) codes.push_back(interval.m_Interval);
  }
  std::sort(codes.begin(), codes.end());
  std::int32_t newestDate = 0;
  std::vector<Candle> newest;  // the stored candles that hold the newest stored date
  for (const std::int32_t code : codes) {
    const auto place = FindSlot(instrument, code);
    if (!place || place->count == 0) continue;
    const Candle& last = instrument[place->firstRecord + place->count - 1];
    const MinuteBuildResult built = BuildFor(minutes, code, date, sessionStart);
    if (!built.ok || built.candles.empty()) continue;
    const Candle& first = built.candles.front();
    if (last.date == first.date && last.time == first.time) {
      newestDate = std::max(newestDate, last.date);
      newest.push_back(last);
      continue;
    }
    if (Before(last.date, last.time, first)) return StoredPart::kBeforeDay;
    return Before(last.date, last.time, built.candles.back()) ? StoredPart::kHeldInPart
                                                              : StoredPart::kNothingNew;
  }
  const auto days = FindSlot(instrument, kDayInterval);
  if (days && days->count > 0) {
    newestDate = instrument[days->firstRecord + days->count - 1].date;
    newest = {instrument[days->firstRecord + days->count - 1]};
  }
  if (newestDate != date || PassesMidnight(minutes, date, sessionStart))
    return StoredPart::kBeforeDay;
  if (previousNight) {
    const std::optional<Candle> night = previousNight();
    if (night && HoldsNightAlone(newest, *night)) return StoredPart::kBeforeDay;
  }
  return StoredPart::kHeldInPart;
}

void MergeDay(const RunSettings& settings, LoadedArchive& archive, const DayInput& day) {
  if (archive.damaged) return;
  std::vector<CMinArch> intervals =
      IntervalsWithSlots(WithKeptDayInterval(settings.intervals_, archive), archive, day);
  const std::int32_t sessionStart = settings.sessionStartHour_.empty() ? 0 : settings.sessionStart_;
  std::string_view action = day.action;
  AggregationState state;
  if (action != kInsertAction && action != kDeleteAction) {
    auto previousNight = [&]() -> std::optional<Candle> {
      if (day.minuteFileText.empty()) return std::nullopt;
      const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
      return PreviousExportNight(file, day.date, ClassWindow(settings, file), sessionStart);
    };
    const StoredPart part = StoredPartOfDay(archive.buffer.data(), intervals, day.minutes, day.date,
                                            sessionStart, previousNight);
    if (part == StoredPart::kHeldInPart) {
      LogAt(1, "Archive file %s already holds a part of %d: the day is replaced",
            archive.text.c_str(), day.date);
      action = kInsertAction;
    }
    state.minutesAfterStored = part == StoredPart::kBeforeDay;
  }
  if (!day.minuteFileText.empty()) {
    state.exportOwnDay = [&](std::int32_t date) {
      const std::filesystem::path file = support::PathFromNarrow(day.minuteFileText);
      return ExportOwnDay(file, date, ClassWindow(settings, file), sessionStart);
    };
  }
  const ApplyRequest request{day.minutes, day.date, action, archive.text, 0};
  const MergeResult result =
      MergeDayIntoArchive(archive.buffer.data(), intervals, request, sessionStart, state);
  if (!result.ok) LogError("%s", ErrorLine(archive, day).c_str());
}
