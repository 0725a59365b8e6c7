// Fixed values of the exception filters, dumps, call stacks and notifications.
#pragma once

#include <cstddef>

namespace kv {

// ---- Settings file ----
inline constexpr char kDumpsSection[] = "dumps";
inline constexpr char kAutoKey[] = "auto";
inline constexpr char kFullOnCrashKey[] = "fulloncrash";
inline constexpr char kMailSection[] = "seh_sender";

// ---- Dumps ----
inline constexpr int kMiniDump = 0;        // the platform's normal minidump
inline constexpr int kFullDump = 2;        // the platform's full-memory minidump
inline constexpr int kHandleDataFlag = 4;  // added to snapshot dumps
inline constexpr int kFullDumpLimit = 3;   // full requests from this count on become mini
inline constexpr char kMiniWord[] = "mini";
inline constexpr char kFullWord[] = "full";
inline constexpr char kDumpsFolder[] = "Dumps";
inline constexpr char kSnapDumpName[] = "SnapCurrentProcessMiniDumpA";
inline constexpr char kCrashDumpName[] = "CreateCurrentProcessCrashDumpA";
// What ombrel.dll answers when its writer did not finish in time.
inline constexpr int kDumpNotFinished = -1;
// A crash path never waits longer than this for another thread's dump.
inline constexpr unsigned kDumpMutexWaitMs = 60000;

// RPC status codes: no dumps for this range; the busy status only gets a warning.
inline constexpr unsigned kRpcFirst = 1700;
inline constexpr unsigned kRpcLast = 1791;
inline constexpr unsigned kRpcServerTooBusy = 1723;

// ---- Exception reports and the e-mail gate ----
inline constexpr char kReportEvents[] = ".\\events.log";
inline constexpr char kReportErrors[] = ".\\errors.log";
inline constexpr char kReportMark[] = "ECTCH";
inline constexpr char kFilterITitle[] = "SEH exception catched.";
inline constexpr char kFilterTitle[] = "Unhandled exception filter.";
inline constexpr std::size_t kReportRuleLength = 122;
inline constexpr long long kSessionQuietSeconds = 300;
inline constexpr unsigned kUnhandledExitCode = 1;
// How long a filter that hit a stack overflow waits for its helper thread to start.
inline constexpr unsigned kHelperStartWaitMs = 10000;

// ---- Call stacks ----
inline constexpr int kMaxFrames = 256;
inline constexpr unsigned kStillActive = 259;

// ---- Notifications ----
inline constexpr int kSendInfoMessageKind = 14;
inline constexpr std::size_t kNoticeSize = 51;
inline constexpr std::size_t kNoticeTextMax = 32;
inline constexpr unsigned short kNoticeFlagPlain = 4;
inline constexpr unsigned kTranslatorNumberBit = 0x20000;
inline constexpr int kTranslatorSeverity = 5;

// ---- E-mail report ----
inline constexpr char kPostrelDll[] = "postrel.dll";
inline constexpr char kPstSendName[] = "PstSend";
inline constexpr std::size_t kMailErrorSize = 512;
inline constexpr std::size_t kMailFrameLineMax = 999;
inline constexpr char kSubjectPrefix[] = "SERVER.RPT: ";

// ---- seh_translator ----
inline constexpr std::size_t kTranslatorParamsMax = 1023;

}  // namespace kv
