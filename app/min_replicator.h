// CMinReplicator: the one application object, owner and driver of the run. It owns the
// run settings (its RunSettings part), which ParseParameters fills from the command line
// and Barsync.ini and ValidateParameters checks; the operations read them, each with the
// InstrumentWork of the instrument it works on, and Run adds up their results here. Its
// members are used on the main thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "replication/instrument_work.h"
#include "replication/run_settings.h"
#include "support/file_lock.h"

class IniFile;

class CMinReplicator : public RunSettings {
 public:
  CMinReplicator() = default;
  CMinReplicator(const CMinReplicator&) = delete;
  CMinReplicator& operator=(const CMinReplicator&) = delete;

  // Fills the run settings (options win over Barsync.ini in the current directory),
  // builds the interval list and opens both logs (a log without a path writes to the
  // standard output only). False when the usage or version text
  // was shown or a log path is unusable: the process then ends with exit code 0. Throws
  // std::filesystem::filesystem_error for a path that cannot be made absolute and
  // std::runtime_error when Barsync.ini cannot be read.
  bool ParseParameters(int argc, const char* const* argv);

  // Lower-cases the action and checks the settings; every failure is logged with
  // LogError. Every action but "test" then takes the archive folder's run lock
  // (TakeRunLock). For "rebuild" it then lists what the rebuild replaces (removed by
  // ClearWhatRebuildDidNotWrite once it is done). False: do not run.
  bool ValidateParameters();

  // The run lock on archiveDir_ (file kRunLockFileName), held until this object goes
  // away: waits up to [General] LockWaitSeconds while another process holds it, logging
  // once that it waits and for which process. Taken: the holder's process id is written
  // into the lock file and leftover temporaries beside the archives are removed. False
  // when the wait ran out or the lock file could not be made (errors log); then
  // runLockRefused_ is true and nothing has been changed.
  bool TakeRunLock();

  // Performs the action (run driver).
  void Run();

  // After a rebuild: removes what ValidateParameters listed as replaced by it (the whole
  // archive folder but the run lock file, or the classes and securities of [Classes]) where
  // the rebuild did not write it anew (rebuiltArchives_). A class folder of a rebuilt
  // class stays, emptied of what was not written.
  void ClearWhatRebuildDidNotWrite();

  // Adds the results of the work of one or more instruments to the run's.
  void AddResults(const InstrumentWork& work);

  // The archive files the rebuild has written (or removed as empty) in this run.
  std::set<std::filesystem::path> rebuiltArchives_;

  // True when TakeRunLock refused the run (the process exits with kExitArchiveBusy).
  bool runLockRefused_ = false;

  // Counters for the summary: the sums of every instrument's.
  std::int32_t processedCount_ = 0;
  std::int32_t corruptedCount_ = 0;
  std::int32_t zeroVolumeCount_ = 0;

 private:
  bool ReadPathsAndCheckLogs(int argc, const char* const* argv, const IniFile& ini);
  void ReadSections(const IniFile& ini);
  void ReadReplicateClasses(const IniFile& ini);
  void ReadTimeSettings(const IniFile& ini);
  void OpenLogs();
  bool CheckArchiveNotInsideMinutes();
  bool NoInterruptedChange() const;
  bool ListRebuildTargets();
  void ClearUnwritten(const std::filesystem::path& target);

  support::FileLock runLock_;
  // -j or [General] Threads as given (ValidateParameters turns it into threads_).
  std::string threadsText_;
  // What the rebuild replaces (ListRebuildTargets).
  std::vector<std::filesystem::path> rebuildTargets_;
};

// Scans the arguments from the first (the program path included) for one equal to option
// (exact, case-sensitive); only the first occurrence counts. Found: value is the next
// argument, trimmed of spaces, whatever it looks like, or empty when option is the last
// argument; true. Not found: value is empty; false.
bool FindOption(int argc, const char* const* argv, const char* option, std::string& value);

// The texts of "-?" and "--version" / "-v", byte for byte.
const char* UsageText();
std::string VersionText();

// The process's start-up (everything main does after installing crash reporting):
// current directory, DebugLevel, parse, validate, run. Returns the exit code; an escaping
// std::exception is logged as plain text and gives the after-run exit code.
int RunBarsync(int argc, const char* const* argv);
