// The operations that Run hands each action to. Each returns how the run goes on.
#pragma once

class CMinReplicator;

enum class ActionOutcome {
  kDone,          // performed; Run prints the summary (where the action has one)
  kNotAvailable,  // not built into this program: nothing was done, no summary
  kEndRun,        // Run ends at once, without summary and closing line
};

// add, addlast, insert: the minute export tree of date_ (empty date_: "Date is not
// specified", nothing done).
ActionOutcome RunAddDay(CMinReplicator& replicator);
// delete and conversion: the archive tree.
ActionOutcome RunArchiveWalk(CMinReplicator& replicator);

// The actions whose operations come with their own part of the program. Until they are
// built, each logs that the action is not available and does nothing.
ActionOutcome RunRebuild(CMinReplicator& replicator);
ActionOutcome RunArchiveTest(CMinReplicator& replicator);
ActionOutcome RunChangeLot(CMinReplicator& replicator);
ActionOutcome RunChangePrice(CMinReplicator& replicator);
