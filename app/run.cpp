#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "support/log.h"

// The actions themselves come with the run driver; until then a run says plainly that
// nothing was done.
void CMinReplicator::Run() {
  LogAt(1, "Barsync, version %s", kVersion);
  LogAt(1, "%s", kNoticeText);
  LogError("Action \"%s\" is not available in this build yet: nothing was done", action_.c_str());
}
