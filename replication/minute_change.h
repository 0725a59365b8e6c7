// The minute side of the lot and price change: the parameters of the change entry being
// applied (set by the changelot and changeprice actions for each entry, read while the
// instrument's minute export files are rewritten) and the rewrite itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "archive/candle.h"
#include "replication/replication_constants.h"

// Decimals of minute prices after a price change, unless the entry names others.
inline constexpr std::int32_t kDefaultPriceDigits = 2;
inline constexpr std::int32_t kDefaultPricePrecision = 100;
// The lot change end that means "no range": the whole history and the minute files.
inline constexpr std::int32_t kNoLotRange = 0;

struct ChangeParameters {
  double lotDivisor = 1.0;                               // L: volumes are divided by it
  double priceDivisor = 0.0;                             // D: prices are divided by it
  std::int32_t priceDigits = kDefaultPriceDigits;        // decimals kept in minute prices
  std::int32_t pricePrecision = kDefaultPricePrecision;  // P = 10 ^ priceDigits
  std::int32_t priceBegin = kRangeLowerBoundStart;       // B: first date (also of the lot range)
  std::int32_t priceEnd = kRangeUpperBoundStart;         // E: last date of the price change
  std::int32_t lotEnd = kNoLotRange;                     // last date of the lot change
};

inline constexpr std::string_view kChangeLotAction = "changelot";
inline constexpr std::string_view kChangePriceAction = "changeprice";

// Minute records of one export file under a change:
// - "changeprice": for dates B..E, close, high, low and open each become
//   floor(P * value / D) / P (rounded down to the kept decimals); others unchanged;
// - "changelot": every volume becomes floor(volume / L + 0.5).
// Any other action changes nothing.
void ChangeMinuteRecords(std::span<Candle> minutes, std::string_view action,
                         const ChangeParameters& change);

// The first of count records whose volume or a price is a finite number in before and
// not in after (a change that overflowed, such as a price divided by 1e-307); -1 when the
// change kept every finite value finite.
int FirstValueMadeNonFinite(const Candle* before, const Candle* after, int count);

struct InstrumentWork;
struct RunSettings;

// The minute change of one export date: minutesDir_ / relPath / "1.dat" (relPath:
// date/class/security) read, changed by ChangeMinuteRecords under work.action_ and
// work.change_, and written back crash-safely. A missing or unreadable file: "File %s
// was not properly recalculated" (errors log). A change that would make a finite value
// non-finite: "File %s not changed: ..." naming the first such record (errors log), the
// file left as it was. A failed rewrite: "Error updating archive %s" (errors log), the
// previous file intact. False on any of these.
bool ChangeMinuteFile(const RunSettings& settings, const InstrumentWork& work,
                      const std::filesystem::path& relPath);
