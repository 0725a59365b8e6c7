#include "replication/class_rebuild.h"

#include <algorithm>
#include <vector>

#include "replication/instrument_pool.h"
#include "replication/instrument_work.h"
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

void CollectSecurity(const RunSettings& settings, ClassTable& classes, InstrumentWork& work,
                     const fs::path& relPath, const std::string& sec) {
  work.curSec_ = sec;
  const auto found = classes.find(work.curClass_);
  if (found == classes.end()) {
    LogError("Can not find sec %s in class %s", sec.c_str(), work.curClass_.c_str());
    return;
  }
  std::string& list = found->second;
  if (!IsSecInList(list, sec, 0)) {
    if (!list.empty()) list += kListSeparator;
    list += sec;
  }
  CollectClasses(settings, classes, work, relPath, kBelowSecurity);
}

void CollectClass(const RunSettings& settings, ClassTable& classes, InstrumentWork& work,
                  const fs::path& relPath, const std::string& cls) {
  work.curClass_ = cls;
  if (!settings.hasClasses_) {
    if (classes.emplace(cls, std::string()).second) LogAlways("Adding class %s", cls.c_str());
    CollectClasses(settings, classes, work, relPath, kSecurities);
    return;
  }
  const auto found = classes.find(cls);
  if (found != classes.end() && CountsAsAll(found->second))
    CollectClasses(settings, classes, work, relPath, kSecurities);
}

// The securities of a class value: "ALL" and one "," after it removed.
std::string SecurityList(const std::string& value) {
  if (!CountsAsAll(value)) return value;
  std::string list = value.substr(kAllLength);
  if (!list.empty() && list.front() == kListSeparator) list.erase(0, 1);
  return list;
}

void RebuildSecurities(const RunSettings& settings, InstrumentWork& work, OrderedWorkPool& pool,
                       std::string list) {
  while (!list.empty()) {
    const std::string sec = NextToken(list, kListSeparator);
    if (sec.empty()) continue;
    if (!IsPlainName(sec)) {
      LogError("Security \"%s\" of class %s is not rebuilt: not a plain security name", sec.c_str(),
               work.curClass_.c_str());
      continue;
    }
    work.curSec_ = sec;
    HandInInstrument(pool, work, work, [&settings](InstrumentWork& piece) {
      ProcessInstrumentDates(settings, piece);
    });
  }
}

// The securities RebuildClasses goes through (the total of the progress line).
int CountSecurities(const ClassTable& classes) {
  int count = 0;
  for (const auto& [cls, value] : classes) {
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

void CollectClasses(const RunSettings& settings, ClassTable& classes, InstrumentWork& work,
                    const fs::path& relPath, int depth) {
  const fs::path dir = relPath.empty() ? settings.minutesDir_ : settings.minutesDir_ / relPath;
  // Below a security only a subdirectory (a misplaced one, reported) matters: most file
  // systems tell there is none without listing each of the thousands of securities. A
  // symbolic link to a directory there goes unreported (the rebuild never reads it).
  if (depth == kBelowSecurity && support::CertainlyWithoutSubdirectories(dir)) return;
  if (!PathExists(dir)) {
    LogError("Can not find Minutes location");
    return;
  }
  for (const fs::path& name : SortedDirectories(dir)) {
    const std::string text = support::NarrowPath(name);
    const fs::path below = Join(relPath, name);
    if (depth == kDates) {
      if (!IsExportDateName(text)) continue;
      work.date_ = text;
      CollectClasses(settings, classes, work, below, kClasses);
    } else if (depth == kClasses) {
      CollectClass(settings, classes, work, below, text);
    } else if (depth == kSecurities) {
      CollectSecurity(settings, classes, work, below, text);
    } else {
      LogError("Invalid directory structure %s", support::NarrowPath(relPath).c_str());
      return;
    }
  }
}

void RebuildClasses(const RunSettings& settings, InstrumentWork& work) {
  ClassTable classes = settings.classes_;
  CollectClasses(settings, classes, work, {}, kDates);
  support::progress::SetTotal(CountSecurities(classes));
  LogAt(1, "Rebuilding classes");
  OrderedWorkPool pool(settings.threads_);
  for (const auto& [cls, value] : classes) {
    const std::string list = SecurityList(value);
    LogAt(1, "  %s = %s", cls.c_str(), list.c_str());
    if (!IsPlainName(cls)) {
      LogError("Class \"%s\" is not rebuilt: not a plain class name", cls.c_str());
      continue;
    }
    work.curClass_ = cls;
    CreateDir(settings.archiveDir_ / support::PathFromNarrow(cls));
    RebuildSecurities(settings, work, pool, list);
  }
  pool.Finish();
}
