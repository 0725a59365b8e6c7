// What an insert keeps in the N-minute slots its first and last minute fall in.
//
// An N-minute candle holds no minutes, so an insert rebuilds the whole slot its first
// minute falls in (and the one its last minute falls in) from the inserted minutes alone.
// The stored minutes of those slots outside the inserted span survive only where a finer
// minute interval whose slots nest in N's still holds them: the candles of the finest such
// interval that still reaches back to the slot's start, in the edge slot and wholly
// outside the span (its own edge slots are rebuilt the same way), are folded into the new
// edge candles, so that the intervals of one archive keep agreeing.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/candle.h"

struct MinutePoint {
  std::int32_t date = 0;
  std::int32_t time = 0;
};

// Folds into candles (the new candles of interval code, in order) the candles of a
// nesting minute interval of instrumentBefore (the archive as it stood before the insert)
// that lie in the slot of first (the first inserted minute) before the span, and in the
// slot of last (the last inserted minute) after it: for each slot the finest such
// interval whose run reaches back to the slot's start, else the finest. keepHead false leaves the first
// slot as it is (its part before the span is kept otherwise).
void KeepFinerInEdgeSlots(const std::vector<Candle>& instrumentBefore, std::int32_t code,
                          const MinutePoint& first, const MinutePoint& last, bool keepHead,
                          std::vector<Candle>& candles);
