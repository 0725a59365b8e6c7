// Test and benchmark helpers: minute series and an instrument archive in memory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/archive_merge.h"
#include "archive/calendar.h"
#include "archive/candle.h"
#include "archive/min_arch.h"

namespace test_archive {

// A minute at date and time (HHMMSS); its prices spread around price.
inline Candle Minute(std::int32_t date, std::int32_t time, double price, double volume) {
  Candle c;
  c.date = date;
  c.time = time;
  c.open = price;
  c.high = price + 1;
  c.low = price - 1;
  c.close = price + 0.5;
  c.volume = volume;
  return c;
}

inline std::int32_t TimeOfMinute(int minuteOfDay) {
  return (minuteOfDay / kMinutesPerHour) * kTimeHourFactor +
         (minuteOfDay % kMinutesPerHour) * kTimeMinuteFactor;
}

// Minutes from HHMM `from` to HHMM `to` inclusive (same day), volume 1 each, price rising.
inline std::vector<Candle> Minutes(std::int32_t date, int fromHhmm, int toHhmm,
                                   double price = 100) {
  std::vector<Candle> out;
  const int first = MinuteOfDay(fromHhmm * kTimeMinuteFactor);
  const int last = MinuteOfDay(toHhmm * kTimeMinuteFactor);
  for (int m = first; m <= last; ++m) out.push_back(Minute(date, TimeOfMinute(m), price++, 1));
  return out;
}

// An instrument archive in memory whose slots hold the given interval names in order,
// merged as the replication does: intervals applied in the order of the sorted list.
class Archive {
 public:
  explicit Archive(const std::vector<std::string>& names) : buffer_(NewArchiveBuffer()) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::int32_t> codes;
    for (const auto& name : names) {
      entries.emplace_back(name, "3000");
      codes.push_back(CMinArch(name, 0).m_Interval);
    }
    intervals_ = BuildIntervals(entries);
    InitSlots(buffer_.data(), codes);
  }

  // Merges one day (a fresh aggregation state, as for one instrument).
  MergeResult Apply(const std::vector<Candle>& minutes, std::int32_t date,
                    std::int32_t sessionStart = 0, const char* action = "add") {
    AggregationState state;
    return Apply(minutes, date, state, sessionStart, action);
  }
  MergeResult Apply(const std::vector<Candle>& minutes, std::int32_t date, AggregationState& state,
                    std::int32_t sessionStart = 0, const char* action = "add") {
    CMinArch series(kOneMinuteInterval, 0);
    series.m_Candles = const_cast<Candle*>(minutes.data());
    series.m_Count = static_cast<std::int32_t>(minutes.size());
    const ApplyRequest request{series, date, action, "test.dat", 0};
    return MergeDayIntoArchive(buffer_.data(), intervals_, request, sessionStart, state);
  }

  // The candles of the interval with this code.
  std::vector<Candle> Run(std::int32_t code) const {
    const auto place = FindSlot(buffer_.data(), code);
    if (!place) return {};
    const Candle* first = buffer_.data() + place->firstRecord;
    return std::vector<Candle>(first, first + place->count);
  }

  Candle* Buffer() { return buffer_.data(); }
  std::vector<CMinArch>& Intervals() { return intervals_; }
  int Records() const { return ArchiveRecords(buffer_.data()); }

 private:
  std::vector<Candle> buffer_;
  std::vector<CMinArch> intervals_;
};

}  // namespace test_archive
