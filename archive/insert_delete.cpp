#include "archive/insert_delete.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/calendar.h"
#include "archive/day_widening.h"
#include "archive/edge_slots.h"
#include "archive/minute_candles.h"
#include "support/log.h"

namespace {

constexpr std::string_view kDeleteAction = "delete";
constexpr std::int32_t kEndOfDay = 240000;
constexpr char kDayName[] = "day";

// A point of the (date, time) order of candles.
struct Point {
  std::int32_t date = 0;
  std::int32_t time = 0;
};

bool Before(const Candle& c, const Point& p) {
  return c.date < p.date || (c.date == p.date && c.time < p.time);
}
bool After(const Candle& c, const Point& p) {
  return c.date > p.date || (c.date == p.date && c.time > p.time);
}

// The stored candles [start, end) of the range first..last: start is the first candle not
// before first (the insertion point; the run's end when there is none), end the first
// candle after last.
std::pair<int, int> FindRange(const CMinArch& target, const Point& first, const Point& last) {
  const Candle* run = target.m_Candles;
  const int count = target.m_Count;
  int start = 0;
  while (start < count && Before(run[start], first)) ++start;
  int end = start;
  while (end < count && !After(run[end], last)) ++end;
  return {start, end};
}

bool FullAndOlderThanRun(const CMinArch& target, const Point& last) {
  return target.m_Count >= kMaxCandlesPerInterval && !Before(target.m_Candles[0], last);
}

void FinishDayBuffer(AggregationState& state) {
  state.FinishDay();
  state.dayBufferFilled = true;
}

MinuteBuildResult BuildCandles(const CMinArch& target, const ApplyRequest& request,
                               std::int32_t interval, AggregationState& state) {
  MinuteBuildInput input;
  input.minutes = request.minutes.m_Candles;
  input.count = request.minutes.m_Count;
  input.interval = interval;
  input.date = request.date;
  input.sessionStart = target.m_SessionStart;
  return BuildMinuteCandles(input, state);
}

bool DeleteMinutes(CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  if (state.Filling()) state.day[0].date = request.date;
  FinishDayBuffer(state);
  const auto [start, end] = FindRange(target, {request.date, 0}, {request.date, kEndOfDay});
  if (start == end) {
    const std::string name(request.displayName);
    LogAt(1, "  [date]    = %d  - archives %s don't contain this data(m_Interval = %i)",
          request.date, name.c_str(), target.m_Interval);
    return true;
  }
  int tail = request.tailCount;
  return ReplaceRun(target, start, end, {}, tail);
}

// The kept night's minutes that fall in the slot of the first new candle lead it.
void KeepNightInFirstSlot(const CMinArch& target, const AggregationState& state,
                          std::vector<Candle>& candles) {
  if (state.keptNight.empty()) return;
  MinuteBuildInput input;
  input.minutes = state.keptNight.data();
  input.count = static_cast<int>(state.keptNight.size());
  input.interval = target.m_Interval;
  input.date = state.keptNight.front().date;
  AggregationState scratch;
  const MinuteBuildResult night = BuildMinuteCandles(input, scratch);
  Candle& first = candles.front();
  for (const Candle& c : night.candles) {
    if (c.date != first.date || c.time != first.time) continue;
    Candle merged = c;
    MergeInto(merged, first);
    first = merged;
  }
}

// Remembers the whole archive as it stands, before this run's insert changes it: the edge
// slots of each interval read the finer intervals from it.
void KeepArchiveBeforeInsert(const Candle* instrument, AggregationState& state) {
  if (state.archiveBeforeInsertKept) return;
  state.archiveBeforeInsertKept = true;
  state.archiveBeforeInsert.assign(instrument, instrument + ArchiveRecords(instrument));
}

// The first and last inserted minutes, as the one-minute candles of the request date them.
std::optional<std::pair<MinutePoint, MinutePoint>> InsertedSpan(const CMinArch& target,
                                                                const ApplyRequest& request) {
  AggregationState scratch;
  const MinuteBuildResult ones = BuildCandles(target, request, kOneMinuteInterval, scratch);
  if (!ones.ok || ones.candles.empty()) return std::nullopt;
  const Candle& first = ones.candles.front();
  const Candle& last = ones.candles.back();
  return std::make_pair(MinutePoint{first.date, first.time}, MinutePoint{last.date, last.time});
}

bool InsertMinutes(CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  KeepArchiveBeforeInsert(target.m_Instrument, state);
  const bool filling = state.Filling();
  MinuteBuildResult built = BuildCandles(target, request, target.m_Interval, state);
  if (!built.ok || built.candles.empty()) {
    FinishDayBuffer(state);
    state.noNewMinutes = true;
    return built.ok;
  }
  state.noNewMinutes = false;
  const Point first{built.candles.front().date, built.candles.front().time};
  const Point last{built.candles.back().date, built.candles.back().time};
  // The day buffer is completed even when this run keeps nothing of the day: the day,
  // week and month candles are still rebuilt from it.
  if (filling) WidenInsertedDay(target.m_Instrument, request, target.m_SessionStart, state);
  FinishDayBuffer(state);
  if (FullAndOlderThanRun(target, last)) return true;
  KeepNightInFirstSlot(target, state, built.candles);
  if (const auto span = InsertedSpan(target, request)) {
    KeepFinerInEdgeSlots(state.archiveBeforeInsert, target.m_Interval, span->first,
                         span->second, state.keptNight.empty(), built.candles);
  }
  const auto [start, end] = FindRange(target, first, last);
  int tail = request.tailCount;
  return ReplaceRun(target, start, end, built.candles, tail);
}

// --- calendar intervals ---

Candle DayCandle(const Candle& record) {
  Candle c = record;
  c.time = 0;
  return c;
}

// The day candles of the inserted day: one, or two after a midnight passage.
std::vector<Candle> DayCandlesInPlay(const AggregationState& state) {
  std::vector<Candle> days{DayCandle(state.day[0])};
  if (state.state == DayState::kTwoDays) days.push_back(DayCandle(state.day[1]));
  return days;
}

// With no minute interval before it, the day buffer is filled from the minutes here.
bool FillDayBuffer(const CMinArch& target, const ApplyRequest& request, AggregationState& state) {
  state.ResetDay();
  const MinuteBuildResult built = BuildCandles(target, request, kOneMinuteInterval, state);
  if (built.anyTaken) WidenCalendarInsertedDay(target.m_Instrument, request, state);
  FinishDayBuffer(state);
  state.noNewMinutes = !built.anyTaken;
  return built.ok;
}

// [first index with date >= from, first index with date > to).
std::pair<int, int> DateRange(const CMinArch& target, std::int32_t from, std::int32_t to) {
  int start = 0;
  while (start < target.m_Count && target.m_Candles[start].date < from) ++start;
  int end = start;
  while (end < target.m_Count && target.m_Candles[end].date <= to) ++end;
  return {start, end};
}

// Remembers the day interval as it stands, before this run changes it.
void KeepDaysBeforeEdit(const Candle* instrument, AggregationState& state) {
  if (state.daysBeforeEditKept) return;
  state.daysBeforeEditKept = true;
  state.daysBeforeEdit.clear();
  const auto place = FindSlot(instrument, kDayInterval);
  if (!place) return;
  const Candle* first = instrument + place->firstRecord;
  state.daysBeforeEdit.assign(first, first + place->count);
}

// True when the day interval whose candles begin with oldest can be seen to have dropped
// days before it: it is full, or a week or month candle of a period before that day's
// period outlives them (deletes may have brought the run below the limit since). An insert
// before all of such a run changes nothing there: its dates were dropped or lie among
// dropped ones, and the archive no longer holds the other parts of them (the next date's
// own evening after a night), so a day candle written back would hold the inserted part
// alone.
bool DroppedOlderDays(const Candle* instrument, int count, std::int32_t oldest) {
  if (count >= kMaxCandlesPerInterval) return true;
  for (const std::int32_t interval : {kWeekInterval, kMonthInterval}) {
    const auto place = FindSlot(instrument, interval);
    if (!place || place->count == 0) continue;
    const Candle& first = instrument[place->firstRecord];
    if (PeriodStart(first.date, interval) < PeriodStart(oldest, interval)) return true;
  }
  return false;
}

bool EditDays(CMinArch& target, const ApplyRequest& request, AggregationState& state, bool erase) {
  KeepDaysBeforeEdit(target.m_Instrument, state);
  int tail = request.tailCount;
  if (erase) {
    const auto [start, end] = DateRange(target, request.date, request.date);
    if (start == end) {
      const std::string name(request.displayName);
      LogAt(1, "  [date]    = %d  - archives %s%s.dat don't contain this data", request.date,
            name.c_str(), target.m_Name.c_str());
      return true;
    }
    state.noNewMinutes = false;  // week and month follow the day interval
    return ReplaceRun(target, start, end, {}, tail);
  }
  const std::vector<Candle> days = DayCandlesInPlay(state);
  if (target.m_Count > 0 && target.m_Candles[0].date > days.back().date &&
      DroppedOlderDays(target.m_Instrument, target.m_Count, target.m_Candles[0].date)) {
    const std::string name(request.displayName);
    LogAt(1,
          "  [date]    = %d  - archive %s: the day interval dropped its days before %d, the "
          "inserted days are not stored there",
          request.date, name.c_str(), target.m_Candles[0].date);
    return true;
  }
  const auto [start, end] = DateRange(target, days.front().date, days.back().date);
  return ReplaceRun(target, start, end, days, tail);
}

// The candle of the period starting at period, folded from the day candles days[0, count)
// that lie in it; nothing when there are none.
std::optional<Candle> FoldPeriod(const Candle* days, int count, std::int32_t interval,
                                 std::int32_t period) {
  std::optional<Candle> work;
  for (int k = 0; k < count; ++k) {
    const Candle& day = days[k];
    if (PeriodStart(day.date, interval) != period) continue;
    if (!work) {
      work = DayCandle(day);
      work->date = period;
    } else {
      MergeInto(*work, day);
    }
  }
  return work;
}

// The day interval's candles as the slots place them now. Taken before a week or month
// run is edited: the slot counts are brought up to date only after the edit, so a run that
// grew in front of the day interval would shift the day candles away from where the slots
// say they lie.
std::vector<Candle> DayRun(const Candle* instrument) {
  const auto place = FindSlot(instrument, kDayInterval);
  if (!place) return {};
  const Candle* first = instrument + place->firstRecord;
  return std::vector<Candle>(first, first + place->count);
}

// The day candles a week or month is folded from after the day interval's edit: the run as
// it stands, behind the days that its 3000 limit pushed out to make room for an inserted
// day. Those still traded in their week; the edited date itself is not one of them.
std::vector<Candle> WithDaysDroppedByTheEdit(const std::vector<Candle>& before,
                                             std::vector<Candle> after, std::int32_t edited) {
  if (after.empty()) return after;
  std::vector<Candle> days;
  for (const Candle& day : before) {
    if (day.date < after.front().date && day.date < edited) days.push_back(day);
  }
  days.insert(days.end(), after.begin(), after.end());
  return days;
}

// True when the day interval, as it was before this run's edit, held every day of the
// period, judged by the dates it holds: it reaches back to the period's first day, or its
// first day of the period opened the stored candle [start, end) (a day interval configured
// after the period, or a shorter converted day file, lacks that opening day). A day
// interval that dropped older days may have dropped some of this period too, and a
// dropped first day may have opened it at the same price (a day that closed where it
// opened): then the held days must also make up the stored candle's range and volume.
// Exactly: a lot change that rounds every candle on its own leaves the days short of
// their week by less than a unit each, as a small dropped day does, and only the second
// loses data when taken for the first; the candle is then left as it is, and said so.
bool DaysHoldPeriod(const CMinArch& target, const AggregationState& state, std::int32_t period,
                    int start) {
  const std::vector<Candle>& days = state.daysBeforeEdit;
  if (!days.empty() && days.front().date <= period) return true;
  const Candle& stored = target.m_Candles[start];
  std::optional<Candle> held;
  for (const Candle& day : days) {
    if (PeriodStart(day.date, target.m_Interval) != period) continue;
    if (held)
      MergeInto(*held, day);
    else
      held = day;
  }
  if (!held || held->open != stored.open) return false;
  if (!DroppedOlderDays(target.m_Instrument, static_cast<int>(days.size()), days.front().date))
    return true;
  return held->high == stored.high && held->low == stored.low &&
         std::fabs(held->volume - stored.volume) <=
             kValueTolerance * std::max(1.0, std::fabs(stored.volume));
}

bool RecomputePeriod(CMinArch& target, const ApplyRequest& request, const AggregationState& state,
                     const std::vector<Candle>& days, std::int32_t period, int& tail) {
  const std::int32_t interval = target.m_Interval;
  const std::optional<Candle> work =
      FoldPeriod(days.data(), static_cast<int>(days.size()), interval, period);
  int start = 0;
  while (start < target.m_Count && PeriodStart(target.m_Candles[start].date, interval) < period)
    ++start;
  int end = start;
  while (end < target.m_Count && PeriodStart(target.m_Candles[end].date, interval) == period) ++end;
  if (start != end && !DaysHoldPeriod(target, state, period, start)) {
    const std::string name(request.displayName);
    LogAt(1,
          "  [date]    = %d  - archive %s, interval %s: the candle of %d is left unchanged, the "
          "day interval does not hold all its days",
          request.date, name.c_str(), target.m_Name.c_str(), period);
    return true;
  }
  if (!work) return start == end || ReplaceRun(target, start, end, {}, tail);
  // A full run whose oldest period is later keeps its candles.
  if (start == 0 && end == 0 && target.m_Count >= kMaxCandlesPerInterval) return true;
  return ReplaceRun(target, start, end, std::vector<Candle>{*work}, tail);
}

bool EditPeriods(CMinArch& target, const ApplyRequest& request, AggregationState& state,
                 bool erase) {
  if (!FindSlot(target.m_Instrument, kDayInterval)) {
    LogError("Archive '%s' is missing.  Creating a new one", kDayName);
    return false;
  }
  KeepDaysBeforeEdit(target.m_Instrument, state);  // the day interval was not edited here
  std::vector<std::int32_t> periods{PeriodStart(request.date, target.m_Interval)};
  if (!erase && state.state == DayState::kTwoDays) {
    const std::int32_t second = PeriodStart(state.day[1].date, target.m_Interval);
    if (second != periods.front()) periods.push_back(second);
  }
  int tail = request.tailCount;
  const std::vector<Candle> days =
      WithDaysDroppedByTheEdit(state.daysBeforeEdit, DayRun(target.m_Instrument), request.date);
  for (const std::int32_t period : periods) {
    if (!RecomputePeriod(target, request, state, days, period, tail)) return false;
  }
  return true;
}

}  // namespace

bool InsertDeleteMinuteInterval(CMinArch& target, const ApplyRequest& request,
                                AggregationState& state) {
  if (target.m_Interval == kOneMinuteInterval) state.ResetDay();
  if (request.action == kDeleteAction) return DeleteMinutes(target, request, state);
  return InsertMinutes(target, request, state);
}

bool InsertDeleteCalendarInterval(CMinArch& target, const ApplyRequest& request,
                                  AggregationState& state) {
  const bool erase = request.action == kDeleteAction;
  if (!erase && !state.dayBufferFilled && !FillDayBuffer(target, request, state)) return false;
  if (erase && target.m_Interval == kDayInterval) return EditDays(target, request, state, true);
  // Nothing new for the calendar: no candle from the minutes, or (delete) no day removed.
  if (state.noNewMinutes) return true;
  if (target.m_Interval == kDayInterval) return EditDays(target, request, state, false);
  return EditPeriods(target, request, state, erase);
}
