// A broken-down local time with milliseconds, and its computation from a count of seconds
// without the C library (usable inside a signal handler).
#pragma once

#include <cstdint>

namespace ostrel::crash {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The calendar date and time of localSeconds (seconds since 1970-01-01 00:00 in local time,
// i.e. UTC seconds plus the local offset) in the proleptic Gregorian calendar.
LocalTime CivilTime(std::int64_t localSeconds, int millisecond);

}  // namespace ostrel::crash
