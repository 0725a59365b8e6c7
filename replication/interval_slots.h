// Which configured intervals an instrument archive can hold: its kSlotCount slots are
// given to the keys of [Intervals] in the order of the settings file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/min_arch.h"
#include "support/ini_file.h"

struct IntervalSlotPlan {
  // Slot codes of a new archive, kSlotCount of them (kNoInterval: unused).
  std::vector<std::int32_t> codes;
  // Keys of intervals that find no slot, in file order: they are never merged.
  std::vector<std::string> ignored;
};

// keys: the entries of [Intervals] in file order. The key at position k below kSlotCount
// gives slot k its code; a key beginning with "//", a code that is not an interval, or a
// code that an earlier key has already given leaves that slot unused. Keys past the
// sixteenth that name another interval take the unused slots in order; those that find
// none are ignored. So at most kSlotCount intervals are kept, and every kept one has a
// slot in a new archive.
IntervalSlotPlan PlanIntervalSlots(const std::vector<IniEntry>& keys);

// The intervals of the list whose code has a slot in plan, in list order (the whole list
// when plan ignores no key). When plan ignores keys, one error line says which: "Only 16 intervals
// fit in an archive: N keys of [Intervals] are ignored: K1, K2".
std::vector<CMinArch> KeepIntervalsWithSlots(const std::vector<CMinArch>& intervals,
                                             const IntervalSlotPlan& plan);
