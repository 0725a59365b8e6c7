// The entries of [ChangeLot] and [ChangePrice]: their values parsed, checked and turned
// into the divisors and the log line of the change.
#pragma once

#include <cstdint>
#include <string>

// Bounds of a lot; outside them an entry is rejected (the divisor then stays finite).
inline constexpr std::int32_t kMinLot = 1;
inline constexpr std::int32_t kMaxLot = 100000000;
// Bounds of the decimals of a price change (10 ^ 9 still fits the precision).
inline constexpr std::int32_t kMinPriceDigits = 0;
inline constexpr std::int32_t kMaxPriceDigits = 9;

struct LotEntry {
  std::string cls;
  std::string sec;
  std::int32_t oldLot = 0;
  std::int32_t newLot = 0;
};

// "CLASS,SEC,OLDLOT,NEWLOT", split at every ',' without trimming: field 0 the class,
// field 1 the security; with four or more fields field 2 is the old lot and field 3 the
// new one (further fields ignored); with exactly three, field 3's place is taken by the
// last field (the new lot). A lot that is absent or empty keeps previous's value.
LotEntry ParseLotEntry(const std::string& value, const LotEntry& previous);

// Both lots within kMinLot .. kMaxLot.
bool LotsInRange(const LotEntry& entry);

// The lot divisor L = new / old: dd starts at 10 and grows tenfold while
// (dd * new) / old in integer division is below 1, each step traced at level 99 as
// "kLot_ = %i    dd = %i" (quotient and dd after the step); then
// L = double(dd * new) / old / dd. Lots within range.
double LotDivisor(std::int32_t oldLot, std::int32_t newLot);

struct PriceEntry {
  std::string cls;
  std::string sec;
  double divisor = 0.0;
  std::int32_t digits = 0;
};

// "CLASS,SEC,DIVISOR" or "CLASS,SEC,DIVISOR,DIGITS", split at every ',' without trimming.
// Fewer than three fields: divisor 0; other than four fields: digits 0 (the default).
PriceEntry ParsePriceEntry(const std::string& value);

// A divisor that is a finite number above zero.
bool PriceDivisorValid(const PriceEntry& entry);
// Digits within kMinPriceDigits .. kMaxPriceDigits.
bool PriceDigitsValid(const PriceEntry& entry);

// The format of the price change's log line for digits decimals: "%s %s %9.<d>f %i".
std::string PriceLineFormat(std::int32_t digits);
