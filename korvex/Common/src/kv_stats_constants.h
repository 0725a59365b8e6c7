// Fixed values of the allocators, the memory trace, the timings and the traffic
// counters.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

// ---- Allocators ----

// Blocks above this many bytes are logged when they are allocated.
inline constexpr std::uint32_t kBigChunkBytes = 3000000;
// Source position named by the allocation errors.
inline constexpr char kAllocatorSource[] = "kvmini";
// The private heap starts with this many bytes and grows as needed.
inline constexpr std::size_t kPrivateHeapInitialBytes = 4096;

// ---- Memory trace ----

inline constexpr std::uint32_t kSiteBuckets = 211;
inline constexpr std::uint32_t kBlockBuckets = 5000011;
// The block table's space figure, which hosts set "mem_limit" by: this many bytes per
// bucket plus this many per entry slot the table holds (live, or freed and kept for
// reuse), whatever the table's own memory layout.
inline constexpr std::uint64_t kSpacePerBucket = 16;
inline constexpr std::uint64_t kSpacePerSlot = 12;
// Site numbers are 16-bit: sites seen after this many are not traced.
inline constexpr std::size_t kMaxSites = 65536;
inline constexpr std::uint32_t kHashFactor = 31;

inline constexpr char kMemSection[] = "mem_trace";
inline constexpr char kEnableKey[] = "enable";
inline constexpr char kMemLimitKey[] = "mem_limit";
inline constexpr char kPeriodKey[] = "period";
inline constexpr int kMemEnableDefault = 0;
inline constexpr int kMemLimitDefault = 200000000;
inline constexpr int kMemPeriodDefault = 60;
inline constexpr char kMemThreadName[] = "MEMM";

// ---- Monitors ----

inline constexpr unsigned kMsPerSecond = 1000;
// A period of 0 or less counts as this many milliseconds.
inline constexpr unsigned kShortestPeriodMs = 1000;
// At unload a monitor still running is given this long to leave its loop.
inline constexpr unsigned kMonitorStopWaitMs = 2000;
// How long the first use waits for a new monitor thread to enter its code.
inline constexpr unsigned kMonitorEnterWaitMs = 5000;

// ---- Timings ----

inline constexpr std::uint32_t kTimingBuckets = 1009;
inline constexpr std::uint32_t kThreadStackBuckets = 211;
// A timing's name is stored in this many bytes (39 characters and a zero in reports),
// followed by kTimingNamePad zero bytes; the key hash runs over both.
inline constexpr std::size_t kTimingNameSize = 40;
inline constexpr std::size_t kTimingNamePad = 4;
inline constexpr std::size_t kTimingReportedName = 39;
inline constexpr std::uint32_t kTimingHashNumberFactor = 31;
inline constexpr std::uint32_t kTimingHashTailFactor = 961;
inline constexpr double kMicrosPerSecond = 1000000.0;
inline constexpr char kTimingThreadName[] = "TIMN";

// Latency classes: values up to this many microseconds are fast.
inline constexpr double kFastLimitMicros = 1000000.0;
inline constexpr int kLatencyClassCount = 4;

// ---- Traffic ----

inline constexpr char kTrafficSection[] = "traffic_trace";
inline constexpr int kTrafficEnableDefault = 0;
inline constexpr int kTrafficPeriodDefault = 600;
inline constexpr char kTrafficThreadName[] = "TRAF";

}  // namespace kv
