#include "replication/tree_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/min_replicator.h"
#include "replication/replicate_file.h"
#include "replication/replication_constants.h"
#include "replication/sec_list.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/progress.h"
#include "support/temporary_name.h"

namespace {

enum Depth { kClasses = 1, kSecurities = 2, kInstrument = 3 };

// The entries of dir in ascending order of their names.
std::vector<std::filesystem::directory_entry> SortedEntries(const std::filesystem::path& dir) {
  std::vector<std::filesystem::directory_entry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) entries.push_back(entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return entries;
}

std::filesystem::path Join(const std::filesystem::path& relPath,
                           const std::filesystem::path& name) {
  return relPath.empty() ? name : relPath / name;
}

// The directories of dir (none when it cannot be listed).
std::vector<std::filesystem::path> Subdirectories(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_directory(error)) found.push_back(it->path().filename());
  }
  return found;
}

// The instruments below a date directory that the walk will replicate (the total of the
// progress line). Leaves curClass_ and curSec_ as they were.
int CountMinuteInstruments(CMinReplicator& replicator, const std::filesystem::path& dir) {
  const std::string cls = replicator.curClass_;
  const std::string sec = replicator.curSec_;
  int count = 0;
  for (const auto& name : Subdirectories(dir)) {
    replicator.curClass_ = support::NarrowPath(name);
    if (!ClassSelected(replicator, replicator.curClass_)) continue;
    for (const auto& security : Subdirectories(dir / name)) {
      if (SecuritySelected(replicator, support::NarrowPath(security)) &&
          FileExists(dir / name / security / kMinuteFileName))
        ++count;
    }
  }
  replicator.curClass_ = cls;
  replicator.curSec_ = sec;
  return count;
}

// The same for the archive tree: every entry of the selected class directories (an
// upper bound: entries that are not archives are passed over by the walk).
int CountArchiveEntries(CMinReplicator& replicator, const std::filesystem::path& dir) {
  const std::string cls = replicator.curClass_;
  int count = 0;
  for (const auto& name : Subdirectories(dir)) {
    replicator.curClass_ = support::NarrowPath(name);
    if (!ClassSelected(replicator, replicator.curClass_)) continue;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir / name, error), end; !error && it != end;
         it.increment(error))
      if (!support::IsTemporaryName(it->path().filename())) ++count;
  }
  replicator.curClass_ = cls;
  return count;
}

void StartProgress(const CMinReplicator& replicator, int total) {
  support::progress::SetTotal(total);
  if (!replicator.date_.empty()) support::progress::SetDate(replicator.date_);
}

}  // namespace

void WalkMinutes(CMinReplicator& replicator, const std::filesystem::path& relPath, int depth) {
  const std::filesystem::path dir = replicator.minutesDir_ / relPath;
  if (!PathExists(dir)) {
    LogError("Can not find Minutes location");
    return;
  }
  if (depth == kClasses) StartProgress(replicator, CountMinuteInstruments(replicator, dir));
  for (const auto& entry : SortedEntries(dir)) {
    if (!entry.is_directory()) continue;
    const std::filesystem::path name = entry.path().filename();
    const std::string text = support::NarrowPath(name);
    if (depth == kClasses) {
      replicator.curClass_ = text;
      if (!ClassSelected(replicator, text)) continue;
      CreateDir(replicator.archiveDir_ / name);
      WalkMinutes(replicator, relPath / name, kSecurities);
    } else if (depth == kSecurities) {
      replicator.curSec_ = text;
      if (!SecuritySelected(replicator, text)) continue;
      WalkMinutes(replicator, relPath / name, kInstrument);
    } else {
      LogError("Invalid directory structure %s", support::NarrowPath(relPath).c_str());
      return;
    }
  }
  if (depth == kInstrument && FileExists(dir / kMinuteFileName)) {
    ReplicateFile(replicator, relPath);
    support::progress::InstrumentDone();
  }
}

void WalkArchives(CMinReplicator& replicator, const std::filesystem::path& relPath, int depth) {
  const std::filesystem::path dir =
      relPath.empty() ? replicator.archiveDir_ : replicator.archiveDir_ / relPath;
  if (!PathExists(dir)) {
    LogError("Can not find Archves location");
    return;
  }
  if (depth == kInstrument) {
    ReplicateFile(replicator, relPath);
    support::progress::InstrumentDone();
    return;
  }
  if (depth == kClasses) StartProgress(replicator, CountArchiveEntries(replicator, dir));
  for (const auto& entry : SortedEntries(dir)) {
    const std::filesystem::path name = entry.path().filename();
    const std::string text = support::NarrowPath(name);
    const bool directory = entry.is_directory();
    if (directory && depth == kClasses) {
      replicator.curClass_ = text;
      if (ClassSelected(replicator, text))
        WalkArchives(replicator, Join(relPath, name), kSecurities);
    } else if (depth == kSecurities) {
      // A temporary is never an archive, whatever its name holds.
      if (!directory && support::IsTemporaryName(name)) continue;
      const std::size_t extension = text.find(kArchiveExtension);
      if (!directory && (extension == std::string::npos || extension == 0)) continue;
      if (!directory && !entry.is_regular_file()) continue;
      replicator.curSec_ = directory ? text : text.substr(0, extension);
      if (SecuritySelected(replicator, replicator.curSec_))
        WalkArchives(replicator, Join(relPath, name), kInstrument);
    }
  }
}
