#include "archive/edge_slots.h"

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

// The finest minute interval finer than code whose slots nest in code's and that holds
// candles.
std::optional<Run> FinestNestingRun(const std::vector<Candle>& instrument, std::int32_t code) {
  std::optional<Run> best;
  if (instrument.size() < static_cast<std::size_t>(kSlotCount)) return best;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t finer = SlotCode(instrument.data(), slot);
    if (finer < kOneMinuteInterval || !Nests(finer, code)) continue;
    if (best && best->code <= finer) continue;
    const auto place = FindSlot(instrument.data(), finer);
    if (!place || place->count == 0) continue;
    if (place->firstRecord + place->count > static_cast<int>(instrument.size())) continue;
    best = Run{finer, instrument.data() + place->firstRecord, place->count};
  }
  return best;
}

bool InSlot(const Candle& c, std::int32_t date, std::int32_t slotStart, std::int32_t code) {
  return c.date == date && SlotStart(c.time, code) == slotStart;
}

}  // namespace

void KeepFinerInEdgeSlots(const std::vector<Candle>& instrumentBefore, std::int32_t code,
                          const MinutePoint& first, const MinutePoint& last, bool keepHead,
                          std::vector<Candle>& candles) {
  if (candles.empty() || code <= kOneMinuteInterval) return;
  const std::optional<Run> run = FinestNestingRun(instrumentBefore, code);
  if (!run) return;
  const std::int32_t headSlot = SlotStart(first.time, code);
  const std::int32_t headSpan = SlotStart(first.time, run->code);
  const std::int32_t tailSlot = SlotStart(last.time, code);
  const std::int32_t tailSpan = SlotStart(last.time, run->code);
  Candle& head = candles.front();
  Candle& tail = candles.back();
  const bool headIsSlot = head.date == first.date && head.time == headSlot;
  const bool tailIsSlot = tail.date == last.date && tail.time == tailSlot;
  // Before the span: folded in order in front of the new candle.
  std::optional<Candle> before;
  std::vector<Candle> after;
  for (int k = 0; k < run->count; ++k) {
    const Candle& c = run->candles[k];
    if (keepHead && headIsSlot && InSlot(c, first.date, headSlot, code) && c.time < headSpan) {
      if (before) {
        MergeInto(*before, c);
      } else {
        before = c;
      }
    }
    if (tailIsSlot && InSlot(c, last.date, tailSlot, code) && c.time > tailSpan)
      after.push_back(c);
  }
  if (before) {
    Candle merged = *before;
    merged.time = head.time;
    MergeInto(merged, head);
    head = merged;
  }
  for (const Candle& c : after) MergeInto(tail, c);
}
