#include "replication/rebuild_dates.h"

#include <algorithm>
#include <optional>

#include "archive/archive_layout.h"
#include "archive/interval_names.h"
#include "replication/archive_check.h"
#include "replication/archive_load.h"
#include "replication/archive_save.h"
#include "replication/day_merge.h"
#include "replication/day_minutes.h"
#include "replication/instrument_work.h"
#include "replication/latest_date.h"
#include "replication/minute_change.h"
#include "replication/replicate_file.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/progress.h"

namespace {

constexpr char kAddAction[] = "add";
constexpr char kRebuildAction[] = "rebuild";
constexpr char kTestAction[] = "test";

std::string NoName(const Candle*, int) {
  return {};
}

// True when a merged archive would not be taken up again by LoadArchive as it is: it
// holds no candle (it is removed when saved and the next date starts a new one), or a
// merged day left a record that the load checks refuse.
bool MustBeReloaded(const LoadedArchive& archive) {
  const Candle* buffer = archive.buffer.data();
  const int records = ArchiveRecords(buffer);
  return records == kSlotCount || !FindArchiveDamage(buffer, records, NoName).empty();
}

// Saves the archive and notes it as written by this rebuild (what the rebuild replaces and
// did not write is removed once every class is rebuilt).
void Save(InstrumentWork& work, const LoadedArchive& archive) {
  SaveArchive(archive);
  work.rebuiltArchives_.insert(archive.path);
}

// Adds every date to the instrument's archive. The archive stays loaded from one date to
// the next, which gives the same bytes as saving and loading it in between: the merge
// leaves the records past the archive's end zero, as a load does. Where saving and
// loading would change what the next date sees (an emptied archive, a damaged record),
// the archive is saved and loaded again; once it is damaged, each later date goes through
// ReplicateFile, which reports it as a day-by-day add does.
void RebuildInstrument(const RunSettings& settings, InstrumentWork& work,
                       const std::vector<std::string>& dates) {
  if (!PassesReplicateClasses(settings, work)) return;
  const std::filesystem::path archivePath = InstrumentArchivePath(settings, work);
  std::optional<LoadedArchive> archive;
  bool started = false;  // the stored archive is replaced, never merged into
  bool damaged = false;
  for (const std::string& date : dates) {
    work.date_ = date;
    support::progress::SetDate(date);
    const std::filesystem::path relPath = support::PathFromNarrow(date) /
                                          support::PathFromNarrow(work.curClass_) /
                                          support::PathFromNarrow(work.curSec_);
    if (damaged) {
      ReplicateFile(settings, work, relPath);
      continue;
    }
    std::optional<DayMinutes> day = LoadDayMinutes(settings, relPath);
    if (!day || !ApplyTimeWindow(settings, work, *day)) continue;
    if (SkipsExportOfTheNextDateOnly(*day, ParseDecimal(date))) continue;
    if (!archive)
      archive = started ? LoadArchive(settings, work, archivePath)
                        : NewArchive(settings, work, archivePath);
    started = true;
    if (archive->damaged) {
      damaged = true;
      archive.reset();
      continue;
    }
    const DayInput input{day->minutes, ParseDecimal(date), work.action_,
                         support::NarrowPath(day->file)};
    MergeDay(settings, *archive, input);
    if (MustBeReloaded(*archive)) {
      Save(work, *archive);
      archive.reset();
    }
  }
  if (archive) Save(work, *archive);
}

}  // namespace

std::vector<std::string> ExportDates(const RunSettings& settings) {
  std::vector<std::string> dates;
  for (const auto& entry : std::filesystem::directory_iterator(settings.minutesDir_)) {
    if (!entry.is_directory()) continue;
    std::string name = support::NarrowPath(entry.path().filename());
    if (IsExportDateName(name)) dates.push_back(std::move(name));
  }
  std::sort(dates.begin(), dates.end());
  return dates;
}

void ProcessInstrumentDates(const RunSettings& settings, InstrumentWork& work) {
  if (!PathExists(settings.minutesDir_)) {
    LogError("Can not find Minutes location");
    return;
  }
  const std::vector<std::string> dates = ExportDates(settings);
  const std::string_view action = work.action_;
  if (action == kChangeLotAction || action == kChangePriceAction) {
    for (const std::string& date : dates) {
      work.date_ = date;
      support::progress::SetDate(date);
      ChangeMinuteFile(settings, work,
                       support::PathFromNarrow(date) / support::PathFromNarrow(work.curClass_) /
                           support::PathFromNarrow(work.curSec_));
    }
    return;
  }
  const bool restore = action != kTestAction;
  work.action_ = kAddAction;
  RebuildInstrument(settings, work, dates);
  if (restore) work.action_ = kRebuildAction;
}
