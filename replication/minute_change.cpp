#include "replication/minute_change.h"

#include <cmath>
#include <string>
#include <vector>

#include "archive/candle_file.h"
#include "replication/change_journal.h"
#include "replication/instrument_work.h"
#include "replication/replication_constants.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr double kHalf = 0.5;

double RoundedDownPrice(double value, const ChangeParameters& change) {
  const double precision = change.pricePrecision;
  return std::floor(precision * value / change.priceDivisor) / precision;
}

bool Finite(const Candle& c) {
  return std::isfinite(c.volume) && std::isfinite(c.open) && std::isfinite(c.high) &&
         std::isfinite(c.low) && std::isfinite(c.close);
}

bool StillFinite(double before, double after) {
  return !std::isfinite(before) || std::isfinite(after);
}

}  // namespace

int FirstValueMadeNonFinite(const Candle* before, const Candle* after, int count) {
  for (int i = 0; i < count; ++i) {
    const Candle& b = before[i];
    const Candle& a = after[i];
    if (Finite(a)) continue;
    if (!StillFinite(b.volume, a.volume) || !StillFinite(b.open, a.open) ||
        !StillFinite(b.high, a.high) || !StillFinite(b.low, a.low) ||
        !StillFinite(b.close, a.close))
      return i;
  }
  return -1;
}

void ChangeMinuteRecords(std::span<Candle> minutes, std::string_view action,
                         const ChangeParameters& change) {
  const bool price = action == kChangePriceAction;
  const bool lot = action == kChangeLotAction;
  for (Candle& c : minutes) {
    if (lot) c.volume = std::floor(c.volume / change.lotDivisor + kHalf);
    if (!price || c.date < change.priceBegin || c.date > change.priceEnd) continue;
    c.close = RoundedDownPrice(c.close, change);
    c.high = RoundedDownPrice(c.high, change);
    c.low = RoundedDownPrice(c.low, change);
    c.open = RoundedDownPrice(c.open, change);
  }
}

bool ChangeMinuteFile(const RunSettings& settings, const InstrumentWork& work,
                      const std::filesystem::path& relPath) {
  LogAt(2, "Replicating file %s", support::NarrowPath(relPath).c_str());
  const std::filesystem::path file = settings.minutesDir_ / relPath / kMinuteFileName;
  const std::string text = support::NarrowPath(file);
  const ChangeJournal::Step step = RunChangeJournal().Next(file);
  if (step.done) {
    LogAt(1, "File %s already holds this change: the interrupted run changed it", text.c_str());
    return true;
  }
  CMinArch minutes(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  if (!ReadCandleFile(file, minutes, storage)) {
    LogError("File %s was not properly recalculated", text.c_str());
    return false;
  }
  LogAt(2, "Source file %s loaded", text.c_str());
  const std::vector<Candle> before = storage;
  ChangeMinuteRecords(storage, work.action_, work.change_);
  const int overflow = FirstValueMadeNonFinite(before.data(), storage.data(), minutes.m_Count);
  if (overflow >= 0) {
    const Candle& c = before[overflow];
    LogError(
        "File %s not changed: the change would make minute record %d (date %d, time %06d) "
        "not a finite number",
        text.c_str(), overflow, c.date, c.time);
    return false;
  }
  if (!WriteCandleFile(file, minutes, [&](std::span<const unsigned char> bytes) {
        return RunChangeJournal().Record(step, bytes);
      })) {
    LogError("Error updating archive %s", text.c_str());
    return false;
  }
  LogAt(2, "Archive file %s saved", text.c_str());
  return true;
}
