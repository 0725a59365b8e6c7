// The archive side of the lot and price change: one instrument archive file read, its
// candles changed and written back.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/ini_file.h"

#include "archive/candle.h"

class CMinReplicator;
class OrderedWorkPool;
struct InstrumentWork;
struct RunSettings;

// The archive archiveDir_ / work.curClass_ / (work.curSec_ + ".dat"): "Archive is: %s", then read
// whole and checked as every action checks an archive (ReadArchiveFile). No file: "Archive
// %s is missing.  Verify input date." (it holds no record and is never written). A
// damaged archive is reported at level 0 ("Archive file %s contains errors: ..."), counted
// in corruptedCount_ and left byte for byte (kDamaged). Otherwise change is applied to
// every record after the 16 slots; the slots are not touched. An archive with records is
// written back crash-safely (level 2 "saving" / "saved"); one without: "Error updating
// archive %s  - size archive = 0 - No That Archives - verify your ini-file!". A failed
// write-back gives "Error updating archive %s" (the previous file intact) and kWriteFailed.
// A change that would make a finite volume or price non-finite (a divisor so small that
// the prices overflow), or a candle no longer usable (a price that becomes zero), is not
// written: "Archive %s not changed: ..." naming the first such candle (errors log), the
// file left as it was, and the entry goes no further (kRefused).
enum class RescaleOutcome {
  kDone,         // written back, or nothing to write (missing or empty archive)
  kDamaged,      // the archive fails the loader's checks: reported, counted, left as it is
  kRefused,      // the change would spoil a value: the archive is as it was
  kWriteFailed,  // the write-back failed, the previous file intact: the run must end
};
RescaleOutcome RescaleArchive(const RunSettings& settings, InstrumentWork& work,
                              const std::function<void(Candle&)>& change);

// The change of one [ChangeLot] or [ChangePrice] entry (work: its instrument and, in
// work.change_, its parameters), handed to pool: RescaleArchive with rescale, then, when
// withMinutes is true and the archive was done, the minute export files of every export
// date (ProcessInstrumentDates). When its lines are written its results are added to
// replicator's. What the entry writes takes its place only then: after a failed write-back
// (of this entry or, while renaming, of its held files: "Error updating archive %s") the
// pool is abandoned, so that no later entry changes a file nor writes a line, as when the
// entries are done one after the other; the run ends (the caller sees pool.Stopped()).
void HandInChange(OrderedWorkPool& pool, CMinReplicator& replicator, const InstrumentWork& work,
                  std::function<void(Candle&)> rescale, bool withMinutes);
// Starts the run's change journal (replication/change_journal.h) in the archive folder for
// this action, its entries and its date range. False when the run must end: the journal of
// an interrupted other change is there, or it cannot be kept (reported in the errors log).
bool BeginChangeJournal(const CMinReplicator& replicator, const std::vector<IniEntry>& entries,
                        const std::string& range);
// The change of this run is complete: its journal goes (nothing when no change was kept).
// The run calls it after its closing line, so that a change killed at any moment either
// left its journal or wrote " Barsync finished": a log without that line always means a
// change to run again, never one that would divide a second time.
void FinishChangeJournal();

// "Bad date, action interrupted" lines are logged by the callers; this one reports an
// entry whose class or security cannot name a file of the trees. True when both are plain.
bool ChangeNamesUsable(const InstrumentWork& work);
