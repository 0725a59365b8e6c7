#include <array>
#include <cctype>
#include <string_view>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "app/worker_count.h"
#include "replication/interval_order.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr std::array<std::string_view, 9> kActions = {"add",    "addlast",    "insert",
                                                      "delete", "conversion", "rebuild",
                                                      "test",   "changelot",  "changeprice"};

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsAction(const std::string& word) {
  for (std::string_view action : kActions)
    if (word == action) return true;
  return false;
}

// The actions that merge minutes into intervals; without one interval to keep they would
// walk the whole tree, write nothing and still report a normal run.
bool NeedsIntervals(const std::string& action) {
  return action != "test" && action != "changelot" && action != "changeprice";
}

bool IsChange(const std::string& action) {
  return action == "changelot" || action == "changeprice";
}

bool HasUsableInterval(const std::vector<CMinArch>& intervals) {
  for (const CMinArch& interval : intervals)
    if (IsIntervalCode(interval.m_Interval)) return true;
  return false;
}

}  // namespace

bool CMinReplicator::ValidateParameters() {
  action_ = ToLower(action_);
  if (!IsAction(action_)) {
    LogError("Unknown action");
    return false;
  }
  if (minutesDir_.empty()) {
    LogError("Minutes location is not specified");
    return false;
  }
  if (archiveDir_.empty()) {
    LogError("Archive location is not specified");
    return false;
  }
  if (date_.empty() && (action_ == "add" || action_ == "delete")) {
    LogError("Date is not specified");
    return false;
  }
  if (!PathExists(minutesDir_)) {
    LogError("Can not find Minutes location");
    return false;
  }
  if (!PathExists(archiveDir_)) {
    LogError("Can not find Archive location");
    return false;
  }
  if (action_ == "rebuild" && !CheckArchiveNotInsideMinutes()) return false;
  if (NeedsIntervals(action_) && !HasUsableInterval(intervals_)) {
    LogError("No interval to keep: [Intervals] of Barsync.ini names none; nothing was done");
    return false;
  }
  threads_ = WorkerCount(threadsText_);
  if (!TakeRunLock()) return false;
  if (!NoInterruptedChange()) return false;
  // The rebuild lists its targets only once everything else is known to be right.
  if (action_ == "rebuild") return ListRebuildTargets();
  return true;
}

// An interrupted lot or price change must be completed before anything else rewrites the
// archives: its rerun tells the files it changed by their bytes, and an archive rewritten
// meanwhile would be changed a second time (or a day added meanwhile left unchanged).
bool CMinReplicator::NoInterruptedChange() const {
  if (action_ == "test" || IsChange(action_)) return true;
  const std::filesystem::path journal = archiveDir_ / kChangeJournalFileName;
  if (!FileExists(journal)) return true;
  LogError(
      "%s holds an interrupted lot or price change: run that change again to complete it "
      "before any other writing action; nothing was done",
      support::NarrowPath(journal).c_str());
  return false;
}
