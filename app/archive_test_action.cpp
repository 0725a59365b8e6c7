// The action "test": every file of every class directory of the archive tree checked
// without changing anything; the findings go to the main log, the counters to the summary.
#include <algorithm>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "app/archive_test_findings.h"
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/progress.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace {

// The entries of dir in ascending order of their names (the same order on every system).
std::vector<fs::directory_entry> SortedEntries(const fs::path& dir) {
  std::vector<fs::directory_entry> entries;
  for (const auto& entry : fs::directory_iterator(dir)) entries.push_back(entry);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return entries;
}

// A file that exists but cannot be an archive: larger than the working buffer, or a size
// that is not a whole number of records. Empty text when its size is fine or unknown.
std::string SizeProblem(const fs::path& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return {};
  if (size > kArchiveBytes)
    return "Invalid file size " + std::to_string(size) + ", above " +
           std::to_string(kArchiveBytes) + " bytes";
  if (size % kCandleBytes != 0) return "Invalid file size " + std::to_string(size);
  return {};
}

// The files of the class directories among entries (the total of the progress line).
int CountFiles(const std::vector<fs::directory_entry>& entries) {
  int count = 0;
  for (const auto& entry : entries) {
    std::error_code error;
    if (!entry.is_directory(error)) continue;
    for (fs::directory_iterator it(entry.path(), error), end; !error && it != end;
         it.increment(error))
      if (!it->is_directory(error) && !support::IsTemporaryName(it->path())) ++count;
  }
  return count;
}

class ArchiveTest {
 public:
  explicit ArchiveTest(CMinReplicator& replicator) : r_(replicator) {}

  void TestClass(const fs::path& classDir) {
    class_ = support::NarrowPath(classDir.filename());
    for (const auto& entry : SortedEntries(classDir)) {
      if (entry.is_directory()) continue;
      if (support::IsTemporaryName(entry.path())) {
        // A write in progress or a killed run's leftover: not an archive.
        LogAt(1, "Temporary file %s is not an archive; not tested",
              support::NarrowPath(entry.path()).c_str());
        continue;
      }
      sec_ = support::NarrowPath(entry.path().filename());
      TestFile(classDir / entry.path().filename());
      support::progress::InstrumentDone();
    }
  }

 private:
  void TestFile(const fs::path& path) {
    LogAt(2, "%s %s", class_.c_str(), sec_.c_str());
    const std::string text = support::NarrowPath(path);
    LogAlways("Archive is: %s", text.c_str());
    LogAt(2, "Archive file %s loading", text.c_str());
    const std::string problem = SizeProblem(path);
    ScopedArchiveBuffer scratch;
    std::vector<Candle>& buffer = scratch.get();
    CMinArch whole(kOneMinuteInterval, 0);
    whole.m_Candles = buffer.data();
    if (problem.empty() && !ReadCandleFile(path, whole, kArchiveRecords))
      LogAlways("Archive %s is missing.  Verify input date.", text.c_str());
    LogAt(2, "Archive file %s loaded", text.c_str());
    ++r_.processedCount_;
    LogAt(1, "Testing file %s", text.c_str());
    if (!problem.empty()) {
      const std::string line = "Archive file " + text + " contains errors: " + problem;
      LogAlways("%s", line.c_str());
      ++r_.corruptedCount_;
      return;
    }
    const ArchiveFindings findings = TestArchiveRecords(text, buffer.data(), whole.m_Count);
    for (const std::string& line : findings.lines) LogAlways("%s", line.c_str());
    if (findings.corrupted) ++r_.corruptedCount_;
    if (findings.zeroVolume && zeroVolumeFiles_.insert(text).second) ++r_.zeroVolumeCount_;
  }

  CMinReplicator& r_;
  std::string class_;  // the class and file being tested
  std::string sec_;
  std::set<std::string> zeroVolumeFiles_;
};

}  // namespace

ActionOutcome RunArchiveTest(CMinReplicator& replicator) {
  replicator.processedCount_ = 0;
  replicator.corruptedCount_ = 0;
  replicator.zeroVolumeCount_ = 0;
  std::error_code error;
  if (!fs::is_directory(replicator.archiveDir_, error)) {
    LogError("Can not find archives location");
    return ActionOutcome::kEndRun;
  }
  ArchiveTest test(replicator);
  const std::vector<fs::directory_entry> classes = SortedEntries(replicator.archiveDir_);
  support::progress::SetTotal(CountFiles(classes));
  for (const auto& entry : classes)
    if (entry.is_directory()) test.TestClass(entry.path());
  return ActionOutcome::kDone;
}
