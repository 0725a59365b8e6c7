#include "replication/class_rebuild.h"

#include <algorithm>
#include <vector>

#include "app/min_replicator.h"
#include "replication/latest_date.h"
#include "replication/plain_name.h"
#include "replication/rebuild_dates.h"
#include "replication/replication_constants.h"
#include "replication/sec_list.h"
#include "support/filesystem_helpers.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/progress.h"

namespace fs = std::filesystem;

namespace {

enum Depth { kDates = 0, kClasses = 1, kSecurities = 2, kBelowSecurity = 3 };

constexpr char kListSeparator = ',';
constexpr std::size_t kAllLength = sizeof(kAllSecurities) - 1;

bool CountsAsAll(const std::string& value) {
  return value.compare(0, kAllLength, kAllSecurities) == 0;
}

// The directories of dir in ascending order of their names.
std::vector<fs::path> SortedDirectories(const fs::path& dir) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_directory()) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path Join(const fs::path& relPath, const fs::path& name) {
  return relPath.empty() ? name : relPath / name;
}

void CollectSecurity(CMinReplicator& replicator, const fs::path& relPath, const std::string& sec) {
  replicator.curSec_ = sec;
  const auto found = replicator.classes_.find(replicator.curClass_);
  if (found == replicator.classes_.end()) {
    LogError("Can not find sec %s in class %s", sec.c_str(), replicator.curClass_.c_str());
    return;
  }
  std::string& list = found->second;
  if (!IsSecInList(list, sec, 0)) {
    if (!list.empty()) list += kListSeparator;
    list += sec;
  }
  CollectClasses(replicator, relPath, kBelowSecurity);
}

void CollectClass(CMinReplicator& replicator, const fs::path& relPath, const std::string& cls) {
  replicator.curClass_ = cls;
  if (!replicator.hasClasses_) {
    if (replicator.classes_.emplace(cls, std::string()).second)
      LogAlways("Adding class %s", cls.c_str());
    CollectClasses(replicator, relPath, kSecurities);
    return;
  }
  const auto found = replicator.classes_.find(cls);
  if (found != replicator.classes_.end() && CountsAsAll(found->second))
    CollectClasses(replicator, relPath, kSecurities);
}

// The securities of a class value: "ALL" and one "," after it removed.
std::string SecurityList(const std::string& value) {
  if (!CountsAsAll(value)) return value;
  std::string list = value.substr(kAllLength);
  if (!list.empty() && list.front() == kListSeparator) list.erase(0, 1);
  return list;
}

void RebuildSecurities(CMinReplicator& replicator, std::string list) {
  while (!list.empty()) {
    const std::string sec = NextToken(list, kListSeparator);
    if (sec.empty()) continue;
    if (!IsPlainName(sec)) {
      LogError("Security \"%s\" of class %s is not rebuilt: not a plain security name", sec.c_str(),
               replicator.curClass_.c_str());
      continue;
    }
    replicator.curSec_ = sec;
    ProcessInstrumentDates(replicator);
    support::progress::InstrumentDone();
  }
}

// The securities RebuildClasses goes through (the total of the progress line).
int CountSecurities(const CMinReplicator& replicator) {
  int count = 0;
  for (const auto& [cls, value] : replicator.classes_) {
    if (!IsPlainName(cls)) continue;
    std::string list = SecurityList(value);
    while (!list.empty()) {
      const std::string sec = NextToken(list, kListSeparator);
      if (!sec.empty() && IsPlainName(sec)) ++count;
    }
  }
  return count;
}

}  // namespace

void CollectClasses(CMinReplicator& replicator, const fs::path& relPath, int depth) {
  const fs::path dir = relPath.empty() ? replicator.minutesDir_ : replicator.minutesDir_ / relPath;
  if (!PathExists(dir)) {
    LogError("Can not find Minutes location");
    return;
  }
  for (const fs::path& name : SortedDirectories(dir)) {
    const std::string text = support::NarrowPath(name);
    const fs::path below = Join(relPath, name);
    if (depth == kDates) {
      if (!IsExportDateName(text)) continue;
      replicator.date_ = text;
      CollectClasses(replicator, below, kClasses);
    } else if (depth == kClasses) {
      CollectClass(replicator, below, text);
    } else if (depth == kSecurities) {
      CollectSecurity(replicator, below, text);
    } else {
      LogError("Invalid directory structure %s", support::NarrowPath(relPath).c_str());
      return;
    }
  }
}

void RebuildClasses(CMinReplicator& replicator) {
  CollectClasses(replicator, {}, kDates);
  support::progress::SetTotal(CountSecurities(replicator));
  LogAt(1, "Rebuilding classes");
  for (const auto& [cls, value] : replicator.classes_) {
    const std::string list = SecurityList(value);
    LogAt(1, "  %s = %s", cls.c_str(), list.c_str());
    if (!IsPlainName(cls)) {
      LogError("Class \"%s\" is not rebuilt: not a plain class name", cls.c_str());
      continue;
    }
    replicator.curClass_ = cls;
    CreateDir(replicator.archiveDir_ / support::PathFromNarrow(cls));
    RebuildSecurities(replicator, list);
  }
}
