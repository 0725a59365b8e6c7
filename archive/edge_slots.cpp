#include "archive/edge_slots.h"

#include <algorithm>
#include <optional>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/calendar.h"

namespace {

struct Run {
  std::int32_t code = 0;
  const Candle* candles = nullptr;
  int count = 0;
};

// Slots of finer nest in slots of code: every slot starts at midnight's multiples of its
// size, and one of a day or more is the whole date.
bool Nests(std::int32_t finer, std::int32_t code) {
  return finer < code && (code >= kMinutesPerDay || code % finer == 0);
}

// Where a candle starts and ends, as minutes of its date (a slot of a day or more ends at
// the date's end).
struct Span {
  std::int32_t date = 0;
  int from = 0;
  int to = 0;
};
Span SpanOf(const Candle& c, std::int32_t code) {
  const int from = MinuteOfDay(c.time);
  return {c.date, from, std::min(from + code, kMinutesPerDay)};
}
bool EndsBy(const Span& a, const Span& b) {  // a ends before b starts
  return a.date < b.date || (a.date == b.date && a.to <= b.from);
}

// The interval a part of an edge slot of code from (date, from) on is read from: of the
// minute intervals finer than code whose slots nest in code's and that hold candles, the
// finest that shows all that the others show there: its run reaches back to that point,
// or no other holds a candle ending before its oldest one begins (one that dropped that
// stretch at 3000 candles no longer shows it). Else the finest.
std::optional<Run> EdgeRun(const std::vector<Candle>& instrument, std::int32_t code,
                           std::int32_t date, std::int32_t from) {
  std::vector<Run> runs;
  if (instrument.size() < static_cast<std::size_t>(kSlotCount)) return std::nullopt;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t finer = SlotCode(instrument.data(), slot);
    if (finer < kOneMinuteInterval || !Nests(finer, code)) continue;
    const auto place = FindSlot(instrument.data(), finer);
    if (!place || place->count == 0) continue;
    if (place->firstRecord + place->count > static_cast<int>(instrument.size())) continue;
    runs.push_back(Run{finer, instrument.data() + place->firstRecord, place->count});
  }
  if (runs.empty()) return std::nullopt;
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.code < b.code; });
  for (const Run& run : runs) {
    const Candle& oldest = run.candles[0];
    const bool reaches = oldest.date < date || (oldest.date == date && oldest.time <= from);
    const bool showsAll = std::none_of(runs.begin(), runs.end(), [&](const Run& other) {
      return EndsBy(SpanOf(other.candles[0], other.code), SpanOf(oldest, run.code));
    });
    if (reaches || showsAll) return run;
  }
  return runs.front();
}

bool InSlot(const Candle& c, std::int32_t date, std::int32_t slotStart, std::int32_t code) {
  return c.date == date && SlotStart(c.time, code) == slotStart;
}

}  // namespace

namespace {

// The stored candles of the slot of code that the inserted minute `edge` falls in, on the
// side of it that the insert leaves (before it when opening, else after it), in order: the
// candles of the interval read there (EdgeRun) wholly on that side of its own slot of
// `edge`, and, read the same way from the intervals nesting in that one, what its own
// rebuilt slot keeps. So the slot is what the finer interval shows once the insert has
// rebuilt that one too.
std::vector<Candle> KeptBeside(const std::vector<Candle>& instrument, std::int32_t code,
                               const MinutePoint& edge, bool opening) {
  const std::int32_t slot = SlotStart(edge.time, code);
  const std::optional<Run> run =
      EdgeRun(instrument, code, edge.date, opening ? slot : edge.time);
  if (!run) return {};
  const std::int32_t own = SlotStart(edge.time, run->code);
  std::vector<Candle> kept;
  for (int k = 0; k < run->count; ++k) {
    const Candle& c = run->candles[k];
    if (InSlot(c, edge.date, slot, code) && (opening ? c.time < own : c.time > own))
      kept.push_back(c);
  }
  if (run->code > kOneMinuteInterval) {
    std::vector<Candle> inner = KeptBeside(instrument, run->code, edge, opening);
    kept.insert(opening ? kept.end() : kept.begin(), inner.begin(), inner.end());
  }
  return kept;
}

}  // namespace

void KeepFinerInEdgeSlots(const std::vector<Candle>& instrumentBefore, std::int32_t code,
                          const MinutePoint& first, const MinutePoint& last, bool keepHead,
                          std::vector<Candle>& candles) {
  if (candles.empty() || code <= kOneMinuteInterval) return;
  Candle& head = candles.front();
  Candle& tail = candles.back();
  // Before the span: folded in order in front of the new first candle.
  if (keepHead && head.date == first.date && head.time == SlotStart(first.time, code)) {
    const std::vector<Candle> before = KeptBeside(instrumentBefore, code, first, true);
    if (!before.empty()) {
      Candle merged = before.front();
      for (std::size_t k = 1; k < before.size(); ++k) MergeInto(merged, before[k]);
      merged.time = head.time;
      MergeInto(merged, head);
      head = merged;
    }
  }
  // After the span: folded in order behind the new last candle.
  if (tail.date == last.date && tail.time == SlotStart(last.time, code)) {
    for (const Candle& c : KeptBeside(instrumentBefore, code, last, false)) MergeInto(tail, c);
  }
}
