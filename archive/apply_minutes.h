// ApplyMinutes: merges one day of minutes into one interval of a loaded instrument archive.
//
// Contract (for the replication of one instrument):
// - target is pointed at its slot (PointAtSlot/FindSlot in archive_layout.h), with
//   m_Instrument the kArchiveRecords working buffer and m_SessionStart set; the caller
//   owns the buffer and the minutes' storage, which must outlive the call.
// - One AggregationState per instrument and day, shared by the calls for all its intervals
//   in the order of the run's interval list.
// - On success target.m_Count is the new count and the runs of later slots have moved;
//   the caller writes target.m_Count (and the code) back into the slot. On failure the
//   message is logged and the buffer and target are unchanged.
//
// Routing: no minutes and an action other than "delete": success, nothing changes.
// Minutes with a time that is not a real time of day: "ERROR: Bad data in minutes!!!
// Action interrupt!", failure. "insert" and "delete" go to the day editing of
// insert_delete.h, every other action to the appends of aggregation.h.
#pragma once

#include "archive/aggregation_state.h"
#include "archive/min_arch.h"

bool ApplyMinutes(CMinArch& target, const ApplyRequest& request, AggregationState& state);
