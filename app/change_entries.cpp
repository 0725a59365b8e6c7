#include "app/change_entries.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/interval_names.h"
#include "support/log.h"

namespace {

constexpr char kFieldSeparator = ',';
constexpr std::int64_t kLotStep = 10;
constexpr std::uint8_t kLotTraceLevel = 99;
// The price line's format is built in a buffer of this size.
constexpr std::size_t kPriceFormatSize = 30;

enum Field { kClassField = 0, kSecField = 1, kThirdField = 2, kFourthField = 3 };
constexpr std::size_t kTailIsThird = 3;
constexpr std::size_t kWithFourth = 4;

std::vector<std::string> SplitFields(const std::string& value) {
  std::vector<std::string> fields(1);
  for (char c : value) {
    if (c == kFieldSeparator)
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

std::string FieldOrEmpty(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? fields[index] : std::string();
}

void TakeLot(const std::string& text, std::int32_t& lot) {
  if (!text.empty()) lot = ParseDecimal(text);
}

}  // namespace

LotEntry ParseLotEntry(const std::string& value, const LotEntry& previous) {
  const std::vector<std::string> fields = SplitFields(value);
  LotEntry entry;
  entry.cls = fields[kClassField];
  entry.sec = FieldOrEmpty(fields, kSecField);
  entry.oldLot = previous.oldLot;
  entry.newLot = previous.newLot;
  if (fields.size() >= kWithFourth) {
    TakeLot(fields[kThirdField], entry.oldLot);
    TakeLot(fields[kFourthField], entry.newLot);
  } else if (fields.size() == kTailIsThird) {
    TakeLot(fields[kThirdField], entry.newLot);
  }
  return entry;
}

bool LotsInRange(const LotEntry& entry) {
  return entry.oldLot >= kMinLot && entry.oldLot <= kMaxLot && entry.newLot >= kMinLot &&
         entry.newLot <= kMaxLot;
}

double LotDivisor(std::int32_t oldLot, std::int32_t newLot) {
  std::int64_t dd = kLotStep;
  while (dd * newLot / oldLot < 1) {
    dd *= kLotStep;
    LogAt(kLotTraceLevel, "kLot_ = %i    dd = %i", static_cast<int>(dd * newLot / oldLot),
          static_cast<int>(dd));
  }
  return static_cast<double>(dd * newLot) / oldLot / static_cast<double>(dd);
}

PriceEntry ParsePriceEntry(const std::string& value) {
  const std::vector<std::string> fields = SplitFields(value);
  PriceEntry entry;
  entry.cls = fields[kClassField];
  entry.sec = FieldOrEmpty(fields, kSecField);
  if (fields.size() > kThirdField)
    entry.divisor = std::strtod(fields[kThirdField].c_str(), nullptr);
  if (fields.size() == kWithFourth) entry.digits = ParseDecimal(fields[kFourthField]);
  return entry;
}

bool PriceDivisorValid(const PriceEntry& entry) {
  return std::isfinite(entry.divisor) && entry.divisor > 0.0;
}

bool PriceDigitsValid(const PriceEntry& entry) {
  return entry.digits >= kMinPriceDigits && entry.digits <= kMaxPriceDigits;
}

std::string PriceLineFormat(std::int32_t digits) {
  char format[kPriceFormatSize];
  std::snprintf(format, sizeof format, "%s%if %s", "%s %s %9.", static_cast<int>(digits), "%i");
  return format;
}
