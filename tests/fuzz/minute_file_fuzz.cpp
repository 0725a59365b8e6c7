// Fuzz target: minute export files through aggregation into an instrument archive.
//
// Input: byte 0 chooses the class (its time window), the second step and the session
// start; byte 1 is the record count of the first day's minute file; those records are the
// first day (20240130), the rest of the input, whatever its length, the second file. The
// first day is added to a new archive, then the second step (add, addlast, insert or
// delete of another date or the same one) runs on it, each through ReplicateFile as the
// run does. After every step an archive on disk must load without damage: Barsync never
// writes an archive that it would itself refuse.
#include <array>
#include <cstdint>
#include <string>

#include "app/min_replicator.h"
#include "archive/archive_format.h"
#include "replication/archive_load.h"
#include "replication/replicate_file.h"
#include "support/platform.h"
#include "tests/fuzz/fuzz_settings_text.h"
#include "tests/fuzz/fuzz_workspace.h"

namespace {

namespace fs = std::filesystem;

constexpr char kFirstDate[] = "20240130";
constexpr char kSecurity[] = "SBER";
constexpr std::array<const char*, 4> kClasses = {"TQBR", "FUTN", "CETS", "CETS"};

struct SecondStep {
  const char* action;
  const char* date;
};
// The same date again, the next one, an earlier one (inserted), a later month, and the
// deletion of a date held and of one not held.
constexpr std::array<SecondStep, 8> kSecondSteps = {{{"add", "20240131"},
                                                     {"addlast", "20240131"},
                                                     {"add", kFirstDate},
                                                     {"insert", "20240126"},
                                                     {"insert", kFirstDate},
                                                     {"add", "20240301"},
                                                     {"delete", kFirstDate},
                                                     {"delete", "20240105"}}};
constexpr std::int32_t kEveningSessionStart = 190000;

CMinReplicator& Replicator() {
  static CMinReplicator* replicator = [] {
    fuzz::WriteBytes(fuzz::Workspace() / "Barsync.ini", fuzz::kAllIntervalsIni);
    fuzz::MakeEmptyFolder(fuzz::MinutesDir());
    fuzz::MakeEmptyFolder(fuzz::ArchiveDir());
    auto* r = new CMinReplicator;
    fuzz::Check(fuzz::ParseConfined(*r), "settings of the workspace refused");
    return r;
  }();
  return *replicator;
}

void Step(const CMinReplicator& r, InstrumentWork& w, const char* action, const char* date,
          std::string_view minutes) {
  w.action_ = action;
  w.date_ = date;
  const fs::path rel = fs::path(date) / w.curClass_ / w.curSec_;
  if (w.action_ != "delete") fuzz::WriteBytes(r.minutesDir_ / rel / "1.dat", minutes);
  ReplicateFile(r, w, w.action_ == "delete" ? fs::path(w.curClass_) / (w.curSec_ + ".dat") : rel);
  const fs::path archive = InstrumentArchivePath(r, w);
  if (!fs::exists(archive)) return;
  const std::string damage = fuzz::ArchiveDamage(archive);
  fuzz::Check(damage.empty(), "an archive Barsync wrote is refused by its loader",
              std::string(action) + " " + date + ": " + damage);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMinReplicator& r = Replicator();
  fuzz::InputReader input(data, size);
  const std::uint8_t choice = input.Byte();
  const std::size_t firstRecords = input.Byte();
  InstrumentWork w;
  w.curClass_ = kClasses[choice & 3];
  w.curSec_ = kSecurity;
  r.sessionStart_ = (choice & 0x80) != 0 ? kEveningSessionStart : 0;
  const SecondStep second = kSecondSteps[(choice >> 2) & 7];

  // As the walk does: the class folder of the archive tree exists before the securities.
  fuzz::MakeEmptyFolder(r.archiveDir_ / w.curClass_);
  fuzz::MakeEmptyFolder(r.minutesDir_);
  Step(r, w, "add", kFirstDate, input.Take(firstRecords * kCandleBytes));
  Step(r, w, second.action, second.date, input.Rest());
  return 0;
}
