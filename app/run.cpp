// Run: the banner, the parameter echo, the date, the one action, the summary and the
// closing line.
#include <string>
#include <string_view>

#include "app/app_constants.h"
#include "app/archive_rescale.h"
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "replication/archive_load.h"
#include "replication/interval_order.h"
#include "replication/latest_date.h"
#include "support/durable_writes.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/progress.h"

namespace {

using Operation = ActionOutcome (*)(CMinReplicator&);

struct Dispatch {
  std::string_view action;
  Operation operation;
  bool dateLine;  // the "[date]" line is written
  bool summary;   // the summary counters are printed
};

// Tried in this order; validation admits only these words.
constexpr Dispatch kDispatch[] = {
    {"rebuild", RunRebuild, false, false},     {"add", RunAddDay, true, true},
    {"addlast", RunAddDay, true, true},        {"insert", RunAddDay, true, true},
    {"delete", RunArchiveWalk, true, false},   {"conversion", RunArchiveWalk, false, false},
    {"changelot", RunChangeLot, false, false}, {"changeprice", RunChangePrice, false, false},
    {"test", RunArchiveTest, false, true},
};

constexpr std::string_view kAddLast = "addlast";
constexpr std::string_view kInsert = "insert";
constexpr std::string_view kTest = "test";

void WriteBanner(const CMinReplicator& r) {
  LogAt(1, "Barsync, version %s", kVersion);
  LogAt(1, "%s", kNoticeText);
  LogAt(1, "Started with parametrs:");
  LogAt(1, "  [action]  = %s", r.action_.c_str());
  LogAt(1, "  [minutes] = %s", support::NarrowPath(r.minutesDir_).c_str());
  LogAt(1, "  [archive] = %s", support::NarrowPath(r.archiveDir_).c_str());
  LogAt(1, "  [logs] = %s", support::NarrowPath(r.logFile_).c_str());
  LogAt(1, "  [errors] = %s", support::NarrowPath(r.errorsFile_).c_str());
}

void SettleDate(CMinReplicator& r) {
  if (r.action_ == kAddLast || (r.action_ == kInsert && r.date_.empty()))
    r.date_ = FindLatestDate(r);
  LogAt(1, "  [date]    = %s", r.date_.c_str());
}

void WriteSummary(const CMinReplicator& r) {
  LogAlways("Total number of archives processed by the utility: %i", r.processedCount_);
  LogAlways("Number of corrupted archives: %i", r.corruptedCount_);
  if (r.action_ == kTest)
    LogAlways("Number of archives containing zero volume: %i", r.zeroVolumeCount_);
}

}  // namespace

void CMinReplicator::AddResults(const InstrumentWork& work) {
  processedCount_ += work.processedCount_;
  corruptedCount_ += work.corruptedCount_;
  zeroVolumeCount_ += work.zeroVolumeCount_;
  rebuiltArchives_.insert(work.rebuiltArchives_.begin(), work.rebuiltArchives_.end());
}

void CMinReplicator::Run() {
  WriteBanner(*this);
  const IntervalSlotPlan slots = ConfiguredIntervalSlots();
  intervals_ = KeepIntervalsWithSlots(MergeOrder(intervals_), slots);
  newArchiveCodes_ = slots.codes;
  for (const Dispatch& entry : kDispatch) {
    if (entry.action != action_) continue;
    if (entry.dateLine) SettleDate(*this);
    support::progress::Begin(action_);
    const ActionOutcome outcome = entry.operation(*this);
    // Every rename of the action reaches the disk before the run reports its end.
    support::SyncNotedDirectories();
    support::progress::End();
    if (outcome == ActionOutcome::kEndRun) return;
    if (outcome == ActionOutcome::kDone && entry.summary) WriteSummary(*this);
    break;
  }
  LogAt(1, " Barsync finished");
  FinishChangeJournal();
}
