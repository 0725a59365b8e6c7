#include "replication/tree_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "replication/instrument_pool.h"
#include "replication/instrument_work.h"
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
// progress line).
int CountMinuteInstruments(const RunSettings& settings, const std::filesystem::path& dir) {
  int count = 0;
  for (const auto& name : Subdirectories(dir)) {
    const std::string cls = support::NarrowPath(name);
    if (!ClassSelected(settings, cls)) continue;
    for (const auto& security : Subdirectories(dir / name)) {
      if (SecuritySelected(settings, cls, support::NarrowPath(security)) &&
          FileExists(dir / name / security / kMinuteFileName))
        ++count;
    }
  }
  return count;
}

// The same for the archive tree: every entry of the selected class directories (an
// upper bound: entries that are not archives are passed over by the walk).
int CountArchiveEntries(const RunSettings& settings, const std::filesystem::path& dir) {
  int count = 0;
  for (const auto& name : Subdirectories(dir)) {
    if (!ClassSelected(settings, support::NarrowPath(name))) continue;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir / name, error), end; !error && it != end;
         it.increment(error))
      if (!support::IsTemporaryName(it->path().filename())) ++count;
  }
  return count;
}

void StartProgress(const InstrumentWork& work, int total) {
  support::progress::SetTotal(total);
  if (!work.date_.empty()) support::progress::SetDate(work.date_);
}

// One walk: the run's settings, the walk's own work (the class and security it is at, and
// the sum of the results of the instruments done) and the pool the instruments go to.
struct Walk {
  const RunSettings& settings;
  InstrumentWork& work;
  OrderedWorkPool& pool;
};

// The instrument the walk is at, replicated on a worker.
void HandIn(const Walk& walk, const std::filesystem::path& relPath) {
  const RunSettings& settings = walk.settings;
  HandInInstrument(walk.pool, walk.work, walk.work, [&settings, relPath](InstrumentWork& piece) {
    ReplicateFile(settings, piece, relPath);
  });
}

void MinutesLevel(const Walk& walk, const std::filesystem::path& relPath, int depth) {
  const RunSettings& settings = walk.settings;
  InstrumentWork& work = walk.work;
  const std::filesystem::path dir = settings.minutesDir_ / relPath;
  if (!PathExists(dir)) {
    LogError("Can not find Minutes location");
    return;
  }
  if (depth == kClasses) StartProgress(work, CountMinuteInstruments(settings, dir));
  for (const auto& entry : SortedEntries(dir)) {
    if (!entry.is_directory()) continue;
    const std::filesystem::path name = entry.path().filename();
    const std::string text = support::NarrowPath(name);
    if (depth == kClasses) {
      work.curClass_ = text;
      if (!ClassSelected(settings, text)) continue;
      CreateDir(settings.archiveDir_ / name);
      MinutesLevel(walk, relPath / name, kSecurities);
    } else if (depth == kSecurities) {
      work.curSec_ = text;
      if (!SecuritySelected(settings, work.curClass_, text)) continue;
      MinutesLevel(walk, relPath / name, kInstrument);
    } else {
      LogError("Invalid directory structure %s", support::NarrowPath(relPath).c_str());
      return;
    }
  }
  if (depth == kInstrument && FileExists(dir / kMinuteFileName)) HandIn(walk, relPath);
}

void ArchivesLevel(const Walk& walk, const std::filesystem::path& relPath, int depth) {
  const RunSettings& settings = walk.settings;
  InstrumentWork& work = walk.work;
  const std::filesystem::path dir =
      relPath.empty() ? settings.archiveDir_ : settings.archiveDir_ / relPath;
  if (!PathExists(dir)) {
    LogError("Can not find Archves location");
    return;
  }
  if (depth == kInstrument) {
    HandIn(walk, relPath);
    return;
  }
  if (depth == kClasses) StartProgress(work, CountArchiveEntries(settings, dir));
  for (const auto& entry : SortedEntries(dir)) {
    const std::filesystem::path name = entry.path().filename();
    const std::string text = support::NarrowPath(name);
    const bool directory = entry.is_directory();
    if (directory && depth == kClasses) {
      work.curClass_ = text;
      if (ClassSelected(settings, text)) ArchivesLevel(walk, Join(relPath, name), kSecurities);
    } else if (depth == kSecurities) {
      // A temporary is never an archive, whatever its name holds.
      if (!directory && support::IsTemporaryName(name)) continue;
      const std::size_t extension = text.find(kArchiveExtension);
      if (!directory && (extension == std::string::npos || extension == 0)) continue;
      if (!directory && !entry.is_regular_file()) continue;
      work.curSec_ = directory ? text : text.substr(0, extension);
      if (SecuritySelected(settings, work.curClass_, work.curSec_))
        ArchivesLevel(walk, Join(relPath, name), kInstrument);
    }
  }
}

}  // namespace

void WalkMinutes(const RunSettings& settings, InstrumentWork& work,
                 const std::filesystem::path& relPath, int depth) {
  OrderedWorkPool pool(settings.threads_);
  MinutesLevel(Walk{settings, work, pool}, relPath, depth);
  pool.Finish();
}

void WalkArchives(const RunSettings& settings, InstrumentWork& work,
                  const std::filesystem::path& relPath, int depth) {
  OrderedWorkPool pool(settings.threads_);
  ArchivesLevel(Walk{settings, work, pool}, relPath, depth);
  pool.Finish();
}
