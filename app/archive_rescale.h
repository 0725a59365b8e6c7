// The archive side of the lot and price change: one instrument archive file read, its
// candles changed and written back.
#pragma once

#include <functional>

#include "archive/candle.h"

class CMinReplicator;

// The archive archiveDir_ / curClass_ / (curSec_ + ".dat"): "Archive is: %s", read whole
// ("Archive %s is missing.  Verify input date." when it cannot be read: it then holds no
// record and is never written). change is applied to every record after the 16 slots;
// the slots are not touched. An archive with records is written back crash-safely
// (level 2 "saving" / "saved"); one without: "Error updating archive %s  - size archive =
// 0 - No That Archives - verify your ini-file!". kWriteFailed when the write-back failed
// ("Error updating archive %s", the previous file intact): the run must end.
// A change that would make a finite volume or price non-finite (a divisor so small that
// the prices overflow) is not written: "Archive %s not changed: ..." naming the first
// such candle (errors log), the file left as it was, and the entry goes no further.
enum class RescaleOutcome {
  kDone,         // written back, or nothing to write (missing or empty archive)
  kRefused,      // the change would make a value non-finite: the archive is as it was
  kWriteFailed,  // the write-back failed, the previous file intact: the run must end
};
RescaleOutcome RescaleArchive(CMinReplicator& replicator,
                              const std::function<void(Candle&)>& change);

// "Bad date, action interrupted" lines are logged by the callers; this one reports an
// entry whose class or security cannot name a file of the trees. True when both are plain.
bool ChangeNamesUsable(const CMinReplicator& replicator);
