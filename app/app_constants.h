// Named constants of the application frame.
#pragma once

#include <cstdint>

// The program's version, shown by the version text and the banner.
inline constexpr char kVersion[] = "10.0.2.21";
// The notice line of the version text and the banner.
inline constexpr char kNoticeText[] =
    "Candle archive replicator for minute exports of the exchange feed";

// The settings file, looked for in the program's directory.
inline constexpr char kSettingsFileName[] = "Barsync.ini";
// Thread name of the main thread in log lines.
inline constexpr char kMainThreadName[] = "GLOBAL";

// Exit codes: after a run (also one ended by a reported exception), and when the
// program refused to run (usage or version shown, unusable log path, failed validation).
inline constexpr int kExitAfterRun = 1;
inline constexpr int kExitRefused = 0;

// Default of [General] DebugLevel.
inline constexpr int kDefaultDebugLevel = 1;

// Range bounds of the lot and price change before the dates are read.
inline constexpr std::int32_t kRangeLowerBoundStart = 0;
inline constexpr std::int32_t kRangeUpperBoundStart = 99999999;

// The session start text gets this appended to become HHMMSS ("10" -> 100000).
inline constexpr char kSessionStartSuffix[] = "0000";
