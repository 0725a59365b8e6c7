// Named constants of the application frame.
#pragma once

#include <cstdint>

#include "replication/replication_constants.h"  // kSettingsFileName

// The program's version, shown by the version text and the banner.
inline constexpr char kVersion[] = "10.0.2.21";
// The notice line of the version text and the banner.
inline constexpr char kNoticeText[] =
    "Candle archive replicator for minute exports of the exchange feed";

// Thread name of the main thread in log lines.
inline constexpr char kMainThreadName[] = "GLOBAL";

// Exit codes: after a run (also one ended by a reported exception), and when the
// program refused to run (usage or version shown, unusable log path, failed validation).
inline constexpr int kExitAfterRun = 1;
inline constexpr int kExitRefused = 0;
// Exit code when the archive folder's run lock could not be taken (another run held it
// for the whole wait, or the lock file could not be made): nothing was done.
inline constexpr int kExitArchiveBusy = 2;

// The run lock: a file in the archive folder, locked by every action that writes; the
// holder writes its process id into it. No walk takes it for an archive (no ".dat").
inline constexpr char kRunLockFileName[] = "Barsync.lock";
// In the archive folder while a lot or price change runs (replication/change_journal.h).
inline constexpr char kChangeJournalFileName[] = "Barsync.change.journal";
// [General] LockWaitSeconds: how long a run waits for the lock; this when absent.
inline constexpr char kLockWaitKey[] = "LockWaitSeconds";
inline constexpr int kDefaultLockWaitSeconds = 300;
// How often a waiting run tries the lock again.
inline constexpr int kLockRetryMilliseconds = 200;

// Default of [General] DebugLevel.
inline constexpr int kDefaultDebugLevel = 1;

// The session start text gets this appended to become HHMMSS ("10" -> 100000).
inline constexpr char kSessionStartSuffix[] = "0000";
