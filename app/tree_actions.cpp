#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "replication/tree_walk.h"
#include "support/log.h"
#include "support/platform.h"

namespace {
constexpr int kTreeRootDepth = 1;
}

ActionOutcome RunAddDay(CMinReplicator& replicator) {
  if (replicator.date_.empty()) {
    LogError("Date is not specified");
    return ActionOutcome::kDone;
  }
  InstrumentWork work = StartWork(replicator);
  WalkMinutes(replicator, work, support::PathFromNarrow(replicator.date_), kTreeRootDepth);
  replicator.AddResults(work);
  return ActionOutcome::kDone;
}

ActionOutcome RunArchiveWalk(CMinReplicator& replicator) {
  InstrumentWork work = StartWork(replicator);
  WalkArchives(replicator, work, {}, kTreeRootDepth);
  replicator.AddResults(work);
  return ActionOutcome::kDone;
}
