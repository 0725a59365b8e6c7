#include "replication/instrument_work.h"

void InstrumentWork::AddResults(const InstrumentWork& other) {
  processedCount_ += other.processedCount_;
  corruptedCount_ += other.corruptedCount_;
  zeroVolumeCount_ += other.zeroVolumeCount_;
  rebuiltArchives_.insert(other.rebuiltArchives_.begin(), other.rebuiltArchives_.end());
}

InstrumentWork InstrumentWork::WithoutResults() const {
  InstrumentWork copy;
  copy.action_ = action_;
  copy.date_ = date_;
  copy.curClass_ = curClass_;
  copy.curSec_ = curSec_;
  copy.change_ = change_;
  return copy;
}

InstrumentWork StartWork(const RunSettings& settings) {
  InstrumentWork work;
  work.action_ = settings.action_;
  work.date_ = settings.date_;
  return work;
}
