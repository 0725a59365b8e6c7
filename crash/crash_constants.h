// Fixed texts and limits of the crash report, shared by the Windows and the Linux side.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace ostrel::crash {

// Banner lines of the report blocks (38 characters each).
inline constexpr const char* kModuleListBegin = ">>=========== Module List ============";
inline constexpr const char* kModuleListEnd = "<<=========== Module List ============";
inline constexpr const char* kCallStackBegin = ">>============ Call Stack ============";
inline constexpr const char* kCallStackEnd = "<<============ Call Stack ============";
inline constexpr const char* kExceptionBegin = ">>============ Exception =============";
inline constexpr const char* kExceptionEnd = "<<============ Exception =============";
inline constexpr std::size_t kBannerLength = 38;

// Exception codes of the remote procedure call layer: reported, never dumped.
inline constexpr std::uint32_t kFirstRpcCode = 1700;
inline constexpr std::uint32_t kLastRpcCode = 1791;
// RPC_S_SERVER_TOO_BUSY: one line and the thrown error, nothing else.
inline constexpr std::uint32_t kServerTooBusyCode = 1723;
inline constexpr const char* kServerTooBusyLine = "Error RPC_S_SERVER_TOO_BUSY:";

// Dump files: "Dumps\YYYYMMDD\fullHHMMSS_mmm.dmp" (or "mini...") below the current folder.
inline constexpr const char* kDumpRoot = "Dumps";
inline constexpr std::size_t kMaxDumpPath = 260;
inline constexpr int kNormalDump = 0;
inline constexpr int kFullMemoryDump = 2;
// The faulting thread waits this long for the dump, then goes on without it.
inline constexpr std::chrono::seconds kDumpWaitLimit{60};

// Status of the last dump attempt.
enum class DumpStatus : int {
  kWritten = 0,
  kNoDbgHelp = 1,
  kNoDumpFunction = 2,
  kBadArguments = 3,
  kCannotCreateFile = 4,
  kWriteFailed = 5,
  kNoThread = 9,
  kTimedOut = 10,
  kNotAttempted = -1,
};

// Call stack walk.
inline constexpr std::size_t kMaxFrames = 1024;
inline constexpr int kMaxRecursionCount = 100;
inline constexpr int kAllWalkOptions = 63;
inline constexpr int kWalkFileVersion = 8;
inline constexpr std::size_t kMaxNameLength = 1024;
inline constexpr std::size_t kMaxLineLength = 1024;
inline constexpr const char* kEndlessCallStack = "StackWalk64-Endless-CallStack!";
inline constexpr const char* kTooManyFrames = "StackWalk64-Frame-Limit-Reached!";

// Error code set when the debug-help library is missing (ERROR_DLL_INIT_FAILED).
inline constexpr std::uint32_t kDllInitFailed = 1114;

}  // namespace ostrel::crash
