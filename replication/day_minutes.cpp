#include "replication/day_minutes.h"

#include "archive/calendar.h"
#include "archive/candle_file.h"
#include "archive/interval_names.h"
#include "archive/usable_candle.h"
#include "replication/instrument_work.h"
#include "replication/replication_constants.h"
#include "support/log.h"
#include "support/platform.h"

WindowPart NarrowToWindow(const Candle* minutes, int count, std::int32_t timeBegin,
                          std::int32_t timeEnd) {
  WindowPart part;
  if (count <= 0) return part;
  int first = 0;
  while (first < count && minutes[first].time < timeBegin) ++first;
  if (first == count) return part;
  const std::int32_t r = first > 0 ? minutes[first - 1].time : minutes[0].time;
  part.first = first;
  part.count = count - first;
  if (timeEnd == 0) return part;
  const bool pastMidnight = timeBegin > timeEnd;
  const std::int32_t end = pastMidnight ? timeEnd + kNextDayTimeShift : timeEnd;
  int kept = 0;
  for (; kept < part.count; ++kept) {
    const std::int32_t t = minutes[first + kept].time;
    if (t > end) break;
    if (pastMidnight && t < r && t + kNextDayTimeShift > end) break;
  }
  part.count = kept;
  return part;
}

int DropUnusableMinutes(std::vector<Candle>& minutes, const std::string& fileText) {
  int dropped = 0;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < minutes.size(); ++i) {
    const Candle& minute = minutes[i];
    const CandleFault fault = FindCandleFault(minute);
    if (fault == CandleFault::kNone) {
      minutes[kept++] = minute;
      continue;
    }
    if (++dropped <= kListedUnusableMinutes) {
      const std::string reason(CandleFaultText(fault));
      LogError("Minute record %d (date %d, time %06d) of %s is skipped: %s", static_cast<int>(i),
               minute.date, minute.time, fileText.c_str(), reason.c_str());
    }
  }
  minutes.resize(kept);
  if (dropped > kListedUnusableMinutes)
    LogError("%d more unusable minute records of %s are skipped", dropped - kListedUnusableMinutes,
             fileText.c_str());
  return dropped;
}

std::optional<DayMinutes> LoadDayMinutes(const RunSettings& settings,
                                         const std::filesystem::path& relPath) {
  LogAt(2, "Replicating file %s", support::NarrowPath(relPath).c_str());
  DayMinutes day;
  day.file = settings.minutesDir_ / relPath / kMinuteFileName;
  const std::string text = support::NarrowPath(day.file);
  if (!ReadCandleFile(day.file, day.minutes, day.storage)) {
    LogAt(2, "File %s was not properly replicated", text.c_str());
    return std::nullopt;
  }
  LogAt(2, "Source file %s loaded", text.c_str());
  if (DropUnusableMinutes(day.storage, text) > 0) {
    day.minutes.m_Candles = day.storage.data();
    day.minutes.m_Count = static_cast<std::int32_t>(day.storage.size());
  }
  return day;
}

bool ApplyTimeWindow(const RunSettings& settings, InstrumentWork& work, DayMinutes& day) {
  const auto setting = settings.classTimeSettings_.find(work.curClass_);
  if (setting == settings.classTimeSettings_.end()) return true;
  const auto begin = settings.timeBegins_.find(setting->second);
  const auto end = settings.timeEnds_.find(setting->second);
  work.timeBegin_ = begin != settings.timeBegins_.end() ? begin->second : 0;
  work.timeEnd_ = end != settings.timeEnds_.end() ? end->second : 0;
  const int count = day.minutes.m_Count;
  const WindowPart part =
      NarrowToWindow(day.minutes.m_Candles, count, work.timeBegin_, work.timeEnd_);
  // A file of the next date's minutes alone (a session's part after midnight) never
  // reaches the window's start: it gets the skip line such a file always gets.
  if (count > 0 && part.count == 0 &&
      SkipsExportOfTheNextDateOnly(day, ParseDecimal(work.date_))) {
    day.minutes.m_Count = 0;
    return false;
  }
  day.minutes.m_Candles += part.first;
  day.minutes.m_Count = part.count;
  // Minutes outside the window are normal (a session's neighbours in one export), but a
  // file that gives nothing must not pass without a word.
  const std::string file = support::NarrowPath(day.file);
  if (count > 0 && part.count == 0) {
    LogAt(1,
          "Minute file %s: none of its %d minutes reaches the start %06d of the window "
          "%06d-%06d of class %s (the minutes before that start at the head of a file are "
          "the previous session's): nothing is stored from it",
          file.c_str(), count, work.timeBegin_, work.timeBegin_, work.timeEnd_,
          work.curClass_.c_str());
  } else if (part.count < count) {
    LogAt(2, "Minute file %s: %d minutes before and %d after the window %06d-%06d are passed over",
          file.c_str(), part.first, count - part.first - part.count, work.timeBegin_,
          work.timeEnd_);
  }
  return part.count > 0;
}

bool HoldsOnlyTheNextDate(const Candle* minutes, int count, std::int32_t date) {
  if (count <= 0) return false;
  const std::int32_t next = NextDate(date);
  for (int i = 0; i < count; ++i) {
    if (minutes[i].date != next) return false;
  }
  return true;
}

bool SkipsExportOfTheNextDateOnly(const DayMinutes& day, std::int32_t date) {
  if (!HoldsOnlyTheNextDate(day.minutes.m_Candles, day.minutes.m_Count, date)) return false;
  LogError(
      "Minute file %s is skipped: it holds no minute of %d, every minute is dated %d (only the "
      "part of the session after midnight), and its minutes would be stored under %d",
      support::NarrowPath(day.file).c_str(), date, NextDate(date), date);
  return true;
}
