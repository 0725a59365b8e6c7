#include "archive/candle.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

namespace {

template <typename T>
void PutLittleEndian(T value, unsigned char* out) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8);
  using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
  Bits bits;
  std::memcpy(&bits, &value, sizeof bits);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &bits, sizeof bits);
  } else {
    for (std::size_t i = 0; i < sizeof bits; ++i)
      out[i] = static_cast<unsigned char>(bits >> (8 * i));
  }
}

template <typename T>
T GetLittleEndian(const unsigned char* in) {
  using Bits = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
  Bits bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, in, sizeof bits);
  } else {
    for (std::size_t i = 0; i < sizeof bits; ++i) bits |= static_cast<Bits>(in[i]) << (8 * i);
  }
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

constexpr bool kCandlesAreFileBytes =
    std::endian::native == std::endian::little && sizeof(Candle) == kCandleBytes &&
    offsetof(Candle, volume) == 0 && offsetof(Candle, open) == kCandleDoubleBytes &&
    offsetof(Candle, high) == 2 * kCandleDoubleBytes &&
    offsetof(Candle, low) == 3 * kCandleDoubleBytes &&
    offsetof(Candle, close) == 4 * kCandleDoubleBytes &&
    offsetof(Candle, date) == kCandleDateOffset && offsetof(Candle, time) == kCandleTimeOffset &&
    std::numeric_limits<double>::is_iec559;

}  // namespace

bool CandlesAreFileBytes() {
  return kCandlesAreFileBytes;
}

void EncodeCandle(const Candle& candle, unsigned char* out) {
  const double values[] = {candle.volume, candle.open, candle.high, candle.low, candle.close};
  for (std::size_t i = 0; i < std::size(values); ++i)
    PutLittleEndian(values[i], out + i * kCandleDoubleBytes);
  PutLittleEndian(candle.date, out + kCandleDateOffset);
  PutLittleEndian(candle.time, out + kCandleTimeOffset);
}

Candle DecodeCandle(const unsigned char* in) {
  Candle c;
  c.volume = GetLittleEndian<double>(in);
  c.open = GetLittleEndian<double>(in + kCandleDoubleBytes);
  c.high = GetLittleEndian<double>(in + 2 * kCandleDoubleBytes);
  c.low = GetLittleEndian<double>(in + 3 * kCandleDoubleBytes);
  c.close = GetLittleEndian<double>(in + 4 * kCandleDoubleBytes);
  c.date = GetLittleEndian<std::int32_t>(in + kCandleDateOffset);
  c.time = GetLittleEndian<std::int32_t>(in + kCandleTimeOffset);
  return c;
}

void EncodeCandles(const Candle* candles, std::size_t count, unsigned char* out) {
  if constexpr (kCandlesAreFileBytes) {
    if (count > 0) std::memcpy(out, candles, count * kCandleBytes);
  } else {
    for (std::size_t i = 0; i < count; ++i) EncodeCandle(candles[i], out + i * kCandleBytes);
  }
}

void DecodeCandles(const unsigned char* in, std::size_t count, Candle* candles) {
  if constexpr (kCandlesAreFileBytes) {
    if (count > 0) std::memcpy(static_cast<void*>(candles), in, count * kCandleBytes);
  } else {
    for (std::size_t i = 0; i < count; ++i) candles[i] = DecodeCandle(in + i * kCandleBytes);
  }
}

void DecodeCandlesInPlace(Candle* candles, std::size_t count) {
  if constexpr (!kCandlesAreFileBytes) {
    for (std::size_t i = 0; i < count; ++i) {
      unsigned char bytes[kCandleBytes];
      std::memcpy(bytes, &candles[i], kCandleBytes);
      candles[i] = DecodeCandle(bytes);
    }
  }
}

bool ValuesEqual(double a, double b) {
  return std::fabs(a - b) <= kValueTolerance;
}

void MergeInto(Candle& target, const Candle& part) {
  target.high = std::max(target.high, part.high);
  target.low = std::min(target.low, part.low);
  target.volume += part.volume;
  target.close = part.close;
}
