// Named limits of the support library, kept in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace support {

// A log line is built in a buffer of exactly this many bytes; longer lines are cut.
inline constexpr std::size_t kLogLineSize = 2048;
// The tail that replaces the last bytes of a cut line.
inline constexpr char kLogCutMark[] = "...\n";
inline constexpr std::size_t kLogCutMarkLength = sizeof(kLogCutMark) - 1;

// A thread's name in the log prefix keeps at most this many characters.
inline constexpr std::size_t kThreadNameMax = 7;
// The thread prefix text (" (id:name): ") fits in this many bytes with its terminator.
inline constexpr std::size_t kThreadPrefixSize = 24;

// Levels of both logs at start and of messages given without a level.
inline constexpr std::uint8_t kInitialLogLevel = 1;
inline constexpr std::uint8_t kDefaultMessageLevel = 0;

// Line head: the year is written as two digits counted from 2000.
inline constexpr int kTmYearOffsetOf2000 = 100;
inline constexpr int kMillisecondsPerSecond = 1000;

// Settings reader.
inline constexpr char kEmptyKeyName[] = "<EMPTY_KEY>";
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
inline constexpr std::size_t kUtf8ByteOrderMarkLength = 3;

}  // namespace support
