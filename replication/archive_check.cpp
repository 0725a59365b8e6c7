#include "replication/archive_check.h"

#include <cmath>
#include <cstdio>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/interval_names.h"
#include "archive/usable_candle.h"
#include "support/log.h"

namespace {

constexpr char kTestHint[] = ". You can check integrity of all archives using 'Action=test' mode.";

// A price or volume truncated toward zero, in decimal without separators.
std::string Whole(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", std::trunc(value));
  return text;
}

// The interval of a damaged record as its line names it: "mounth" for the month interval.
std::string RecordIntervalName(std::int32_t code) {
  return code == kMonthInterval ? "mounth" : IntervalNameOfCode(code);
}

std::string DescribeRecord(const Candle* buffer, int record, CandleFault fault) {
  int x = record - kSlotCount;
  std::string name;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const int count = SlotCount(buffer, slot);
    if (x < count) {
      name = RecordIntervalName(SlotCode(buffer, slot));
      break;
    }
    x -= count;
  }
  const Candle& c = buffer[record];
  return "Interval='" + name + "' (index=" + std::to_string(x) +
         ", internal index=" + std::to_string(record) + "), Date=" + std::to_string(c.date) +
         ", Open=" + Whole(c.open) + ", High=" + Whole(c.high) + ", Low=" + Whole(c.low) +
         ", Close=" + Whole(c.close) + ", Volume=" + Whole(c.volume) + CandleFaultSuffix(fault);
}

}  // namespace

std::string FindArchiveDamage(const Candle* buffer, int records,
                              std::string (*slotName)(const Candle* buffer, int slot)) {
  if (records < kSlotCount)
    return "Invalid record count " + std::to_string(records) + ", the interval slots need " +
           std::to_string(kSlotCount) + kTestHint;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t count = SlotCount(buffer, slot);
    if (count < 0 || count > kMaxCandlesPerInterval)
      return "Invalid candle count " + std::to_string(count) + " in interval '" +
             slotName(buffer, slot) + "'" + kTestHint;
  }
  const int expected = ArchiveRecords(buffer);
  if (records != expected)
    return "Invalid record count " + std::to_string(records) + ", the intervals hold " +
           std::to_string(expected) + kTestHint;
  CandleRunChecker checker;
  for (int record = kSlotCount; record < records; ++record) {
    const CandleFault fault = checker.Find(buffer[record]);
    if (fault != CandleFault::kNone) return DescribeRecord(buffer, record, fault);
  }
  return {};
}

void ReportDamagedArchive(const std::string& pathText, const std::string& damage) {
  const std::string line = "Archive file " + pathText + " contains errors: " + damage;
  LogAt(0, "%s", line.c_str());
}
