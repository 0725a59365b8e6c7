// The actions not built yet: each says so plainly (errors log) and changes nothing.
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "support/log.h"

namespace {

ActionOutcome NotAvailable(const CMinReplicator& replicator) {
  LogError("Action \"%s\" is not available in this build yet: nothing was done",
           replicator.action_.c_str());
  return ActionOutcome::kNotAvailable;
}

}  // namespace

ActionOutcome RunRebuild(CMinReplicator& replicator) {
  return NotAvailable(replicator);
}

ActionOutcome RunArchiveTest(CMinReplicator& replicator) {
  return NotAvailable(replicator);
}

ActionOutcome RunChangeLot(CMinReplicator& replicator) {
  return NotAvailable(replicator);
}

ActionOutcome RunChangePrice(CMinReplicator& replicator) {
  return NotAvailable(replicator);
}
