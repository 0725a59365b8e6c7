// The action "rebuild": the archives of whole classes rebuilt from every export date.
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "replication/class_rebuild.h"

ActionOutcome RunRebuild(CMinReplicator& replicator) {
  InstrumentWork work = StartWork(replicator);
  RebuildClasses(replicator, work);
  replicator.AddResults(work);
  replicator.ClearWhatRebuildDidNotWrite();
  return ActionOutcome::kDone;
}
