#include "archive/day_widening.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/minute_candles.h"

namespace {

struct Point {
  std::int32_t date = 0;
  std::int32_t time = 0;
};

bool After(const Candle& c, const Point& p) {
  return c.date > p.date || (c.date == p.date && c.time > p.time);
}

// A minute interval of the archive and the first and last candle the insert gives it.
struct MinuteRun {
  const Candle* candles = nullptr;
  int count = 0;
  Point first;
  Point last;
};

std::vector<MinuteRun> MinuteRuns(const Candle* instrument, const ApplyRequest& request,
                                  std::int32_t sessionStart) {
  std::vector<std::pair<std::int32_t, SlotPlace>> places;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t code = SlotCode(instrument, slot);
    if (code < kOneMinuteInterval) continue;
    const auto place = FindSlot(instrument, code);
    if (place && place->slot == slot && place->count > 0) places.emplace_back(code, *place);
  }
  std::sort(places.begin(), places.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<MinuteRun> runs;
  for (const auto& [code, place] : places) {
    MinuteBuildInput input;
    input.minutes = request.minutes.m_Candles;
    input.count = request.minutes.m_Count;
    input.interval = code;
    input.date = request.date;
    input.sessionStart = sessionStart;
    AggregationState scratch;
    const MinuteBuildResult built = BuildMinuteCandles(input, scratch);
    if (!built.ok || built.candles.empty()) continue;
    MinuteRun run;
    run.candles = instrument + place.firstRecord;
    run.count = place.count;
    run.first = {built.candles.front().date, built.candles.front().time};
    run.last = {built.candles.back().date, built.candles.back().time};
    runs.push_back(run);
  }
  return runs;
}

// True when the run still holds every candle it ever stored from `from` on: it never
// dropped one, or its oldest candle is not after `from`.
bool HoldsFrom(const MinuteRun& run, const Point& from) {
  return run.count < kMaxCandlesPerInterval || !After(run.candles[0], from);
}

// The finest run that holds what it stored from `from` on.
const MinuteRun* Holder(const std::vector<MinuteRun>& runs, Point (*from)(const MinuteRun&)) {
  for (const MinuteRun& run : runs) {
    if (HoldsFrom(run, from(run))) return &run;
  }
  return nullptr;
}

Point StartOfFirstDate(const MinuteRun& run) {
  return {run.first.date, 0};
}
Point LastPoint(const MinuteRun& run) {
  return run.last;
}

// Record 0 takes the stored candles of the first date before the range: they come first,
// so the earliest one's open is the day's open.
void WidenOpening(const MinuteRun& run, Candle& opening) {
  bool openTaken = false;
  for (int k = 0; k < run.count; ++k) {
    const Candle& c = run.candles[k];
    if (c.date != run.first.date || c.time >= run.first.time) continue;
    if (!openTaken) opening.open = c.open;
    openTaken = true;
    opening.high = std::max(opening.high, c.high);
    opening.low = std::min(opening.low, c.low);
    opening.volume += c.volume;
  }
}

// The record being filled takes the stored candles of the last date after the range.
void WidenClosing(const MinuteRun& run, Candle& closing) {
  for (int k = 0; k < run.count; ++k) {
    const Candle& c = run.candles[k];
    if (c.date == run.last.date && c.time > run.last.time) MergeInto(closing, c);
  }
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
// candle of that date holds it whole. When the inserted date itself was not stored, that
// candle came from the next export alone and follows the part after midnight; when it
// was, the candle already holds an earlier copy of that part and is kept as it stands.
void WidenSecondDayFromDayInterval(const Candle* instrument, const ApplyRequest& request,
                                   AggregationState& state) {
  Candle& second = state.day[1];
  const std::optional<Candle> stored = StoredDay(instrument, second.date);
  if (!stored) return;
  if (StoredDay(instrument, request.date)) {
    second = *stored;
    return;
  }
  MergeInto(second, *stored);
}

}  // namespace

void WidenInsertedDay(const Candle* instrument, const ApplyRequest& request,
                      std::int32_t sessionStart, AggregationState& state) {
  const std::vector<MinuteRun> runs = MinuteRuns(instrument, request, sessionStart);
  if (const MinuteRun* run = Holder(runs, StartOfFirstDate)) WidenOpening(*run, state.day[0]);
  const bool secondDay = state.state == DayState::kSecondDay;
  Candle& closing = state.day[secondDay ? 1 : 0];
  if (const MinuteRun* run = Holder(runs, LastPoint)) {
    WidenClosing(*run, closing);
  } else if (secondDay) {
    WidenSecondDayFromDayInterval(instrument, request, state);
  }
}

std::span<const Candle> FinestRunHoldingDate(const Candle* instrument, std::int32_t date) {
  std::span<const Candle> finest;
  std::int32_t finestCode = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t code = SlotCode(instrument, slot);
    if (code < kOneMinuteInterval || (finestCode != 0 && code >= finestCode)) continue;
    const auto place = FindSlot(instrument, code);
    if (!place || place->slot != slot || place->count == 0) continue;
    MinuteRun run;
    run.candles = instrument + place->firstRecord;
    run.count = place->count;
    if (!HoldsFrom(run, {date, 0})) continue;
    finest = std::span<const Candle>(run.candles, static_cast<std::size_t>(run.count));
    finestCode = code;
  }
  return finest;
}
