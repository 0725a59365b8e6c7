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

// rebuild: the classes of [Classes] (or of the minute export tree) from every export date.
ActionOutcome RunRebuild(CMinReplicator& replicator);
// test: every archive checked; a missing archive root ends the run (kEndRun).
ActionOutcome RunArchiveTest(CMinReplicator& replicator);
// changelot / changeprice over [ChangeLot] / [ChangePrice]; an archive that cannot be
// written back ends the run (kEndRun).
ActionOutcome RunChangeLot(CMinReplicator& replicator);
ActionOutcome RunChangePrice(CMinReplicator& replicator);
