// The action "changelot": the volumes of the securities of [ChangeLot] rescaled in their
// archives and, when no date range is given, in their minute export files.
#include <cmath>

#include "app/archive_rescale.h"
#include "app/change_entries.h"
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "app/run_settings.h"
#include "archive/interval_names.h"
#include "replication/minute_change.h"
#include "replication/rebuild_dates.h"
#include "support/log.h"
#include "support/ordered_work_pool.h"
#include "support/progress.h"

namespace {

constexpr double kHalf = 0.5;

// B and the lot change end from DateBegin and DateEnd; DateBegin alone reaches to the
// last possible date. Without DateBegin: no range.
void SetLotRange(ChangeParameters& change) {
  change.lotEnd = kNoLotRange;
  dateBeginValue = kRangeLowerBoundStart;
  if (!dateBegin.empty()) {
    dateBeginValue = ParseDecimal(dateBegin);
    const std::int32_t end = dateEnd.empty() ? kNoLotRange : ParseDecimal(dateEnd);
    change.lotEnd = end > kNoLotRange ? end : kRangeUpperBoundStart;
  }
  change.priceBegin = dateBeginValue;
}

bool InLotRange(const Candle& c, const ChangeParameters& change) {
  return change.lotEnd == kNoLotRange || (c.date >= change.priceBegin && c.date <= change.lotEnd);
}

}  // namespace

ActionOutcome RunChangeLot(CMinReplicator& replicator) {
  if (changeLotList.empty()) return ActionOutcome::kDone;
  ChangeParameters change;
  SetLotRange(change);
  if (!BeginChangeJournal(replicator, changeLotList,
                          "from [" + dateBegin + "] to [" + dateEnd + "]"))
    return ActionOutcome::kEndRun;
  LotEntry previous;
  support::progress::SetTotal(static_cast<int>(changeLotList.size()));
  OrderedWorkPool pool(replicator.threads_);
  for (const IniEntry& item : changeLotList) {
    if (pool.Stopped()) break;
    const support::progress::InstrumentScope counted;
    const LotEntry entry = ParseLotEntry(item.second, previous);
    previous = entry;
    InstrumentWork work = StartWork(replicator);
    work.curClass_ = entry.cls;
    work.curSec_ = entry.sec;
    if (!LotsInRange(entry)) {
      LogError("Bad date, action interrupted: %s, %s, %i, %i", entry.cls.c_str(), entry.sec.c_str(),
               entry.oldLot, entry.newLot);
      continue;
    }
    if (!ChangeNamesUsable(work)) continue;
    change.lotDivisor = LotDivisor(entry.oldLot, entry.newLot);
    LogAlways("%s %s %i %i %15.6f", entry.cls.c_str(), entry.sec.c_str(), entry.oldLot,
              entry.newLot, change.lotDivisor);
    work.change_ = change;
    HandInChange(
        pool, replicator, work,
        [change](Candle& c) {
          if (InLotRange(c, change)) c.volume = std::floor(c.volume / change.lotDivisor + kHalf);
        },
        change.lotEnd == kNoLotRange);
  }
  pool.Finish();
  if (pool.Stopped()) return ActionOutcome::kEndRun;
  // The journal stays until the run has written its closing line (FinishChangeJournal).
  return ActionOutcome::kDone;
}
