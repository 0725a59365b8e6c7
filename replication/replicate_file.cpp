#include "replication/replicate_file.h"

#include <optional>

#include "archive/convert_interval_dir.h"
#include "archive/interval_names.h"
#include "replication/archive_load.h"
#include "replication/archive_save.h"
#include "replication/day_merge.h"
#include "replication/day_minutes.h"
#include "replication/instrument_work.h"
#include "replication/replication_constants.h"
#include "support/platform.h"

namespace {

constexpr char kConversionAction[] = "conversion";
constexpr char kDeleteAction[] = "delete";
constexpr char kClassSecuritySeparator[] = ",";

void Convert(const RunSettings& settings, const InstrumentWork& work,
             const std::filesystem::path& relPath) {
  if (support::NarrowPath(relPath.extension()) == kArchiveExtension) return;
  ConvertIntervalDirectory(settings.archiveDir_, work.curClass_, work.curSec_, settings.intervals_);
}

void MergeAndSave(const RunSettings& settings, InstrumentWork& work, const CMinArch& minutes,
                  const std::string& minuteFileText) {
  LoadedArchive archive = LoadArchive(settings, work, InstrumentArchivePath(settings, work));
  if (archive.damaged) return;
  const DayInput day{minutes, ParseDecimal(work.date_), work.action_, minuteFileText};
  MergeDay(settings, archive, day);
  SaveArchive(archive);
}

}  // namespace

bool PassesReplicateClasses(const RunSettings& settings, const InstrumentWork& work) {
  if (!settings.hasReplicateClasses_) return true;
  const auto& listed = settings.replicateClasses_;
  return listed.count(work.curClass_ + kClassSecuritySeparator + work.curSec_) != 0 ||
         listed.count(work.curClass_) != 0;
}

void ReplicateFile(const RunSettings& settings, InstrumentWork& work,
                   const std::filesystem::path& relPath) {
  if (work.action_ == kConversionAction) {
    Convert(settings, work, relPath);
    return;
  }
  if (!PassesReplicateClasses(settings, work)) return;
  if (work.action_ == kDeleteAction) {
    const CMinArch noMinutes(kOneMinuteInterval, 0);
    MergeAndSave(settings, work, noMinutes, {});
    return;
  }
  std::optional<DayMinutes> day = LoadDayMinutes(settings, relPath);
  if (!day || !ApplyTimeWindow(settings, work, *day)) return;
  if (SkipsExportOfTheNextDateOnly(*day, ParseDecimal(work.date_))) return;
  MergeAndSave(settings, work, day->minutes, support::NarrowPath(day->file));
}
