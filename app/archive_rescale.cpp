#include "app/archive_rescale.h"

#include <memory>
#include <string>
#include <vector>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/usable_candle.h"
#include "replication/archive_check.h"
#include "replication/archive_load.h"
#include "replication/change_journal.h"
#include "replication/instrument_pool.h"
#include "replication/instrument_work.h"
#include "replication/minute_change.h"
#include "replication/plain_name.h"
#include "replication/rebuild_dates.h"
#include "support/durable_writes.h"
#include "support/log.h"
#include "support/ordered_work_pool.h"
#include "support/platform.h"

RescaleOutcome RescaleArchive(const RunSettings& settings, InstrumentWork& work,
                              const std::function<void(Candle&)>& change) {
  const std::filesystem::path path = InstrumentArchivePath(settings, work);
  const std::string text = support::NarrowPath(path);
  LogAlways("Archive is: %s", text.c_str());
  const ChangeJournal::Step step = RunChangeJournal().Next(path);
  if (step.done) {
    LogAt(1, "Archive %s already holds this change: the interrupted run changed it", text.c_str());
    return RescaleOutcome::kDone;
  }
  LogAt(2, "Archive file %s loading", text.c_str());
  ScopedArchiveBuffer scratch;
  std::vector<Candle>& buffer = scratch.get();
  const ArchiveFileRead read = ReadArchiveFile(path, buffer);
  if (!read.damage.empty()) {
    ReportDamagedArchive(text, read.damage);
    ++work.corruptedCount_;
    LogError("Change of \"%s\", \"%s\" not applied: its archive is damaged", work.curClass_.c_str(),
             work.curSec_.c_str());
    return RescaleOutcome::kDamaged;
  }
  if (!read.exists) LogAlways("Archive %s is missing.  Verify input date.", text.c_str());
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  whole.m_Count = read.records;
  LogAt(2, "Archive file %s loaded", text.c_str());
  const std::vector<Candle> before(buffer.begin(), buffer.begin() + whole.m_Count);
  for (int record = kSlotCount; record < whole.m_Count; ++record) change(buffer[record]);
  const int overflow = FirstValueMadeNonFinite(before.data(), buffer.data(), whole.m_Count);
  if (overflow >= 0) {
    const Candle& c = before[overflow];
    LogError(
        "Archive %s not changed: the change would make record %d (date %d, time %06d) "
        "not a finite number",
        text.c_str(), overflow, c.date, c.time);
    return RescaleOutcome::kRefused;
  }
  CandleRunChecker checker;
  for (int record = kSlotCount; record < whole.m_Count; ++record) {
    const CandleFault fault = checker.Find(buffer[record]);
    if (fault == CandleFault::kNone) continue;
    const Candle& c = before[record];
    const std::string reason(CandleFaultText(fault));
    LogError(
        "Archive %s not changed: the change would make record %d (date %d, time %06d) "
        "not a usable candle: %s",
        text.c_str(), record, c.date, c.time, reason.c_str());
    return RescaleOutcome::kRefused;
  }
  if (whole.m_Count == 0) {
    LogError(
        "Error updating archive %s  - size archive = 0 - No That Archives - verify your "
        "ini-file!",
        text.c_str());
    return RescaleOutcome::kDone;
  }
  LogAt(2, "Archive file %s saving", text.c_str());
  if (!WriteCandleFile(path, whole, [&](std::span<const unsigned char> bytes) {
        return RunChangeJournal().Record(step, bytes);
      })) {
    LogError("Error updating archive %s", text.c_str());
    return RescaleOutcome::kWriteFailed;
  }
  LogAt(2, "Archive file %s saved", text.c_str());
  return RescaleOutcome::kDone;
}

namespace {

// The calling thread's replacements held in written while it lives.
class HoldScope {
 public:
  explicit HoldScope(support::HeldReplaces& written) { support::HoldThreadReplaces(&written); }
  HoldScope(const HoldScope&) = delete;
  HoldScope& operator=(const HoldScope&) = delete;
  ~HoldScope() { support::HoldThreadReplaces(nullptr); }
};

}  // namespace

void HandInChange(OrderedWorkPool& pool, CMinReplicator& replicator, const InstrumentWork& work,
                  std::function<void(Candle&)> rescale, bool withMinutes) {
  // What the piece wrote is put in place only when the run takes its result: after a
  // failed write-back nothing written by a later entry may take effect.
  struct Piece {
    InstrumentWork work;
    RescaleOutcome outcome = RescaleOutcome::kDone;
    support::HeldReplaces written;
  };
  auto piece = std::make_shared<Piece>();
  piece->work = work.WithoutResults();
  const RunSettings& settings = replicator;
  pool.Submit(
      InstrumentKey(piece->work),
      [piece, &settings, rescale = std::move(rescale), withMinutes] {
        const HoldScope hold(piece->written);
        piece->outcome = RescaleArchive(settings, piece->work, rescale);
        // A refused archive keeps its minutes as they are too: the change is applied to
        // both or to neither, so it can be run again once the archive is mended.
        if (piece->outcome == RescaleOutcome::kDone && withMinutes)
          ProcessInstrumentDates(settings, piece->work);
      },
      [piece, &pool, &replicator] {
        std::filesystem::path failed;
        if (piece->written.Publish(failed)) {
          LogError("Error updating archive %s", support::NarrowPath(failed).c_str());
          piece->outcome = RescaleOutcome::kWriteFailed;
        }
        replicator.AddResults(piece->work);
        if (piece->outcome == RescaleOutcome::kWriteFailed) pool.Abandon();
      },
      [piece] { piece->written.Discard(); });
}

bool ChangeNamesUsable(const InstrumentWork& work) {
  if (IsPlainName(work.curClass_) && IsPlainName(work.curSec_)) return true;
  LogError("Change of \"%s\", \"%s\" not applied: not a plain class and security name",
           work.curClass_.c_str(), work.curSec_.c_str());
  return false;
}

bool BeginChangeJournal(const CMinReplicator& replicator, const std::vector<IniEntry>& entries,
                        const std::string& range) {
  std::string signature = replicator.action_ + " " + range;
  for (const auto& [key, value] : entries) signature += "; " + key + "=" + value;
  const std::filesystem::path file = replicator.archiveDir_ / kChangeJournalFileName;
  const std::string text = support::NarrowPath(file);
  switch (RunChangeJournal().Begin(file, signature)) {
    case ChangeJournal::Start::kFresh:
      return true;
    case ChangeJournal::Start::kResumed:
      LogAlways(
          "Completing the interrupted change recorded in %s: the files it changed are not "
          "changed again",
          text.c_str());
      return true;
    case ChangeJournal::Start::kOtherChange:
      LogError(
          "%s holds an interrupted change of other entries or dates (%s): run that change "
          "again to complete it, or restore the archive and minute folders from a copy and "
          "remove the file; nothing was done",
          text.c_str(), RunChangeJournal().FoundSignature().c_str());
      return false;
    case ChangeJournal::Start::kFailed:
      break;
  }
  LogError("Can not keep the change journal %s; nothing was done", text.c_str());
  return false;
}

void FinishChangeJournal() {
  if (!RunChangeJournal().active()) return;
  // The journal goes only once every file it names is on disk as changed.
  support::SyncNotedDirectories();
  RunChangeJournal().Finish();
  LogAt(2, "Change journal removed: the change is complete");
}
