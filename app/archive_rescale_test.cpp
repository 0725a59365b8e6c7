#include "app/archive_rescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app_test_support.h"
#include "app/run_actions.h"
#include "app/run_settings.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/test_archive.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<Candle> Read(const fs::path& file) {
  CMinArch series(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  EXPECT_TRUE(ReadCandleFile(file, series, storage));
  return storage;
}

void Write(const fs::path& file, std::vector<Candle> records) {
  fs::create_directories(file.parent_path());
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = records.data();
  series.m_Count = static_cast<std::int32_t>(records.size());
  ASSERT_TRUE(WriteCandleFile(file, series));
}

// CLS/SEC: an archive with one 1-minute slot of two candles, and the minute file of its day.
class PriceChange : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    replicator_.archiveDir_ = dir_ / "archive";
    replicator_.minutesDir_ = dir_ / "minutes";
    const std::vector<Candle> minutes = {test_archive::Minute(20240105, 100000, 250, 10),
                                         test_archive::Minute(20240105, 100100, 251, 20)};
    std::vector<Candle> archive(kSlotCount);
    SetSlot(archive.data(), 0, kOneMinuteInterval, 2);
    archive.insert(archive.end(), minutes.begin(), minutes.end());
    Write(archivePath(), archive);
    Write(minutePath(), minutes);
  }
  void TearDown() override {
    changePriceList.clear();
    AppTest::TearDown();
  }
  fs::path archivePath() const { return replicator_.archiveDir_ / "CLS" / "SEC.dat"; }
  fs::path minutePath() const {
    return replicator_.minutesDir_ / "20240105" / "CLS" / "SEC" / "1.dat";
  }

  // RunChangePrice over the entries; its log lines (on the standard output) in out_.
  ActionOutcome Run(std::vector<IniEntry> entries) {
    changePriceList = std::move(entries);
    replicator_.action_ = "changeprice";
    testing::internal::CaptureStdout();
    const ActionOutcome outcome = RunChangePrice(replicator_);
    if (outcome == ActionOutcome::kDone) FinishChangeJournal();  // as the run does at its end
    out_ = testing::internal::GetCapturedStdout();
    return outcome;
  }
};

TEST_F(PriceChange, ADivisorThatWouldMakePricesInfiniteChangesNothingAndTheNextEntryGoesOn) {
  const std::string archiveBefore = Bytes(archivePath());
  const std::string minutesBefore = Bytes(minutePath());
  EXPECT_EQ(Run({{"1", "CLS,SEC,1e-307"}}), ActionOutcome::kDone);
  EXPECT_NE(out_.find("not changed: the change would make record 16 (date 20240105, time 100000)"
                      " not a finite number"),
            std::string::npos)
      << out_;
  EXPECT_EQ(Bytes(archivePath()), archiveBefore);
  EXPECT_EQ(Bytes(minutePath()), minutesBefore);

  // Several small divisors for one security reach the same overflow step by step: the
  // entries before it are applied, the one that would overflow is not.
  EXPECT_EQ(Run({{"1", "CLS,SEC,1e-150"},
                 {"2", "CLS,SEC,1e-150"},
                 {"3", "CLS,SEC,1e-150"},
                 {"4", "CLS,SEC,4"}}),
            ActionOutcome::kDone);
  const std::vector<Candle> archive = Read(archivePath());
  ASSERT_EQ(archive.size(), 18u);
  EXPECT_NEAR(archive[16].open / (250 * 1e150 * 1e150 / 4), 1, 1e-12);
  EXPECT_TRUE(std::isfinite(archive[17].high));
  for (const Candle& c : Read(minutePath())) EXPECT_TRUE(std::isfinite(c.close));
  EXPECT_NE(out_.find("not changed"), std::string::npos) << out_;
}

TEST_F(PriceChange, AnOrdinaryDivisorChangesArchiveAndMinutes) {
  EXPECT_EQ(Run({{"1", "CLS,SEC,10"}}), ActionOutcome::kDone);
  EXPECT_EQ(out_.find("not changed"), std::string::npos) << out_;
  EXPECT_DOUBLE_EQ(Read(archivePath())[16].open, 25);
  EXPECT_DOUBLE_EQ(Read(minutePath())[1].open, 25.1);
}

}  // namespace
