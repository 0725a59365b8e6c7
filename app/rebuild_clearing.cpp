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

bool RemoveClassEntry(const fs::path& classDir, const std::string& className,
                      const std::string& token) {
  if (token.empty()) return true;  // "A,,B": nothing named, nothing to clear
  if (!IsPlainName(token)) {
    LogError("Rebuild does not clear \"%s\" of class %s: not a plain security name", token.c_str(),
             className.c_str());
    return true;
  }
  const fs::path security = classDir / support::PathFromNarrow(token);
  fs::path securityFile = security;
  securityFile += ".dat";
  const bool folderRemoved = RemoveTree(security);
  return RemoveTree(securityFile) && folderRemoved;
}

// Empties the archive folder but keeps the folder itself and the run lock file, which
// this run holds (removing it would let a second run lock a new file beside ours).
bool ClearFolderButRunLock(const fs::path& dir) {
  std::error_code error;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
    if (it->path().filename() != kRunLockFileName) entries.push_back(it->path());
  if (error) {
    LogError("Error while removing directory: %s; %s", support::NarrowPath(dir).c_str(),
             error.message().c_str());
    return false;
  }
  bool ok = true;
  for (const fs::path& entry : entries) ok = RemoveTree(entry) && ok;
  return ok;
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

bool CMinReplicator::ClearRebuildTargets() {
  if (!hasClasses_) return ClearFolderButRunLock(archiveDir_);
  bool ok = true;
  for (const auto& [className, value] : classes_) {
    if (!IsPlainName(className)) {
      LogError("Rebuild does not clear class \"%s\": not a plain class name", className.c_str());
      continue;
    }
    const fs::path classDir = archiveDir_ / support::PathFromNarrow(className);
    if (value == "ALL") {
      ok = RemoveTree(classDir) && ok;
      continue;
    }
    std::string list = value;
    while (!list.empty()) ok = RemoveClassEntry(classDir, className, NextToken(list, ',')) && ok;
  }
  return ok;
}
