// Named sizes and codes of the candle files: one place for every number of the format.
//
// An instrument archive file is kSlotCount interval slots followed by the candles of each
// slot's interval in slot order; an interval keeps at most kMaxCandlesPerInterval candles,
// so a whole archive never exceeds kArchiveRecords records (kArchiveBytes bytes), which is
// also the size of every working buffer that holds one.
#pragma once

#include <cstddef>
#include <cstdint>

// One candle record on disk: five little-endian doubles, then two little-endian int32.
inline constexpr std::size_t kCandleBytes = 48;
inline constexpr std::size_t kCandleDoubleBytes = 8;
inline constexpr std::size_t kCandleIntBytes = 4;
inline constexpr std::size_t kCandleDateOffset = 40;
inline constexpr std::size_t kCandleTimeOffset = 44;

inline constexpr int kSlotCount = 16;
inline constexpr int kMaxCandlesPerInterval = 3000;
inline constexpr int kArchiveRecords = kSlotCount + kSlotCount * kMaxCandlesPerInterval;
inline constexpr std::size_t kArchiveBytes = kArchiveRecords * kCandleBytes;
static_assert(kArchiveRecords == 48016);
static_assert(kArchiveBytes == 2304768);

// Interval codes (the m_Interval of an archive): N >= 1 is N minutes.
inline constexpr std::int32_t kDayInterval = -1;
inline constexpr std::int32_t kWeekInterval = -2;
inline constexpr std::int32_t kMonthInterval = -3;
inline constexpr std::int32_t kOneMinuteInterval = 1;
// Code of an unused slot.
inline constexpr std::int32_t kNoInterval = 0;

// Two prices or volumes are equal when they differ by at most this much.
inline constexpr double kValueTolerance = 1e-8;

// Decimal encodings: dates are YYYYMMDD, times HHMMSS.
inline constexpr std::int32_t kDateYearFactor = 10000;
inline constexpr std::int32_t kDateMonthFactor = 100;
inline constexpr std::int32_t kTimeHourFactor = 10000;
inline constexpr std::int32_t kTimeMinuteFactor = 100;
inline constexpr int kMinutesPerHour = 60;
inline constexpr int kSecondsPerMinute = 60;
inline constexpr int kHoursPerDay = 24;
inline constexpr int kMinutesPerDay = kMinutesPerHour * kHoursPerDay;
inline constexpr int kDaysPerWeek = 7;
inline constexpr int kMonthsPerYear = 12;
inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

// A step back in time of at most this many minutes (counted with one added) is a late
// minute merged into an earlier candle; a larger step back is a passage of midnight.
inline constexpr int kMaxMergedBackwardJump = 30;
