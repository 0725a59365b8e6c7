// Replacing ("insert") or removing ("delete") one trading day inside an interval's run,
// for N-minute intervals and for the calendar intervals. Same inputs, outputs and contract
// as the appends of aggregation.h (target in its instrument buffer, tail count, the
// instrument's AggregationState); routed here by ApplyMinutes.
#pragma once

#include "archive/aggregation_state.h"
#include "archive/min_arch.h"

bool EditMinuteInterval(CMinArch& target, const ApplyRequest& request, AggregationState& state);
bool EditCalendarInterval(CMinArch& target, const ApplyRequest& request, AggregationState& state);
