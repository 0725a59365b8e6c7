// The run settings: filled by CMinReplicator::ParseParameters from the command line and
// Barsync.ini, checked by ValidateParameters and completed by Run (the date of addlast and
// insert, the merge order of the intervals) before any instrument is worked on. From then
// on they are read-only, so that every worker of the run reads them without a lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/min_arch.h"
#include "support/ini_file.h"

struct RunSettings {
  std::string action_;
  std::filesystem::path minutesDir_;
  std::filesystem::path archiveDir_;
  std::filesystem::path logFile_;
  std::filesystem::path errorsFile_;
  // The run's trading date ("yyyymmdd"); may be empty.
  std::string date_;
  std::string sessionStartHour_;
  std::int32_t sessionStart_ = 0;
  // [Classes]: class code -> "ALL" or a comma list of security codes.
  std::map<std::string, std::string> classes_;
  bool hasClasses_ = false;
  // [ReplicateClasses]: "CLASS" (whole class) or "CLASS,SECURITY".
  std::set<std::string> replicateClasses_;
  bool hasReplicateClasses_ = false;
  // Class code -> suffix of the time-settings section that lists it.
  std::map<std::string, std::string> classTimeSettings_;
  // Time-settings suffix -> TimeBegin / TimeEnd as HHMMSS.
  std::map<std::string, std::int32_t> timeBegins_;
  std::map<std::string, std::int32_t> timeEnds_;
  // The last TimeBegin / TimeEnd read from any time-settings section.
  std::int32_t timeBegin_ = 0;
  std::int32_t timeEnd_ = 0;
  // One archive object per [Intervals] entry whose key does not begin with "//", in the
  // order of the sorted interval entries (intervalEntries); Run puts them in merge order.
  std::vector<CMinArch> intervals_;
  // Slot codes of a new archive (the [Intervals] keys in file order, NewArchiveCodes); set
  // by Run. Empty: read from Barsync.ini in the current directory when an archive is made.
  std::vector<std::int32_t> newArchiveCodes_;
  // Number of workers that handle instruments at once (-j or [General] Threads).
  int threads_ = 1;
};

// All entries of [Intervals] (keys upper-cased), sorted by key in ascending byte order
// ("10" < "5" < "60" < "DAY"), entries whose key begins with "//" included. The position
// of an entry is the position of its interval among the candle files' slots. Filled by
// ParseParameters; read-only afterwards.
inline std::vector<IniEntry> intervalEntries;
