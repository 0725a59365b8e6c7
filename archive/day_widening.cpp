#include "archive/day_widening.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/calendar.h"
#include "archive/minute_candles.h"

namespace {

struct Point {
  std::int32_t date = 0;
  std::int32_t time = 0;
};

bool After(const Candle& c, const Point& p) {
  return c.date > p.date || (c.date == p.date && c.time > p.time);
}

// A minute interval of the archive and, for an insert, the first and last candle the
// inserted minutes give it.
struct MinuteRun {
  std::int32_t interval = 0;
  const Candle* candles = nullptr;
  int count = 0;
  Point first;
  Point last;
};

// The archive's minute intervals that hold candles, finest first.
std::vector<MinuteRun> StoredRuns(const Candle* instrument) {
  std::vector<MinuteRun> runs;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t code = SlotCode(instrument, slot);
    if (code < kOneMinuteInterval) continue;
    const auto place = FindSlot(instrument, code);
    if (!place || place->slot != slot || place->count == 0) continue;
    MinuteRun run;
    run.interval = code;
    run.candles = instrument + place->firstRecord;
    run.count = place->count;
    runs.push_back(run);
  }
  std::sort(runs.begin(), runs.end(),
            [](const MinuteRun& a, const MinuteRun& b) { return a.interval < b.interval; });
  return runs;
}

// The runs that the inserted minutes give candles, each with its first and last new one.
std::vector<MinuteRun> InsertRuns(const Candle* instrument, const ApplyRequest& request,
                                  std::int32_t sessionStart) {
  std::vector<MinuteRun> runs;
  for (MinuteRun run : StoredRuns(instrument)) {
    MinuteBuildInput input;
    input.minutes = request.minutes.m_Candles;
    input.count = request.minutes.m_Count;
    input.interval = run.interval;
    input.date = request.date;
    input.sessionStart = sessionStart;
    AggregationState scratch;
    const MinuteBuildResult built = BuildMinuteCandles(input, scratch);
    if (!built.ok || built.candles.empty()) continue;
    run.first = {built.candles.front().date, built.candles.front().time};
    run.last = {built.candles.back().date, built.candles.back().time};
    runs.push_back(run);
  }
  return runs;
}

// True when, as far as the archive can tell, the run never dropped a candle at the 3000
// limit: it holds fewer, and no other run holds a candle that ends before its oldest one
// begins (a delete may have brought its count below 3000 after it dropped some).
bool Complete(const MinuteRun& run, const std::vector<MinuteRun>& runs) {
  if (run.count >= kMaxCandlesPerInterval) return false;
  const Candle& oldest = run.candles[0];
  for (const MinuteRun& other : runs) {
    const Candle& theirs = other.candles[0];
    const int end = std::min(MinuteOfDay(theirs.time) + other.interval, kMinutesPerDay);
    if (theirs.date < oldest.date ||
        (theirs.date == oldest.date && end <= MinuteOfDay(oldest.time)))
      return false;
  }
  return true;
}

// True when the run still holds every candle it stored from `from` on: its oldest candle
// is not after `from`, or it never dropped one.
bool HoldsFrom(const MinuteRun& run, const Point& from, const std::vector<MinuteRun>& runs) {
  return !After(run.candles[0], from) || Complete(run, runs);
}

// The finest run that holds what it stored from `from` on.
const MinuteRun* Holder(const std::vector<MinuteRun>& runs, Point (*from)(const MinuteRun&)) {
  for (const MinuteRun& run : runs) {
    if (HoldsFrom(run, from(run), runs)) return &run;
  }
  return nullptr;
}

Point StartOfFirstDate(const MinuteRun& run) {
  return {run.first.date, 0};
}
Point LastPoint(const MinuteRun& run) {
  return run.last;
}

// A finer run than holder that still reaches into date (its oldest candle is of that date):
// it holds the date's candles from its oldest one on, the holder those before. Nothing
// when there is none.
const MinuteRun* FinerReach(const std::vector<MinuteRun>& runs, const MinuteRun* holder,
                            std::int32_t date) {
  for (const MinuteRun& run : runs) {
    if (&run == holder) return nullptr;
    if (run.candles[0].date == date) return &run;
  }
  return nullptr;
}

// Which stored candles of a run are wanted.
using Wanted = bool (*)(const MinuteRun& run, const Candle& c);

bool BeforeRange(const MinuteRun& run, const Candle& c) {
  return c.date == run.first.date && c.time < run.first.time;
}
bool AfterRange(const MinuteRun& run, const Candle& c) {
  return c.date == run.last.date && c.time > run.last.time;
}

// The wanted candles of the holder and the finer run, in time order: the holder's slots
// that begin before the finer run's oldest candle (a slot straddling it is the holder's),
// then the finer run's candles outside those slots. All wanted candles are of one date.
std::vector<Candle> Stitched(const MinuteRun& holder, const MinuteRun* finer, Wanted wanted) {
  const int reach = finer != nullptr ? MinuteOfDay(finer->candles[0].time) : kMinutesPerDay;
  int usedFrom = kMinutesPerDay;
  int usedTo = 0;
  std::vector<Candle> stretch;
  for (int k = 0; k < holder.count; ++k) {
    const Candle& c = holder.candles[k];
    const int minute = MinuteOfDay(c.time);
    if (!wanted(holder, c) || minute >= reach) continue;
    stretch.push_back(c);
    usedFrom = std::min(usedFrom, minute);
    usedTo = std::max(usedTo, minute + holder.interval);
  }
  if (finer == nullptr) return stretch;
  for (int k = 0; k < finer->count; ++k) {
    const Candle& c = finer->candles[k];
    const int minute = MinuteOfDay(c.time);
    if (wanted(*finer, c) && (minute < usedFrom || minute >= usedTo)) stretch.push_back(c);
  }
  std::stable_sort(stretch.begin(), stretch.end(),
                   [](const Candle& x, const Candle& y) { return x.time < y.time; });
  return stretch;
}

// Record 0 takes the stored candles of the first date before the range: they come first,
// so the earliest one's open is the day's open.
void WidenOpening(const std::vector<Candle>& stretch, Candle& opening) {
  if (stretch.empty()) return;
  opening.open = stretch.front().open;
  for (const Candle& c : stretch) {
    opening.high = std::max(opening.high, c.high);
    opening.low = std::min(opening.low, c.low);
    opening.volume += c.volume;
  }
}

// The record being filled takes the stored candles of the last date after the range.
void WidenClosing(const std::vector<Candle>& stretch, Candle& closing) {
  for (const Candle& c : stretch) MergeInto(closing, c);
}

std::optional<Candle> StoredDay(const Candle* instrument, std::int32_t date) {
  const auto place = FindSlot(instrument, kDayInterval);
  if (!place) return std::nullopt;
  const Candle* days = instrument + place->firstRecord;
  for (int k = 0; k < place->count; ++k) {
    if (days[k].date == date) return days[k];
  }
  return std::nullopt;
}

// No minute interval holds the next date's stored part any more: the day interval's
// candle of that date holds it whole, and may hold an earlier copy of the inserted part
// too (the inserted date was stored before, or deleted: a delete leaves its night). With
// the minute export tree known, the next date's day is the new part followed by what the
// next export itself gives that date (when the stored candle can hold it: the export was
// added; nothing when there is no such export, or when the stored candle has the new
// part's volume and so holds that part alone). Without it, the candle follows the new
// part when the inserted date was not stored, and is kept as it stands when it was.
void WidenSecondDayFromDayInterval(const Candle* instrument, const ApplyRequest& request,
                                   AggregationState& state) {
  Candle& second = state.day[1];
  const std::optional<Candle> stored = StoredDay(instrument, second.date);
  if (!stored) return;
  if (state.exportOwnDay) {
    // What the next export stored up to the inserted night's last minute is replaced.
    const CMinArch& minutes = request.minutes;
    const std::int32_t after =
        minutes.m_Count > 0 ? minutes.m_Candles[minutes.m_Count - 1].time : -1;
    const std::optional<Candle> own = state.exportOwnDay(second.date, after);
    if (!own) return;
    // A stored day of the inserted night's volume is that night alone (the same export
    // inserted again; the next export, though in the tree, was never added), unless the
    // next export alone has that volume too.
    if (ValuesEqual(stored->volume, second.volume) && !ValuesEqual(stored->volume, own->volume))
      return;
    if (own->volume <= stored->volume * (1 + kValueTolerance)) MergeInto(second, *own);
    return;
  }
  if (!StoredDay(instrument, request.date))
    MergeInto(second, *stored);
  else
    second = *stored;
}

// No minute interval holds the inserted date's stored part: when the day interval's
// candle of that date is the previous export's part after midnight alone (its volume, the
// export read again from the minute tree), the date was not stored before and the day
// follows that part. A stored day holding more cannot be told from an earlier export of
// the date, and is replaced.
void WidenByStoredNight(const Candle* instrument, AggregationState& state) {
  if (!state.previousExportNight) return;
  const std::optional<Candle> stored = StoredDay(instrument, state.day[0].date);
  if (!stored) return;
  const std::vector<Candle> night = state.previousExportNight(state.day[0].date);
  if (night.empty()) return;
  double volume = 0;
  for (const Candle& c : night) volume += c.volume;
  if (std::fabs(volume - stored->volume) <= kValueTolerance * std::max(1.0, stored->volume))
    WidenOpening(night, state.day[0]);
}

void WidenByKeptNight(AggregationState& state) {
  if (!state.keptNight.empty() && state.keptNight.front().date == state.day[0].date)
    WidenOpening(state.keptNight, state.day[0]);
}

}  // namespace

void WidenCalendarInsertedDay(const Candle* instrument, const ApplyRequest& request,
                              AggregationState& state) {
  if (!state.keptNight.empty())
    WidenByKeptNight(state);
  else
    WidenByStoredNight(instrument, state);
  if (state.state == DayState::kSecondDay)
    WidenSecondDayFromDayInterval(instrument, request, state);
}

void WidenInsertedDay(const Candle* instrument, const ApplyRequest& request,
                      std::int32_t sessionStart, AggregationState& state) {
  const std::vector<MinuteRun> runs = InsertRuns(instrument, request, sessionStart);
  std::vector<Candle> opening;
  const MinuteRun* opener = Holder(runs, StartOfFirstDate);
  if (opener)
    opening = Stitched(*opener, FinerReach(runs, opener, opener->first.date), BeforeRange);
  else if (state.keptNight.empty())
    WidenByStoredNight(instrument, state);
  // The kept night's minutes that the holder's candles before the range do not hold (all
  // of them in a slot of a day or more, whose first slot the insert replaces).
  for (const Candle& c : state.keptNight) {
    if (c.date != state.day[0].date) continue;
    const bool held = opener != nullptr && c.date == opener->first.date &&
                      SlotStart(c.time, opener->interval) < opener->first.time;
    if (!held) opening.push_back(c);
  }
  std::stable_sort(opening.begin(), opening.end(),
                   [](const Candle& x, const Candle& y) { return x.time < y.time; });
  WidenOpening(opening, state.day[0]);
  const bool secondDay = state.state == DayState::kSecondDay;
  Candle& closing = state.day[secondDay ? 1 : 0];
  if (const MinuteRun* run = Holder(runs, LastPoint)) {
    const MinuteRun* finer = FinerReach(runs, run, run->last.date);
    WidenClosing(Stitched(*run, finer, AfterRange), closing);
  } else if (secondDay) {
    WidenSecondDayFromDayInterval(instrument, request, state);
  }
}

std::vector<Candle> StoredCandlesOfDate(const Candle* instrument, std::int32_t date) {
  std::vector<MinuteRun> runs = StoredRuns(instrument);
  for (MinuteRun& run : runs) run.first = run.last = {date, 0};
  const MinuteRun* holder = Holder(runs, StartOfFirstDate);
  if (holder == nullptr) return {};
  const MinuteRun* finer = FinerReach(runs, holder, date);
  return Stitched(*holder, finer,
                  [](const MinuteRun& run, const Candle& c) { return c.date == run.first.date; });
}
