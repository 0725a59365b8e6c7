// The work on one instrument (or on the instruments one walk visits in turn): which
// instrument, which date, the action in effect, and what the work found. Each worker of a
// run has its own; the run adds them up for the summary. Never shared between threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "replication/minute_change.h"
#include "replication/run_settings.h"

struct InstrumentWork {
  // The action in effect: the run's, or "add" while a rebuild adds its dates.
  std::string action_;
  // The trading date worked on (the run's date, or each export date of a rebuild).
  std::string date_;
  std::string curClass_;
  std::string curSec_;
  // The time window of curClass_ (set where the class has a time-settings section).
  std::int32_t timeBegin_ = 0;
  std::int32_t timeEnd_ = 0;
  // The lot or price change being applied (changelot, changeprice).
  ChangeParameters change_;

  // Results for the summary.
  std::int32_t processedCount_ = 0;
  std::int32_t corruptedCount_ = 0;
  std::int32_t zeroVolumeCount_ = 0;
  // The archive files a rebuild has written (or removed as empty).
  std::set<std::filesystem::path> rebuiltArchives_;

  // The same instrument, date, action and change, without results.
  InstrumentWork WithoutResults() const;

  // Adds the results of other (counters summed, rebuilt archives joined).
  void AddResults(const InstrumentWork& other);
};

// Work that starts with the run's action and date.
InstrumentWork StartWork(const RunSettings& settings);
