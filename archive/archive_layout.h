// The instrument archive layout in a working buffer of kArchiveRecords candles:
// records 0 to kSlotCount-1 are the interval slots (interval code in the date field,
// candle count in the time field, other fields zero), then the candles of slot 0, of
// slot 1, and so on. The candles of slot i start at record kSlotCount + the counts of the
// slots before it; the archive holds kSlotCount + the sum of the counts records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "archive/candle.h"
#include "archive/min_arch.h"

// A zeroed working buffer of kArchiveRecords records: the one this thread last gave back
// (zeroed again), or a new one.
std::vector<Candle> NewArchiveBuffer();
// Keeps a working buffer for this thread's next NewArchiveBuffer: a run loads thousands of
// archives one after another, and a buffer that stays mapped is zeroed far faster than new
// memory is mapped, faulted in and zeroed.
void RecycleArchiveBuffer(std::vector<Candle>&& buffer);

// A working buffer for one scope: NewArchiveBuffer, given back at the end of the scope.
class ScopedArchiveBuffer {
 public:
  ScopedArchiveBuffer() : buffer_(NewArchiveBuffer()) {}
  ScopedArchiveBuffer(const ScopedArchiveBuffer&) = delete;
  ScopedArchiveBuffer& operator=(const ScopedArchiveBuffer&) = delete;
  ~ScopedArchiveBuffer() { RecycleArchiveBuffer(std::move(buffer_)); }

  std::vector<Candle>& get() { return buffer_; }

 private:
  std::vector<Candle> buffer_;
};

std::int32_t SlotCode(const Candle* instrument, int slot);
std::int32_t SlotCount(const Candle* instrument, int slot);
// Writes a slot: code and count, the other fields zero.
void SetSlot(Candle* instrument, int slot, std::int32_t code, std::int32_t count);
// Zeroes all slots, then gives slot k the code codes[k] (at most kSlotCount codes are
// used; kNoInterval leaves a slot unused). All counts 0.
void InitSlots(Candle* instrument, std::span<const std::int32_t> codes);

// True when every slot count lies in 0 .. kMaxCandlesPerInterval.
bool SlotCountsValid(const Candle* instrument);
// Sum of the 16 slot counts (valid counts assumed).
int TotalCandles(const Candle* instrument);
// kSlotCount + TotalCandles: the records to write.
int ArchiveRecords(const Candle* instrument);

// Where an interval's run lies in a loaded archive.
struct SlotPlace {
  int slot = 0;         // index of the slot
  int firstRecord = 0;  // record of its first candle
  int count = 0;        // its candles
  int tailCount = 0;    // candles of this slot and of all later slots
};

// The first slot holding code; nothing when no slot does or when a count is out of range.
std::optional<SlotPlace> FindSlot(const Candle* instrument, std::int32_t code);

// Points arch at a slot of the archive in instrument: instrument buffer, candles, count.
void PointAtSlot(CMinArch& arch, Candle* instrument, const SlotPlace& place);

// True when arch's run and the tailCount records from its first candle lie inside its
// instrument buffer (kArchiveRecords records, slots excluded) and its count is in
// 0 .. tailCount.
bool RunFitsBuffer(const CMinArch& arch, int tailCount);

// Replaces the candles [first, last) of arch's run by fresh, making room in the instrument
// buffer: the runs of later slots (tailCount - count records after the run) move by the
// growth or shrinkage, and when the run would exceed kMaxCandlesPerInterval its oldest
// candles are dropped first (fresh ones too, if they alone are too many). Updates
// arch.m_Count and tailCount; the slot records are not touched (the caller stores the
// new count). Returns false, changing nothing, when the run does not fit its buffer
// (RunFitsBuffer) or the range is not within the run. Records freed at the end of the
// archive are zeroed.
bool ReplaceRun(CMinArch& arch, int first, int last, std::span<const Candle> fresh, int& tailCount);
