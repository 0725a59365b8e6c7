#include "replication/replicate_file.h"

#include <optional>

#include "app/min_replicator.h"
#include "archive/convert_interval_dir.h"
#include "archive/interval_names.h"
#include "replication/archive_load.h"
#include "replication/archive_save.h"
#include "replication/day_merge.h"
#include "replication/day_minutes.h"
#include "replication/replication_constants.h"
#include "support/platform.h"

namespace {

constexpr char kConversionAction[] = "conversion";
constexpr char kDeleteAction[] = "delete";
constexpr char kClassSecuritySeparator[] = ",";

void Convert(const CMinReplicator& replicator, const std::filesystem::path& relPath) {
  if (support::NarrowPath(relPath.extension()) == kArchiveExtension) return;
  ConvertIntervalDirectory(replicator.archiveDir_, replicator.curClass_, replicator.curSec_,
                           replicator.intervals_);
}

void MergeAndSave(CMinReplicator& replicator, const CMinArch& minutes,
                  const std::string& minuteFileText) {
  LoadedArchive archive = LoadArchive(replicator, InstrumentArchivePath(replicator));
  if (archive.damaged) return;
  const DayInput day{minutes, ParseDecimal(replicator.date_), replicator.action_, minuteFileText};
  MergeDay(replicator, archive, day);
  SaveArchive(archive);
}

}  // namespace

bool PassesReplicateClasses(const CMinReplicator& replicator) {
  if (!replicator.hasReplicateClasses_) return true;
  const auto& listed = replicator.replicateClasses_;
  return listed.count(replicator.curClass_ + kClassSecuritySeparator + replicator.curSec_) != 0 ||
         listed.count(replicator.curClass_) != 0;
}

void ReplicateFile(CMinReplicator& replicator, const std::filesystem::path& relPath) {
  if (replicator.action_ == kConversionAction) {
    Convert(replicator, relPath);
    return;
  }
  if (!PassesReplicateClasses(replicator)) return;
  if (replicator.action_ == kDeleteAction) {
    const CMinArch noMinutes(kOneMinuteInterval, 0);
    MergeAndSave(replicator, noMinutes, {});
    return;
  }
  std::optional<DayMinutes> day = LoadDayMinutes(replicator, relPath);
  if (!day || !ApplyTimeWindow(replicator, *day)) return;
  MergeAndSave(replicator, day->minutes, support::NarrowPath(day->file));
}
