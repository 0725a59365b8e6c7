#include "kv_clock.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "kv_stats_constants.h"
#include "kvstats.h"

namespace kv {
namespace {

constexpr std::uint64_t kFileTimeUnitsPerMs = 10000;  // 100 ns units
constexpr double kMicrosPerMs = 1000.0;

struct ClockBase {
  ClockBase() {
    LARGE_INTEGER f;
    LARGE_INTEGER c;
    counting = QueryPerformanceFrequency(&f) != FALSE && f.QuadPart > 0 &&
               QueryPerformanceCounter(&c) != FALSE;
    frequency = counting ? f.QuadPart : 1;
    counter = counting ? c.QuadPart : 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    local_time = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  }

  bool counting;
  long long frequency;
  long long counter;
  std::uint64_t local_time;  // local time of the base, 100 ns units
};

const ClockBase g_base;

}  // namespace

double clock_micros() {
  if (!g_base.counting) return 0.0;
  LARGE_INTEGER now;
  if (!QueryPerformanceCounter(&now)) return 0.0;
  return static_cast<double>(now.QuadPart - g_base.counter) * kMicrosPerSecond /
         static_cast<double>(g_base.frequency);
}

void clock_time_text(double micros, char* out) {
  const long long ms = static_cast<long long>(micros / kMicrosPerMs);
  const std::uint64_t t = g_base.local_time + static_cast<std::uint64_t>(ms) * kFileTimeUnitsPerMs;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  SYSTEMTIME st{};
  FileTimeToSystemTime(&ft, &st);
  std::snprintf(out, kClockTextSize, "%02u:%02u:%02u.%03u", st.wHour, st.wMinute, st.wSecond,
                st.wMilliseconds);
}

}  // namespace kv

extern "C" double __cdecl GetHRTimer(void) {
  return kv::clock_micros();
}
