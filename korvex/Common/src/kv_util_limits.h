// Sizes and fixed values of the log tables, the per-thread state and the lines.
#pragma once

#include <cstddef>

namespace kv {

// Log tables: slot 0 is the console (or nothing for net events), 1..39 named files.
inline constexpr int kSlotCount = 40;
inline constexpr int kConsoleSlot = 0;
inline constexpr int kNoSlot = -1;
inline constexpr std::size_t kPathSize = 260;  // a full path and its zero

// Per-thread state.
inline constexpr std::size_t kMarkSize = 8;      // at most 7 characters
inline constexpr std::size_t kBannerSize = 256;  // at most 255 characters
inline constexpr std::size_t kLineSize = 4000;   // the line being composed
inline constexpr std::size_t kSourceFileSize = 300;
inline constexpr std::size_t kScratchSize = 300;

// Line composition and output.
inline constexpr std::size_t kPieceLimit = 2000;   // characters of one formatted piece
inline constexpr std::size_t kOutputSize = 2000;   // bytes of one output line
inline constexpr std::size_t kOutputLimit = 1998;  // an output line stops here
inline constexpr char kPieceTooLong[] = "!!! MAX_BUF_SIZE is exceeded";

// Error descriptions.
inline constexpr std::size_t kDescriptionSize = 300;
inline constexpr char kNoDescription[] = "No description.";

// Rotation.
inline constexpr int kMaxGenerations = 999;
inline constexpr unsigned kSectionStartSize = 2048;
inline constexpr unsigned kSectionMaxSize = 1u << 24;  // a section never grows past 16 MiB
// A log whose reopen after a forced rotation failed tries again once per this many lost
// lines: often enough that a short outage costs few lines, rarely enough that a file that
// stays unopenable does not cost an open per line.
inline constexpr unsigned kReopenRetryWrites = 16;

// The thread-attach failures that are thrown as text rather than as a code.
inline constexpr unsigned kSharingViolation = 32;
inline constexpr unsigned kPathNotFound = 3;
inline constexpr unsigned kInvalidName = 123;
inline constexpr unsigned kNameTooLong = 206;
inline constexpr char kSharingViolationText[] = "Can't open file: SHARING_VIOLATION!";

// seterror marks its code as application-defined with this bit.
inline constexpr unsigned kApplicationErrorBit = 1u << 29;

// Net events go to this fixed file; show_message to this one with this mark.
inline constexpr char kNetEventsName[] = "STATS\\netevent.log";
inline constexpr char kShowMessageLog[] = ".\\events.log";
inline constexpr char kShowMessageMark[] = "EXT";

// Sibling DLLs looked up at load.
inline constexpr char kOmbrelDll[] = "ombrel.dll";
inline constexpr char kVigilorDll[] = "vigilor.dll";
inline constexpr char kSendInfoName[] = "SendInfo";

}  // namespace kv
