// What a rebuild replaces: listed by ValidateParameters before anything is rebuilt, and
// removed (where the rebuild did not write it anew) once every class is rebuilt. Nothing is
// removed up front, so that a rebuild killed part-way leaves every archive either as it
// was or as rebuilt, never missing.
#include <algorithm>
#include <system_error>
#include <vector>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "support/filesystem_helpers.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace {

// A name that may be joined to a folder without leaving it: not empty, not "." or "..",
// and without any separator or drive part.
bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  const fs::path path = support::PathFromNarrow(name);
  return !path.has_root_path() && path.has_filename() && path.filename() == path &&
         name.find_first_of("/\\") == std::string::npos;
}

// The security folder (legacy layout) and archive file of token in classDir.
void ListClassEntry(const fs::path& classDir, const std::string& className,
                    const std::string& token, std::vector<fs::path>& targets) {
  if (token.empty()) return;  // "A,,B": nothing named, nothing to clear
  if (!IsPlainName(token)) {
    LogError("Rebuild does not clear \"%s\" of class %s: not a plain security name", token.c_str(),
             className.c_str());
    return;
  }
  const fs::path security = classDir / support::PathFromNarrow(token);
  fs::path securityFile = security;
  securityFile += ".dat";
  targets.push_back(security);
  targets.push_back(securityFile);
}

// Everything in the archive folder but the run lock file, which this run holds (removing
// it would let a second run lock a new file beside ours), and the journal of an interrupted
// lot or price change (its minute files are not the rebuild's).
bool ListFolderButRunLock(const fs::path& dir, std::vector<fs::path>& targets) {
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
    if (it->path().filename() != kRunLockFileName &&
        it->path().filename() != kChangeJournalFileName)
      targets.push_back(it->path());
  if (!error) return true;
  LogError("Error while removing directory: %s; %s", support::NarrowPath(dir).c_str(),
           error.message().c_str());
  return false;
}

bool Holds(const fs::path& dir, const fs::path& path) {
  for (fs::path p = path.parent_path(); !p.empty(); p = p.parent_path()) {
    if (p == dir) return true;
    if (p == p.parent_path()) break;
  }
  return false;
}

}  // namespace

bool CMinReplicator::CheckArchiveNotInsideMinutes() {
  if (support::IsSameOrInside(archiveDir_, minutesDir_) ||
      support::IsSameOrInside(minutesDir_, archiveDir_)) {
    LogError(
        "Rebuild refused: Archive location %s and Minutes location %s are the same folder "
        "or one lies inside the other",
        support::NarrowPath(archiveDir_).c_str(), support::NarrowPath(minutesDir_).c_str());
    return false;
  }
  return true;
}

bool CMinReplicator::ListRebuildTargets() {
  rebuildTargets_.clear();
  rebuiltArchives_.clear();
  if (!hasClasses_) return ListFolderButRunLock(archiveDir_, rebuildTargets_);
  for (const auto& [className, value] : classes_) {
    if (!IsPlainName(className)) {
      LogError("Rebuild does not clear class \"%s\": not a plain class name", className.c_str());
      continue;
    }
    const fs::path classDir = archiveDir_ / support::PathFromNarrow(className);
    if (value == "ALL") {
      rebuildTargets_.push_back(classDir);
      continue;
    }
    std::string list = value;
    while (!list.empty())
      ListClassEntry(classDir, className, NextToken(list, ','), rebuildTargets_);
  }
  return true;
}

void CMinReplicator::ClearUnwritten(const fs::path& target) {
  if (rebuiltArchives_.count(target) != 0) return;
  // The run's own log files may have been put in the archive folder: they hold this run's
  // lines and earlier runs', and are not the rebuild's to remove.
  bool holdsLog = false;
  for (const fs::path& log : {logFile_, errorsFile_}) {
    if (log.empty() || !support::IsSameOrInside(log, target)) continue;
    if (support::IsSameOrInside(target, log)) return;  // the log file itself
    holdsLog = true;
  }
  std::error_code error;
  const bool written = holdsLog || std::any_of(rebuiltArchives_.begin(), rebuiltArchives_.end(),
                                               [&](const fs::path& p) { return Holds(target, p); });
  const bool classFolder = target.parent_path() == archiveDir_ &&
                           classes_.count(support::NarrowPath(target.filename())) != 0;
  if ((written || classFolder) && fs::is_directory(target, error)) {
    // A class folder the rebuild wrote into (or made anew) stays; what it held goes.
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(target, error), end; !error && it != end; it.increment(error))
      entries.push_back(it->path());
    if (error) {
      LogError("Error while removing directory: %s; %s", support::NarrowPath(target).c_str(),
               error.message().c_str());
      return;
    }
    for (const fs::path& entry : entries) ClearUnwritten(entry);
    return;
  }
  RemoveTree(target);
}

void CMinReplicator::ClearWhatRebuildDidNotWrite() {
  for (const fs::path& target : rebuildTargets_) ClearUnwritten(target);
}
