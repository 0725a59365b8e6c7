// Fixed values of the basalt layer.
#pragma once

#include <cstddef>

namespace basalt {

// Source position of the errors that basalt raises.
inline constexpr char kSourceName[] = "basalt";

// The thread-local thread name: at most 19 characters; "MAIN" until a basalt::Thread
// names its own thread.
inline constexpr std::size_t kThreadNameSize = 20;
inline constexpr char kMainThreadName[] = "MAIN";

// A basalt thread attaches itself to these logs, marked with its name cut to 7.
inline constexpr char kThreadEventsLog[] = "events.log";
inline constexpr char kThreadErrorsLog[] = "errors.log";
inline constexpr std::size_t kThreadMarkLength = 7;

// The tagged line written when an exception ends a thread.
inline constexpr char kThreadFuncTag[] = "basalt::threadFunc";
// Longest error text quoted in that line (the whole line stays within one log piece).
inline constexpr int kQuotedTextMax = 1800;

// A destroyed Thread whose system thread is still running waits this long for it.
inline constexpr unsigned kDestructorWaitMs = 5000;

// The library's settings file, beside the host program.
inline constexpr char kSettingsFile[] = "varnek.ini";
// Texts are read with a buffer of this size, doubled while the value fills it.
inline constexpr unsigned kTextStartSize = 10;
inline constexpr unsigned kTextMaxSize = 1u << 20;

// Waits given as 0 ms last without time-out (the system's INFINITE).
inline constexpr unsigned long kWaitForever = 0xFFFFFFFFul;
inline constexpr unsigned long wait_timeout(unsigned ms) {
  return ms == 0 ? kWaitForever : ms;
}

}  // namespace basalt
