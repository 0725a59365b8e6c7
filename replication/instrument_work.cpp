#include "replication/instrument_work.h"

void InstrumentWork::AddResults(const InstrumentWork& other) {
  processedCount_ += other.processedCount_;
  corruptedCount_ += other.corruptedCount_;
  zeroVolumeCount_ += other.zeroVolumeCount_;
  rebuiltArchives_.insert(other.rebuiltArchives_.begin(), other.rebuiltArchives_.end());
}

InstrumentWork StartWork(const RunSettings& settings) {
  InstrumentWork work;
  work.action_ = settings.action_;
  work.date_ = settings.date_;
  return work;
}
