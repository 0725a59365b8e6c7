// Builds the run's interval list (CMinReplicator::intervals_) from the sorted interval
// entries of run_settings.h.
#pragma once

class CMinReplicator;

void BuildIntervalList(CMinReplicator& replicator);
