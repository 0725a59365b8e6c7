#include "replication/instrument_pool.h"

#include <memory>

#include "support/progress.h"

std::string InstrumentKey(const InstrumentWork& work) {
  return work.curClass_ + '/' + work.curSec_;
}

void HandInInstrument(OrderedWorkPool& pool, const InstrumentWork& at, InstrumentWork& total,
                      std::function<void(InstrumentWork&)> job) {
  auto piece = std::make_shared<InstrumentWork>(at.WithoutResults());
  pool.Submit(
      InstrumentKey(*piece), [piece, job = std::move(job)] { job(*piece); },
      [piece, &total] {
        total.AddResults(*piece);
        support::progress::InstrumentDone();
      });
}
