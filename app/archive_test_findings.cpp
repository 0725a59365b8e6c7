#include "app/archive_test_findings.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "app/run_settings.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/usable_candle.h"
#include "replication/run_settings.h"

namespace {

constexpr char kErrorText[] = " contains errors: ";
constexpr char kZeroVolumeText[] = " contains zero volume: ";
// Wide enough for the decimal digits of any double.
constexpr std::size_t kWholeTextSize = 400;

bool IsZero(double value) {
  return std::fabs(value) <= kValueTolerance;
}

std::uint32_t UnsignedCount(const Candle* buffer, int slot) {
  return static_cast<std::uint32_t>(SlotCount(buffer, slot));
}

// Names of interval codes in the test's lines.
std::string IntervalText(std::int32_t code) {
  if (code == kDayInterval) return "day";
  if (code == kWeekInterval) return "week";
  if (code == kMonthInterval) return "mounth";
  return std::to_string(code);
}

// A value truncated toward zero, in decimal (any magnitude, without overflow).
std::string Whole(double value) {
  char text[kWholeTextSize];
  std::snprintf(text, sizeof text, "%.0f", std::trunc(value));
  return text;
}

std::string SlotKey(int slot) {
  const std::size_t index = static_cast<std::size_t>(slot);
  return index < intervalEntries.size() ? intervalEntries[index].first : std::string();
}

// Interval text and index within the slot of record (past the last slot: empty text and
// the index past the counted candles).
std::string RecordPlace(const Candle* buffer, int record) {
  std::int64_t k = record - kSlotCount;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int64_t count = UnsignedCount(buffer, slot);
    if (k - count < 0)
      return "Interval='" + IntervalText(SlotCode(buffer, slot)) + "' (index=" + std::to_string(k);
    k -= count;
  }
  return "Interval='' (index=" + std::to_string(k);
}

std::string RecordLine(const std::string& pathText, const char* kind, const Candle* buffer,
                       int record, CandleFault fault = CandleFault::kNone) {
  const Candle& c = buffer[record];
  return "Archive file " + pathText + kind + RecordPlace(buffer, record) +
         ", internal index=" + std::to_string(record) + "), Date=" + std::to_string(c.date) +
         ", Open=" + Whole(c.open) + ", High=" + Whole(c.high) + ", Low=" + Whole(c.low) +
         ", Close=" + Whole(c.close) + ", Volume=" + Whole(c.volume) + CandleFaultSuffix(fault);
}

bool CheckSlots(const std::string& pathText, const Candle* buffer, ArchiveFindings& findings) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::uint32_t count = UnsignedCount(buffer, slot);
    if (count <= static_cast<std::uint32_t>(kMaxCandlesPerInterval)) continue;
    findings.lines.push_back("Archive file " + pathText + kErrorText + "Invalid candle count " +
                             std::to_string(SlotCount(buffer, slot)) + " in interval '" +
                             SlotKey(slot) + "'");
    findings.corrupted = true;
  }
  return !findings.corrupted;
}

}  // namespace

ArchiveFindings TestArchiveRecords(const std::string& pathText, const Candle* buffer, int records) {
  ArchiveFindings findings;
  if (!CheckSlots(pathText, buffer, findings)) return findings;
  CandleRunChecker checker;
  for (int record = kSlotCount; record < records; ++record) {
    const Candle& c = buffer[record];
    const CandleFault fault = checker.Find(c);
    if (fault != CandleFault::kNone) {
      findings.lines.push_back(RecordLine(pathText, kErrorText, buffer, record, fault));
      findings.corrupted = true;
      return findings;
    }
    if (IsZero(c.volume)) {
      findings.lines.push_back(RecordLine(pathText, kZeroVolumeText, buffer, record));
      findings.zeroVolume = true;
    }
  }
  const int expected = ArchiveRecords(buffer);
  if (records != expected) {
    findings.lines.push_back("Archive file " + pathText + kErrorText + "Invalid record count " +
                             std::to_string(records) + ", the intervals hold " +
                             std::to_string(expected));
    findings.corrupted = true;
  }
  return findings;
}
