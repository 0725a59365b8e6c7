#include "archive/archive_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

std::vector<Candle>& SpareBuffer() {
  thread_local std::vector<Candle> spare;
  return spare;
}

}  // namespace

std::vector<Candle> NewArchiveBuffer() {
  std::vector<Candle>& spare = SpareBuffer();
  if (spare.size() != static_cast<std::size_t>(kArchiveRecords))
    return std::vector<Candle>(kArchiveRecords);
  std::vector<Candle> buffer = std::move(spare);
  spare = {};
  // All-zero bytes are Candle{} (zero doubles and integers); one memset, not a loop.
  static_assert(std::is_trivially_copyable_v<Candle>);
  std::memset(static_cast<void*>(buffer.data()), 0, buffer.size() * sizeof(Candle));
  return buffer;
}

void RecycleArchiveBuffer(std::vector<Candle>&& buffer) {
  if (buffer.size() == static_cast<std::size_t>(kArchiveRecords)) SpareBuffer() = std::move(buffer);
}

std::int32_t SlotCode(const Candle* instrument, int slot) {
  return instrument[slot].date;
}

std::int32_t SlotCount(const Candle* instrument, int slot) {
  return instrument[slot].time;
}

void SetSlot(Candle* instrument, int slot, std::int32_t code, std::int32_t count) {
  instrument[slot] = Candle{};
  instrument[slot].date = code;
  instrument[slot].time = count;
}

void InitSlots(Candle* instrument, std::span<const std::int32_t> codes) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const bool given = static_cast<std::size_t>(slot) < codes.size();
    SetSlot(instrument, slot, given ? codes[slot] : kNoInterval, 0);
  }
}

bool SlotCountsValid(const Candle* instrument) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t count = SlotCount(instrument, slot);
    if (count < 0 || count > kMaxCandlesPerInterval) return false;
  }
  return true;
}

int TotalCandles(const Candle* instrument) {
  int total = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) total += SlotCount(instrument, slot);
  return total;
}

int ArchiveRecords(const Candle* instrument) {
  return kSlotCount + TotalCandles(instrument);
}

std::optional<SlotPlace> FindSlot(const Candle* instrument, std::int32_t code) {
  if (instrument == nullptr || !SlotCountsValid(instrument)) return std::nullopt;
  int before = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (SlotCode(instrument, slot) == code) {
      SlotPlace place;
      place.slot = slot;
      place.firstRecord = kSlotCount + before;
      place.count = SlotCount(instrument, slot);
      place.tailCount = TotalCandles(instrument) - before;
      return place;
    }
    before += SlotCount(instrument, slot);
  }
  return std::nullopt;
}

void PointAtSlot(CMinArch& arch, Candle* instrument, const SlotPlace& place) {
  arch.m_Instrument = instrument;
  arch.m_Candles = instrument + place.firstRecord;
  arch.m_Count = place.count;
}

bool RunFitsBuffer(const CMinArch& arch, int tailCount) {
  if (arch.m_Instrument == nullptr || arch.m_Candles == nullptr) return false;
  const auto base = reinterpret_cast<std::uintptr_t>(arch.m_Instrument);
  const auto run = reinterpret_cast<std::uintptr_t>(arch.m_Candles);
  if (run < base || (run - base) % sizeof(Candle) != 0) return false;
  const std::uintptr_t first = (run - base) / sizeof(Candle);
  return first >= static_cast<std::uintptr_t>(kSlotCount) && arch.m_Count >= 0 &&
         arch.m_Count <= tailCount &&
         first + static_cast<std::uintptr_t>(tailCount) <=
             static_cast<std::uintptr_t>(kArchiveRecords);
}

bool ReplaceRun(CMinArch& arch, int first, int last, std::span<const Candle> fresh,
                int& tailCount) {
  const int count = arch.m_Count;
  if (!RunFitsBuffer(arch, tailCount) || first < 0 || first > last || last > count) return false;
  const int later = tailCount - count;
  const std::size_t combined = static_cast<std::size_t>(first) + fresh.size() + (count - last);
  const std::size_t keep = std::min<std::size_t>(combined, kMaxCandlesPerInterval);
  std::size_t drop = combined - keep;

  // The new run: run[0, first) + fresh + run[last, count), less its oldest `drop`.
  std::vector<Candle> result;
  result.reserve(keep);
  auto take = [&](const Candle* from, std::size_t n) {
    const std::size_t skipped = std::min(drop, n);
    drop -= skipped;
    result.insert(result.end(), from + skipped, from + n);
  };
  take(arch.m_Candles, first);
  take(fresh.data(), fresh.size());
  take(arch.m_Candles + last, count - last);

  const std::uintptr_t runOffset = static_cast<std::uintptr_t>(arch.m_Candles - arch.m_Instrument);
  if (runOffset + keep + later > static_cast<std::uintptr_t>(kArchiveRecords)) return false;
  std::memmove(arch.m_Candles + keep, arch.m_Candles + count, later * sizeof(Candle));
  std::copy(result.begin(), result.end(), arch.m_Candles);
  const int newTail = static_cast<int>(keep) + later;
  if (newTail < tailCount)
    std::fill(arch.m_Candles + newTail, arch.m_Candles + tailCount, Candle{});
  arch.m_Count = static_cast<int>(keep);
  tailCount = newTail;
  return true;
}
