// The high-resolution clock of the statistics: microseconds since the library's load,
// from the performance counter, with the local wall-clock time of that moment.
#pragma once

#include <cstddef>

namespace kv {

// Microseconds since the clock's base; 0 without a performance counter.
double clock_micros();

// The local wall-clock time of a clock value, taken in whole milliseconds, as
// "hh:mm:ss.mmm" (out holds at least kClockTextSize bytes).
inline constexpr std::size_t kClockTextSize = 16;
void clock_time_text(double micros, char* out);

}  // namespace kv
