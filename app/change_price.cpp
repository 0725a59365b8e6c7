// The action "changeprice": the prices of the securities of [ChangePrice] divided in
// their archives and (rounded down to the kept decimals) in their minute export files,
// for the dates DateBegin to the run's date.
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

constexpr std::int32_t kDecimalBase = 10;

std::int32_t PowerOfTen(std::int32_t digits) {
  std::int32_t value = 1;
  for (std::int32_t i = 0; i < digits; ++i) value *= kDecimalBase;
  return value;
}

double Divided(double value, const ChangeParameters& change) {
  const double precision = change.pricePrecision;
  return precision * value / change.priceDivisor / precision;
}

void ChangeArchivePrices(Candle& c, const ChangeParameters& change) {
  if (c.date < change.priceBegin || c.date > change.priceEnd) return;
  c.close = Divided(c.close, change);
  c.high = Divided(c.high, change);
  c.low = Divided(c.low, change);
  c.open = Divided(c.open, change);
}

// The entry's divisor and decimals in change; false (logged) when they are unusable.
bool TakePriceEntry(const PriceEntry& entry, ChangeParameters& change) {
  change.priceDivisor = 0.0;
  change.priceDigits = kDefaultPriceDigits;
  if (!PriceDivisorValid(entry)) {
    LogError("Bad date, action interrupted: %s, %s, %i", entry.cls.c_str(), entry.sec.c_str(), 0);
    return false;
  }
  if (!PriceDigitsValid(entry)) {
    LogError("Bad date, action interrupted: %s, %s, %i", entry.cls.c_str(), entry.sec.c_str(),
             entry.digits);
    return false;
  }
  change.priceDivisor = entry.divisor;
  change.priceDigits = entry.digits == 0 ? kDefaultPriceDigits : entry.digits;
  change.pricePrecision = PowerOfTen(change.priceDigits);
  return true;
}

}  // namespace

ActionOutcome RunChangePrice(CMinReplicator& replicator) {
  if (changePriceList.empty()) return ActionOutcome::kDone;
  ChangeParameters change;
  if (!replicator.date_.empty()) dateEndValue = ParseDecimal(replicator.date_);
  if (!dateBegin.empty()) dateBeginValue = ParseDecimal(dateBegin);
  change.priceBegin = dateBeginValue;
  change.priceEnd = dateEndValue;
  if (!BeginChangeJournal(replicator, changePriceList,
                          "from [" + dateBegin + "] to [" + replicator.date_ + "]"))
    return ActionOutcome::kEndRun;
  support::progress::SetTotal(static_cast<int>(changePriceList.size()));
  OrderedWorkPool pool(replicator.threads_);
  for (const IniEntry& item : changePriceList) {
    if (pool.Stopped()) break;
    const support::progress::InstrumentScope counted;
    const PriceEntry entry = ParsePriceEntry(item.second);
    InstrumentWork work = StartWork(replicator);
    work.curClass_ = entry.cls;
    work.curSec_ = entry.sec;
    if (!TakePriceEntry(entry, change) || !ChangeNamesUsable(work)) continue;
    const std::string format = PriceLineFormat(change.priceDigits);
    LogAlways(format.c_str(), entry.cls.c_str(), entry.sec.c_str(), change.priceDivisor,
              change.priceDigits);
    work.change_ = change;
    HandInChange(
        pool, replicator, work, [change](Candle& c) { ChangeArchivePrices(c, change); }, true);
  }
  pool.Finish();
  if (pool.Stopped()) return ActionOutcome::kEndRun;
  // The journal stays until the run has written its closing line (FinishChangeJournal).
  return ActionOutcome::kDone;
}
