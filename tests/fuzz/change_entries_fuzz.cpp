// Fuzz target: the [ChangeLot] and [ChangePrice] entries through their parsers and the
// changelot and changeprice actions on a small archive and minute tree.
//
// Input: byte 0 chooses the actions (bit 0 changelot, bit 1 changeprice, bit 2 price
// before lot); the rest is the text of Barsync.ini (its [ChangeLot], [ChangePrice] and
// [General] DateBegin, DateEnd and Date). The tree (archive TQBR/SBER.dat and the minute
// files of two dates) is laid anew for every input. Checks: a lot divisor is the ratio of
// the lots; the price line's format is "%s %s %9.<digits>f %i"; a change keeps the
// archive's and the minute files' layout, dates and times, leaves every value finite,
// and an archive the loader accepted before is still accepted.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_constants.h"
#include "app/archive_rescale.h"
#include "app/change_entries.h"
#include "app/min_replicator.h"
#include "app/run_actions.h"
#include "app/run_settings.h"
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
constexpr const char* kDates[] = {"20240130", "20240131"};
constexpr int kDayMinutes = 40;
constexpr double kRatioTolerance = 1e-12;

std::string MinuteBytes(std::int32_t date, int dayIndex) {
  std::string bytes(kDayMinutes * kCandleBytes, '\0');
  for (int i = 0; i < kDayMinutes; ++i) {
    Candle c;
    c.open = 250.0 + dayIndex + i * 0.01;
    c.high = c.open + 0.07;
    c.low = c.open - 0.04;
    c.close = c.open + 0.02;
    c.volume = 100 + 7 * i;
    c.date = date;
    c.time = 110000 + i * kTimeMinuteFactor;
    EncodeCandle(c, reinterpret_cast<unsigned char*>(bytes.data() + i * kCandleBytes));
  }
  return bytes;
}

struct Tree {
  std::vector<std::pair<fs::path, std::string>> files;  // archive first
};

fs::path MinuteFile(const char* date) {
  return fuzz::MinutesDir() / date / kClass / kSecurity / "1.dat";
}

const Tree& SampleTree() {
  static const Tree tree = [] {
    fuzz::WriteBytes(fuzz::Workspace() / kSettingsFileName, fuzz::kAllIntervalsIni);
    fuzz::MakeEmptyFolder(fuzz::ArchiveDir() / kClass);
    fuzz::MakeEmptyFolder(fuzz::MinutesDir());
    CMinReplicator r;
    fuzz::Check(fuzz::ParseConfined(r, {"-a", "add"}), "settings of the workspace refused");
    InstrumentWork w = StartWork(r);
    w.curClass_ = kClass;
    w.curSec_ = kSecurity;
    Tree t;
    t.files.emplace_back(InstrumentArchivePath(r, w), std::string());
    for (int i = 0; i < 2; ++i) {
      const std::string bytes = MinuteBytes(std::atoi(kDates[i]), i);
      fuzz::WriteBytes(MinuteFile(kDates[i]), bytes);
      t.files.emplace_back(MinuteFile(kDates[i]), bytes);
      w.date_ = kDates[i];
      ReplicateFile(r, w, fs::path(kDates[i]) / kClass / kSecurity);
    }
    t.files.front().second = fuzz::ReadBytes(t.files.front().first);
    fuzz::Check(!t.files.front().second.empty(), "the sample archive was not made");
    return t;
  }();
  return tree;
}

void LayTree(const Tree& tree) {
  fuzz::MakeEmptyFolder(fuzz::ArchiveDir());
  fuzz::MakeEmptyFolder(fuzz::MinutesDir());
  for (const auto& [path, bytes] : tree.files) fuzz::WriteBytes(path, bytes);
}

void CheckEntryParsers() {
  LotEntry previous;
  for (const auto& [key, value] : changeLotList) {
    const LotEntry entry = ParseLotEntry(value, previous);
    previous = entry;
    if (!LotsInRange(entry)) continue;
    const double divisor = LotDivisor(entry.oldLot, entry.newLot);
    const double ratio = static_cast<double>(entry.newLot) / entry.oldLot;
    fuzz::Check(std::isfinite(divisor) && divisor > 0 &&
                    std::fabs(divisor - ratio) <= kRatioTolerance * ratio,
                "a lot divisor that is not new / old", value);
  }
  for (const auto& [key, value] : changePriceList) {
    const PriceEntry entry = ParsePriceEntry(value);
    if (!PriceDivisorValid(entry) || !PriceDigitsValid(entry)) continue;
    const std::int32_t digits = entry.digits == 0 ? 2 : entry.digits;
    fuzz::Check(PriceLineFormat(digits) == "%s %s %9." + std::to_string(digits) + "f %i",
                "a price line format that is not %s %s %9.<d>f %i", value);
  }
}

// Layout, dates and times of before and after agree, and every value of after is finite.
void CheckChanged(const fs::path& path, const std::string& before, bool archive) {
  // The path's text is made only for a failure: these checks run for every value.
  const std::string after = fuzz::ReadBytes(path);
  if (after.size() != before.size()) fuzz::Fail("a change altered a file's size", path.string());
  const std::vector<Candle> was = fuzz::Records(before);
  const std::vector<Candle> is = fuzz::Records(after);
  for (std::size_t i = 0; i < is.size(); ++i) {
    if (is[i].date != was[i].date || is[i].time != was[i].time)
      fuzz::Fail("a change altered a date, time or slot", path.string());
    if (archive && i < static_cast<std::size_t>(kSlotCount)) continue;
    for (double v : {is[i].volume, is[i].open, is[i].high, is[i].low, is[i].close})
      if (!std::isfinite(v)) fuzz::Fail("a change made a value that is not finite", path.string());
  }
}

void RunChange(CMinReplicator& r, bool lot) {
  r.action_ = lot ? "changelot" : "changeprice";
  const ActionOutcome outcome = lot ? RunChangeLot(r) : RunChangePrice(r);
  if (outcome == ActionOutcome::kDone) FinishChangeJournal();  // as the run does at its end
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Tree& tree = SampleTree();
  struct Release {
    ~Release() { fuzz::ReleaseSettingGlobals(); }
  } release;
  fuzz::InputReader input(data, size);
  const std::uint8_t choice = input.Byte();
  LayTree(tree);
  fuzz::WriteBytes(fuzz::Workspace() / kSettingsFileName, input.Rest());

  CMinReplicator r;
  if (!fuzz::ParseConfined(r)) return 0;
  CheckEntryParsers();
  const bool lot = (choice & 1) != 0;
  const bool price = (choice & 2) != 0;
  const bool priceFirst = (choice & 4) != 0;
  if (price && priceFirst) RunChange(r, false);
  if (lot) RunChange(r, true);
  if (price && !priceFirst) RunChange(r, false);

  for (std::size_t i = 0; i < tree.files.size(); ++i)
    CheckChanged(tree.files[i].first, tree.files[i].second, i == 0);
  const std::string damage = fuzz::ArchiveDamage(tree.files.front().first);
  fuzz::Check(damage.empty(), "a lot or price change made the archive unloadable", damage);
  return 0;
}
