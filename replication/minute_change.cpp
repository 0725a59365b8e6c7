#include "replication/minute_change.h"

#include <cmath>
#include <string>
#include <vector>

#include "app/min_replicator.h"
#include "archive/candle_file.h"
#include "replication/replication_constants.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr double kHalf = 0.5;

double RoundedDownPrice(double value, const ChangeParameters& change) {
  const double precision = change.pricePrecision;
  return std::floor(precision * value / change.priceDivisor) / precision;
}

}  // namespace

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

bool ChangeMinuteFile(const CMinReplicator& replicator, const std::filesystem::path& relPath) {
  LogAt(2, "Replicating file %s", support::NarrowPath(relPath).c_str());
  const std::filesystem::path file = replicator.minutesDir_ / relPath / kMinuteFileName;
  const std::string text = support::NarrowPath(file);
  CMinArch minutes(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  if (!ReadCandleFile(file, minutes, storage)) {
    LogError("File %s was not properly recalculated", text.c_str());
    return false;
  }
  LogAt(2, "Source file %s loaded", text.c_str());
  ChangeMinuteRecords(storage, replicator.action_, changeParameters);
  if (!WriteCandleFile(file, minutes)) {
    LogError("Error updating archive %s", text.c_str());
    return false;
  }
  LogAt(2, "Archive file %s saved", text.c_str());
  return true;
}
