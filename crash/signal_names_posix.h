// Names of the fatal signals and of their codes for the crash report.
#pragma once

namespace ostrel::crash {

// "SIGSEGV", "SIGBUS", "SIGFPE", "SIGILL"; "signal" for any other.
const char* SignalName(int signal);

// "address not mapped (SEGV_MAPERR)" and the like; null for a code without a name.
const char* SignalCodeText(int signal, int code);

}  // namespace ostrel::crash
