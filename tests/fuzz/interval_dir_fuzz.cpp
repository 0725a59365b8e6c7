// Fuzz target: a legacy interval directory through the conversion into one archive.
//
// Input: a list of files, each a name byte (an index into a list of interval file names
// in several spellings, and names that are no interval), a 16-bit little-endian length
// and that many bytes. They are written into archive/LEGACY/OLDSEC/, and the conversion
// runs as the "conversion" action does. Checks against a model of the conversion: when
// the directory is removed, the archive exists and holds, for interval i of the run's
// list, the newest at most 3000 whole-record candles of its file in slot i; an existing
// archive is never touched; the slot counts and the record count always agree; a file
// holding a record that is not a usable candle keeps the directory and writes nothing, so a
// written archive is always one the loader accepts.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle.h"
#include "archive/usable_candle.h"
#include "replication/replicate_file.h"
#include "tests/fuzz/fuzz_settings_text.h"
#include "tests/fuzz/fuzz_workspace.h"

namespace {

namespace fs = std::filesystem;

constexpr char kClass[] = "LEGACY";
constexpr char kSecurity[] = "OLDSEC";
constexpr std::array<const char*, 24> kFileNames = {
    "1.dat",   "2.dat",   "5.dat",    "10.dat",    "60.dat",    "120.dat",
    "day.dat", "DAY.dat", "Week.dat", "month.dat", "MONTH.DAT", "mounth.dat",
    "3.dat",   "15.dat",  "30.dat",   "4.dat",     "6.dat",     "12.dat",
    "20.dat",  "7.dat",   "1",        "notes.txt", "-1.dat",    "week.dat"};
// The byte of a name that stands for an archive file already in place.
constexpr std::uint8_t kExistingArchive = 0xff;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

CMinReplicator& Replicator() {
  static CMinReplicator* replicator = [] {
    fuzz::WriteBytes(fuzz::Workspace() / kSettingsFileName, fuzz::kAllIntervalsIni);
    fuzz::MakeEmptyFolder(fuzz::ArchiveDir());
    fuzz::MakeEmptyFolder(fuzz::MinutesDir());
    auto* r = new CMinReplicator;
    fuzz::Check(fuzz::ParseConfined(*r, {"-a", "conversion"}), "settings refused");
    r->action_ = "conversion";
    return r;
  }();
  return *replicator;
}

// The candles the conversion must take from the file of each interval: looked up by the
// interval's name + ".dat" without regard to case (the first in name order wins).
std::vector<std::vector<Candle>> ExpectedRuns(const CMinReplicator& r,
                                              const std::map<std::string, std::string>& files) {
  std::vector<std::vector<Candle>> runs;
  for (const CMinArch& interval : r.intervals_) {
    const std::string wanted = Lower(interval.m_Name + ".dat");
    std::vector<Candle> run;
    for (const auto& [name, bytes] : files) {
      if (Lower(name) != wanted) continue;
      if (bytes.size() % kCandleBytes == 0) run = fuzz::Records(bytes);
      break;
    }
    if (run.size() > static_cast<std::size_t>(kMaxCandlesPerInterval))
      run.erase(run.begin(), run.end() - kMaxCandlesPerInterval);
    runs.push_back(std::move(run));
  }
  return runs;
}

bool SameRecord(const Candle& a, const Candle& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckArchive(const CMinReplicator& r, const std::vector<Candle>& records,
                  const std::vector<std::vector<Candle>>& expected) {
  fuzz::Check(records.size() >= static_cast<std::size_t>(kSlotCount) &&
                  SlotCountsValid(records.data()) &&
                  static_cast<std::size_t>(ArchiveRecords(records.data())) == records.size(),
              "a converted archive whose slots and size disagree");
  std::size_t next = kSlotCount;
  for (std::size_t slot = 0; slot < expected.size(); ++slot) {
    const auto s = static_cast<int>(slot);
    fuzz::Check(SlotCode(records.data(), s) == r.intervals_[slot].m_Interval,
                "a slot without its interval's code");
    fuzz::Check(SlotCount(records.data(), s) == static_cast<int>(expected[slot].size()),
                "a slot whose count is not its file's", r.intervals_[slot].m_Name);
    for (const Candle& c : expected[slot])
      fuzz::Check(SameRecord(records[next++], c), "a converted candle differs",
                  r.intervals_[slot].m_Name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMinReplicator& r = Replicator();
  fuzz::MakeEmptyFolder(r.archiveDir_);
  const fs::path classDir = r.archiveDir_ / kClass;
  const fs::path sourceDir = classDir / kSecurity;
  const fs::path target = classDir / (std::string(kSecurity) + ".dat");
  fs::create_directories(sourceDir);

  fuzz::InputReader input(data, size);
  std::map<std::string, std::string> files;
  std::string existing;
  bool hasExisting = false;
  while (!input.Rest().empty()) {
    const std::uint8_t which = input.Byte();
    const std::string_view bytes = input.Take(input.Word());
    if (which == kExistingArchive) {
      existing = bytes;
      hasExisting = true;
      continue;
    }
    const std::string name = kFileNames[which % kFileNames.size()];
    if (files.count(name) != 0) continue;
    files[name] = bytes;
    fuzz::WriteBytes(sourceDir / name, bytes);
  }
  if (hasExisting) fuzz::WriteBytes(target, existing);

  InstrumentWork w = StartWork(r);
  w.curClass_ = kClass;
  w.curSec_ = kSecurity;
  ReplicateFile(r, w, fs::path(kClass) / kSecurity);

  if (hasExisting) {
    fuzz::Check(fuzz::ReadBytes(target) == existing, "an existing archive was changed");
    fuzz::Check(fs::is_directory(sourceDir), "the directory went beside an existing archive");
    return 0;
  }
  const std::vector<std::vector<Candle>> expected = ExpectedRuns(r, files);
  const bool unusable = std::any_of(expected.begin(), expected.end(), [](const auto& run) {
    return std::any_of(run.begin(), run.end(), [](const Candle& c) { return !IsUsableCandle(c); });
  });
  if (unusable) {
    fuzz::Check(!fs::exists(target), "an archive was written from an unusable legacy record");
    fuzz::Check(fs::is_directory(sourceDir), "a damaged legacy directory was removed");
    return 0;
  }
  if (fs::exists(sourceDir) && !fs::exists(target)) return 0;
  fuzz::Check(fs::exists(target), "the directory was removed without an archive");
  fuzz::Check(fuzz::ArchiveDamage(target).empty(), "a converted archive that the loader refuses");
  CheckArchive(r, fuzz::Records(fuzz::ReadBytes(target)), expected);
  return 0;
}
