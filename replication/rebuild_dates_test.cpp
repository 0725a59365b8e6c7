#include "replication/rebuild_dates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "archive/candle_file.h"
#include "archive/test_archive.h"
#include "archive/usable_candle.h"
#include "replication/archive_load.h"
#include "replication/instrument_work.h"
#include "replication/interval_order.h"
#include "replication/minute_change.h"
#include "replication/replicate_file.h"
#include "support/temporary_name.h"
#include "support/test_temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void WriteMinutes(const fs::path& file, std::vector<Candle> minutes) {
  fs::create_directories(file.parent_path());
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = minutes.data();
  series.m_Count = static_cast<std::int32_t>(minutes.size());
  ASSERT_TRUE(WriteCandleFile(file, series));
}

std::vector<Candle> ReadMinutes(const fs::path& file) {
  CMinArch series(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  EXPECT_TRUE(ReadCandleFile(file, series, storage));
  return storage;
}

// A minute export tree with the dates written out of order, a folder that is not a date
// and a loose file, for the instrument CLS/SEC; two archive roots beside it.
// The settings of a run and the work on its one instrument.
struct Job {
  RunSettings s;
  InstrumentWork w;
};

class RebuildDates : public testing::Test {
 protected:
  void SetUp() override {
    for (Job* r : {&rebuilt, &added}) {
      r->s.minutesDir_ = root / "minutes";
      r->w.curClass_ = "CLS";
      r->w.curSec_ = "SEC";
      std::vector<CMinArch> intervals;
      for (const char* name : {"1", "5", "DAY", "WEEK"}) intervals.emplace_back(name, 3000);
      r->s.intervals_ = MergeOrder(intervals);
    }
    rebuilt.s.archiveDir_ = root / "rebuilt";
    added.s.archiveDir_ = root / "added";
    fs::create_directories(rebuilt.s.archiveDir_ / "CLS");
    fs::create_directories(added.s.archiveDir_ / "CLS");
  }
  fs::path MinuteFile(const std::string& date) const {
    return root / "minutes" / date / "CLS" / "SEC" / "1.dat";
  }
  void Day(const std::string& date, int from, int to) {
    WriteMinutes(MinuteFile(date), test_archive::Minutes(std::stoi(date), from, to));
  }

  support::TestTempDir root;
  Job rebuilt;
  Job added;
};

}  // namespace

TEST_F(RebuildDates, ExportDatesOldestFirstOnlyRealDates) {
  for (const char* d : {"20240110", "20240105", "backup", "20240108", "20241399"})
    fs::create_directories(root / "minutes" / d);
  std::ofstream(root / "minutes" / "20240101") << "a file";
  EXPECT_EQ(ExportDates(rebuilt.s), (std::vector<std::string>{"20240105", "20240108", "20240110"}));
}

TEST_F(RebuildDates, RebuildEqualsAddingTheDatesOneByOneEvenPastAnUnusableMinute) {
  Day("20240110", 1000, 1130);
  Day("20240105", 1000, 1200);
  Day("20240108", 930, 1015);
  Day("20240111", 1000, 1010);
  // A minute with nothing in it: skipped, the rest of its day is stored.
  std::vector<Candle> bad = test_archive::Minutes(20240109, 1000, 1010);
  bad[3] = Candle{};
  bad[3].date = 20240109;
  bad[3].time = 100300;
  WriteMinutes(MinuteFile("20240109"), bad);
  WriteMinutes(root / "minutes" / "backup" / "CLS" / "SEC" / "1.dat",
               test_archive::Minutes(20240101, 1000, 1010));
  added.s.classTimeSettings_["CLS"] = rebuilt.s.classTimeSettings_["CLS"] = "Day";
  added.s.timeBegins_["Day"] = rebuilt.s.timeBegins_["Day"] = 100000;
  added.s.timeEnds_["Day"] = rebuilt.s.timeEnds_["Day"] = 110000;

  testing::internal::CaptureStdout();
  rebuilt.w.action_ = "rebuild";
  ProcessInstrumentDates(rebuilt.s, rebuilt.w);
  added.w.action_ = "add";
  for (const std::string date : {"20240105", "20240108", "20240109", "20240110", "20240111"}) {
    added.w.date_ = date;
    ReplicateFile(added.s, added.w, fs::path(date) / "CLS" / "SEC");
  }
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(rebuilt.w.action_, "rebuild");
  EXPECT_EQ(rebuilt.w.date_, "20240111");
  const fs::path file = fs::path("CLS") / "SEC.dat";
  ASSERT_TRUE(fs::exists(added.s.archiveDir_ / file));
  EXPECT_EQ(Bytes(rebuilt.s.archiveDir_ / file), Bytes(added.s.archiveDir_ / file));
  EXPECT_EQ(rebuilt.w.corruptedCount_, added.w.corruptedCount_);
  EXPECT_EQ(rebuilt.w.corruptedCount_, 0);
  const std::vector<char> bytes = Bytes(rebuilt.s.archiveDir_ / file);
  std::vector<Candle> archive(bytes.size() / kCandleBytes);
  DecodeCandles(reinterpret_cast<const unsigned char*>(bytes.data()), archive.size(),
                archive.data());
  int held = 0;
  for (std::size_t i = kSlotCount; i < archive.size(); ++i) {
    if (archive[i].date != 20240109) continue;
    EXPECT_NE(archive[i].time, 100300) << "the empty minute was stored";
    EXPECT_TRUE(IsUsableCandle(archive[i])) << i;
    held += archive[i].time != 0 ? 1 : 0;
  }
  EXPECT_GE(held, 10);  // the other minutes of 20240109 (1-minute and 5-minute candles)
}

TEST_F(RebuildDates, RebuildWithoutMinutesFolderSaysSoAndKeepsTheAction) {
  rebuilt.s.minutesDir_ = root / "none";
  rebuilt.w.action_ = "rebuild";
  testing::internal::CaptureStdout();
  ProcessInstrumentDates(rebuilt.s, rebuilt.w);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Can not find Minutes location"), std::string::npos);
  EXPECT_EQ(rebuilt.w.action_, "rebuild");
  EXPECT_FALSE(fs::exists(rebuilt.s.archiveDir_ / "CLS" / "SEC.dat"));
}

TEST(MinuteChange, LotRoundsHalfUpAndPriceRoundsDownInsideTheRange) {
  std::vector<Candle> minutes(3);
  minutes[0].volume = 15;
  minutes[1].volume = 14;
  minutes[2].volume = 5;
  ChangeParameters lot;
  lot.lotDivisor = 10;
  ChangeMinuteRecords(minutes, "changelot", lot);
  EXPECT_EQ(minutes[0].volume, 2);
  EXPECT_EQ(minutes[1].volume, 1);
  EXPECT_EQ(minutes[2].volume, 1);

  std::vector<Candle> prices(2, test_archive::Minute(20240105, 100000, 123.456, 7));
  prices[1].date = 20240106;
  ChangeParameters price;
  price.priceDivisor = 10;
  price.pricePrecision = 100;
  price.priceBegin = 20240101;
  price.priceEnd = 20240105;
  ChangeMinuteRecords(prices, "changeprice", price);
  EXPECT_DOUBLE_EQ(prices[0].open, 12.34);
  EXPECT_DOUBLE_EQ(prices[0].close, 12.39);  // 123.956 / 10 rounded down
  EXPECT_DOUBLE_EQ(prices[0].volume, 7);
  EXPECT_DOUBLE_EQ(prices[1].open, 123.456);
}

TEST(MinuteChange, OnlyAValueMadeNonFiniteByTheChangeIsReported) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<Candle> before(3, test_archive::Minute(20240105, 100000, 100, 5));
  before[0].volume = inf;  // already not finite: not the change's doing
  std::vector<Candle> after = before;
  EXPECT_EQ(FirstValueMadeNonFinite(before.data(), after.data(), 3), -1);
  after[2].low = std::numeric_limits<double>::quiet_NaN();
  after[1].close = -inf;
  EXPECT_EQ(FirstValueMadeNonFinite(before.data(), after.data(), 3), 1);
  EXPECT_EQ(FirstValueMadeNonFinite(before.data(), after.data(), 1), -1);
}

TEST_F(RebuildDates, APriceChangeThatWouldOverflowLeavesTheMinuteFileAsItWas) {
  Day("20240105", 1000, 1001);
  Day("20240108", 1000, 1001);
  const std::vector<char> before = Bytes(MinuteFile("20240105"));
  rebuilt.w.change_.priceDivisor = 1e-307;
  rebuilt.w.action_ = "changeprice";
  testing::internal::CaptureStdout();
  ProcessInstrumentDates(rebuilt.s, rebuilt.w);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("not changed: the change would make minute record 0 (date 20240105, time "
                     "100000) not a finite number"),
            std::string::npos)
      << out;
  EXPECT_EQ(Bytes(MinuteFile("20240105")), before);
}

TEST_F(RebuildDates, LotChangeRewritesEveryDateAndAFailedRewriteKeepsTheFile) {
  Day("20240105", 1000, 1001);
  Day("20240108", 1000, 1001);
  fs::create_directories(root / "minutes" / "20240106" / "CLS" / "SEC");  // no 1.dat
  // The temporary of the rewrite cannot be made on 20240108.
  const fs::path blocked = support::TemporaryPathFor(MinuteFile("20240108"));
  fs::create_directories(blocked);
  std::ofstream(blocked / "keep") << "x";
  const std::vector<char> before = Bytes(MinuteFile("20240108"));
  rebuilt.w.change_.lotDivisor = 0.5;
  rebuilt.w.action_ = "changelot";
  testing::internal::CaptureStdout();
  ProcessInstrumentDates(rebuilt.s, rebuilt.w);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rebuilt.w.action_, "changelot");
  EXPECT_NE(out.find("was not properly recalculated"), std::string::npos) << out;
  EXPECT_NE(out.find("Error updating archive"), std::string::npos) << out;
  EXPECT_EQ(ReadMinutes(MinuteFile("20240105"))[0].volume, 2);
  EXPECT_EQ(Bytes(MinuteFile("20240108")), before);
}
