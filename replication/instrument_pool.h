// Handing the work on one instrument to the run's workers (OrderedWorkPool).
#pragma once

#include <functional>
#include <string>

#include "replication/instrument_work.h"
#include "support/ordered_work_pool.h"

// The key of the instrument of work: the archive it writes (class and security).
std::string InstrumentKey(const InstrumentWork& work);

// job runs on a worker with its own InstrumentWork: that of at (action, date, class,
// security, change) without results. When its lines are written, its results are added
// to total and the progress line counts one instrument more.
void HandInInstrument(OrderedWorkPool& pool, const InstrumentWork& at, InstrumentWork& total,
                      std::function<void(InstrumentWork&)> job);
