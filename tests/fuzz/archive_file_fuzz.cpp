// Fuzz target: an instrument archive file through the loader and its damage checks, the
// archive test's findings, and (when the loader accepts it) a day merged in and deleted.
//
// Input: the archive file's bytes. Checks: an archive that the test action counts as
// corrupted is refused by the loader too (the two never disagree that way round); an
// archive the loader accepts still loads without damage after a day is added to it and
// after that day is deleted again (Barsync never writes an archive it would refuse).
#include <cstdint>
#include <string>
#include <vector>

#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "archive/archive_format.h"
#include "archive/candle.h"
#include "replication/archive_load.h"
#include "replication/replicate_file.h"
#include "tests/fuzz/fuzz_settings_text.h"
#include "tests/fuzz/fuzz_workspace.h"

namespace {

namespace fs = std::filesystem;

constexpr char kClass[] = "TQBR";
constexpr char kSecurity[] = "SBER";
constexpr char kDayDate[] = "20240301";
constexpr int kDayMinutes = 45;
constexpr std::int32_t kFirstMinuteTime = 100000;

// 45 minutes of 1 March 2024 from 10:00, prices moving by whole cents.
std::string DayMinuteBytes() {
  std::string bytes(kDayMinutes * kCandleBytes, '\0');
  for (int i = 0; i < kDayMinutes; ++i) {
    Candle c;
    c.open = 100.0 + i * 0.01;
    c.high = c.open + 0.05;
    c.low = c.open - 0.03;
    c.close = c.open + 0.01;
    c.volume = 10 + i;
    c.date = 20240301;
    c.time = kFirstMinuteTime + (i / kMinutesPerHour) * kTimeHourFactor +
             (i % kMinutesPerHour) * kTimeMinuteFactor;
    EncodeCandle(c, reinterpret_cast<unsigned char*>(bytes.data() + i * kCandleBytes));
  }
  return bytes;
}

CMinReplicator& Replicator() {
  static CMinReplicator* replicator = [] {
    fuzz::WriteBytes(fuzz::Workspace() / "Barsync.ini", fuzz::kAllIntervalsIni);
    fuzz::MakeEmptyFolder(fuzz::ArchiveDir());
    fuzz::MakeEmptyFolder(fuzz::MinutesDir());
    fuzz::WriteBytes(fuzz::MinutesDir() / kDayDate / "CETS" / kSecurity / "1.dat",
                     DayMinuteBytes());
    auto* r = new CMinReplicator;
    fuzz::Check(fuzz::ParseConfined(*r), "settings of the workspace refused");
    return r;
  }();
  return *replicator;
}

// Adds (or deletes) the day to the loaded archive and checks that the result loads.
void MergeAndReload(const CMinReplicator& r, InstrumentWork& w, const char* action) {
  w.action_ = action;
  w.date_ = kDayDate;
  const int corruptedBefore = w.corruptedCount_;
  ReplicateFile(r, w, fs::path(kDayDate) / "CETS" / kSecurity);
  fuzz::Check(w.corruptedCount_ == corruptedBefore, "an accepted archive was refused on", action);
  const fs::path path = InstrumentArchivePath(r, w);
  if (!fs::exists(path)) return;
  const std::string damage = fuzz::ArchiveDamage(path);
  fuzz::Check(damage.empty(), "an archive Barsync wrote is refused after",
              action + (": " + damage));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMinReplicator& r = Replicator();
  fuzz::MakeEmptyFolder(r.archiveDir_);
  const fs::path path = r.archiveDir_ / kClass / (std::string(kSecurity) + ".dat");
  fuzz::WriteBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));

  InstrumentWork w;
  w.curClass_ = kClass;
  w.curSec_ = kSecurity;
  const bool damaged = LoadArchive(r, w, path).damaged;
  fuzz::Check(damaged == !fuzz::ArchiveDamage(path).empty(),
              "the loader and the damage checks on the file's records disagree");
  fuzz::Check(fuzz::ReadBytes(path).size() == size, "the loader changed the file");

  r.processedCount_ = r.corruptedCount_ = 0;
  RunArchiveTest(r);
  fuzz::Check(r.processedCount_ == 1, "the test action did not test the one archive");
  fuzz::Check(r.corruptedCount_ == 0 || damaged,
              "the test action counts an archive corrupted that the loader accepts");
  if (damaged) return 0;

  // The candles stay where they are; the day goes in through the CETS class (no time
  // window), whose archive is this one under another class folder.
  w.curClass_ = "CETS";
  fs::create_directories(r.archiveDir_ / "CETS");
  fs::copy_file(path, InstrumentArchivePath(r, w));
  w.corruptedCount_ = 0;
  MergeAndReload(r, w, "add");
  MergeAndReload(r, w, "delete");
  return 0;
}
