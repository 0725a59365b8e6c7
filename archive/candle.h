// The candle record: the 48-byte element of every candle file and working buffer.
//
// In memory a Candle is a plain struct; on disk it is encoded field by field in
// little-endian byte order (volume, open, high, low, close as IEEE-754 doubles, then date
// YYYYMMDD and time HHMMSS as signed 32-bit integers), whatever the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_format.h"

struct Candle {
  double volume = 0;
  double open = 0;
  double high = 0;
  double low = 0;
  double close = 0;
  std::int32_t date = 0;
  std::int32_t time = 0;
};
static_assert(sizeof(Candle) == kCandleBytes, "a working buffer is addressed in records");

// Writes the kCandleBytes bytes of candle to out.
void EncodeCandle(const Candle& candle, unsigned char* out);
// Reads one candle from kCandleBytes bytes at in.
Candle DecodeCandle(const unsigned char* in);
// The same for count consecutive records.
void EncodeCandles(const Candle* candles, std::size_t count, unsigned char* out);
void DecodeCandles(const unsigned char* in, std::size_t count, Candle* candles);

// True when a Candle in memory already is its 48 bytes on disk (a little-endian host with
// no padding): files can then be read into and written from candles directly.
bool CandlesAreFileBytes();
// Turns count records that were read as raw file bytes into the candles array itself into
// candles (nothing to do where CandlesAreFileBytes).
void DecodeCandlesInPlace(Candle* candles, std::size_t count);

// True when a and b differ by at most kValueTolerance.
bool ValuesEqual(double a, double b);

// Widens target by a later part of the same period: high = larger, low = smaller,
// volume added, close = the part's close; open, date and time stay.
void MergeInto(Candle& target, const Candle& part);
