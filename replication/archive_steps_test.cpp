#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/test_archive.h"
#include "replication/archive_check.h"
#include "replication/archive_load.h"
#include "replication/archive_save.h"
#include "replication/day_merge.h"
#include "replication/instrument_work.h"
#include "replication/interval_order.h"
#include "support/test_temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string NameOfCode(const Candle* buffer, int slot) {
  return std::to_string(SlotCode(buffer, slot));
}

std::vector<CMinArch> Intervals(const std::vector<std::string>& names) {
  std::vector<CMinArch> out;
  for (const auto& n : names) out.emplace_back(n, 3000);
  return out;
}

// One day merged into the archive root/CLS/SEC.dat and saved; false when it was not
// saved (a damaged archive).
bool AddDay(const RunSettings& r, InstrumentWork& w, const std::vector<Candle>& minutes,
            std::int32_t date) {
  LoadedArchive archive = LoadArchive(r, w, InstrumentArchivePath(r, w));
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = const_cast<Candle*>(minutes.data());
  series.m_Count = static_cast<std::int32_t>(minutes.size());
  MergeDay(r, archive, DayInput{series, date, "add", "1.dat"});
  return SaveArchive(archive);
}

std::vector<char> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

class ArchiveSteps : public testing::Test {
 protected:
  void SetUp() override {
    r.archiveDir_ = root.path();
    w.curClass_ = "CLS";
    w.curSec_ = "SEC";
    fs::create_directories(root / "CLS");
    r.intervals_ = MergeOrder(Intervals({"1", "DAY", "5"}));
  }
  fs::path File() const { return InstrumentArchivePath(r, w); }

  support::TestTempDir root;
  RunSettings r;
  InstrumentWork w;
};

}  // namespace

TEST(MergeOrderTest, MinuteIntervalsThenDayThenWeekAndMonth) {
  const auto order =
      MergeOrder(Intervals({"-3", "-1", "1", "15", "5", "WEEK", "MOUNTH", "05", "0"}));
  std::vector<std::int32_t> codes;
  for (const auto& i : order) codes.push_back(i.m_Interval);
  EXPECT_EQ(codes, (std::vector<std::int32_t>{1, 15, 5, -1, -3, -2}));
}

TEST(ArchiveCheck, FirstProblemIsNamed) {
  std::vector<Candle> buffer = NewArchiveBuffer();
  const std::vector<std::int32_t> codes{1, -1};
  InitSlots(buffer.data(), codes);
  SetSlot(buffer.data(), 0, 1, 2);
  SetSlot(buffer.data(), 1, -1, 1);
  for (int i = 16; i < 19; ++i) buffer[i] = test_archive::Minute(20240226, 100000, 10.7, 3);
  EXPECT_EQ(FindArchiveDamage(buffer.data(), 19, NameOfCode), "");
  EXPECT_NE(FindArchiveDamage(buffer.data(), 20, NameOfCode).find("Invalid record count 20"),
            std::string::npos);
  buffer[18].date = 0;
  EXPECT_EQ(FindArchiveDamage(buffer.data(), 19, NameOfCode),
            "Interval='day' (index=0, internal index=18), Date=0, Open=10, High=11, Low=9, "
            "Close=11, Volume=3");
  SetSlot(buffer.data(), 1, kMonthInterval, 1);
  EXPECT_EQ(FindArchiveDamage(buffer.data(), 19, NameOfCode).substr(0, 19), "Interval='mounth' (");
  SetSlot(buffer.data(), 1, -1, 3001);
  EXPECT_EQ(FindArchiveDamage(buffer.data(), 19, NameOfCode),
            "Invalid candle count 3001 in interval '-1'. You can check integrity of all "
            "archives using 'Action=test' mode.");
}

TEST_F(ArchiveSteps, NewArchiveGetsFreeSlotsAndIsSavedAndReadBack) {
  ASSERT_TRUE(AddDay(r, w, test_archive::Minutes(20240226, 1000, 1009), 20240226));
  EXPECT_EQ(w.processedCount_, 1);
  LoadedArchive again = LoadArchive(r, w, File());
  ASSERT_FALSE(again.damaged);
  EXPECT_EQ(SlotCode(again.buffer.data(), 0), 1);
  EXPECT_EQ(SlotCount(again.buffer.data(), 0), 10);
  EXPECT_EQ(SlotCode(again.buffer.data(), 1), 5);
  EXPECT_EQ(SlotCount(again.buffer.data(), 1), 2);
  EXPECT_EQ(SlotCode(again.buffer.data(), 2), -1);
  EXPECT_EQ(fs::file_size(File()), (16u + 13u) * kCandleBytes);
}

TEST_F(ArchiveSteps, DamagedFilesAreCountedAndLeftByteForByte) {
  ASSERT_TRUE(AddDay(r, w, test_archive::Minutes(20240226, 1000, 1009), 20240226));
  std::ofstream(File(), std::ios::binary | std::ios::app) << "abc";
  const auto before = Bytes(File());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(AddDay(r, w, test_archive::Minutes(20240227, 1000, 1009), 20240227));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("SEC.dat contains errors: Invalid file size 1395."), std::string::npos) << out;
  EXPECT_EQ(w.corruptedCount_, 1);
  EXPECT_EQ(Bytes(File()), before);

  // Well sized, but its counts claim more records than it holds.
  fs::resize_file(File(), (16 + 5) * kCandleBytes);
  const auto shorter = Bytes(File());
  EXPECT_FALSE(AddDay(r, w, test_archive::Minutes(20240227, 1000, 1009), 20240227));
  EXPECT_EQ(w.corruptedCount_, 2);
  EXPECT_EQ(Bytes(File()), shorter);
}

// A damaged file leaves the working buffer as zeroed as it came, whatever part of it the
// read had filled (the next archive loaded into the recycled buffer relies on it).
TEST_F(ArchiveSteps, DamagedReadLeavesTheBufferZeroed) {
  ASSERT_TRUE(AddDay(r, w, test_archive::Minutes(20240226, 1000, 1009), 20240226));
  const auto allZero = [](const std::vector<Candle>& buffer) {
    const Candle zero{};
    return std::all_of(buffer.begin(), buffer.end(),
                       [&](const Candle& c) { return std::memcmp(&c, &zero, sizeof c) == 0; });
  };
  const auto readDamaged = [&](const char* what) {
    ScopedArchiveBuffer scratch;
    ASSERT_TRUE(allZero(scratch.get())) << what;
    const ArchiveFileRead read = ReadArchiveFile(File(), scratch.get());
    EXPECT_FALSE(read.damage.empty()) << what;
    EXPECT_EQ(read.records, 0) << what;
    EXPECT_TRUE(allZero(scratch.get())) << what;
  };
  {
    ScopedArchiveBuffer scratch;
    const ArchiveFileRead sound = ReadArchiveFile(File(), scratch.get());
    ASSERT_TRUE(sound.damage.empty()) << sound.damage;
    EXPECT_EQ(sound.records, 16 + 13);
    EXPECT_FALSE(allZero(scratch.get()));
  }
  {
    LoadedArchive archive = LoadArchive(r, w, File());
    ASSERT_FALSE(archive.damaged);
    archive.buffer[16 + 12].date = 20241399;  // the last record: every record was read
    ASSERT_TRUE(SaveArchive(archive));
  }
  readDamaged("a candle with an impossible date");
  fs::resize_file(File(), (16 + 5) * kCandleBytes);
  readDamaged("counts that claim more records than the file holds");
}

TEST_F(ArchiveSteps, IntervalWithoutFreeSlotIsSkippedAndTheOthersMerged) {
  ASSERT_TRUE(AddDay(r, w, test_archive::Minutes(20240226, 1000, 1009), 20240226));
  LoadedArchive archive = LoadArchive(r, w, File());
  for (int slot = 3; slot < kSlotCount; ++slot) SetSlot(archive.buffer.data(), slot, 100 + slot, 0);
  ASSERT_TRUE(SaveArchive(archive));
  r.intervals_ = MergeOrder(Intervals({"1", "15", "DAY", "5"}));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(AddDay(r, w, test_archive::Minutes(20240227, 1000, 1009), 20240227));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error replicating archive 1.dat to "), std::string::npos) << out;
  LoadedArchive after = LoadArchive(r, w, File());
  ASSERT_FALSE(after.damaged);
  EXPECT_EQ(SlotCount(after.buffer.data(), 0), 20);
  EXPECT_EQ(SlotCount(after.buffer.data(), 1), 4);
  EXPECT_EQ(SlotCount(after.buffer.data(), 2), 2);
  EXPECT_FALSE(FindSlot(after.buffer.data(), 15));
}

TEST_F(ArchiveSteps, EmptiedArchiveIsRemoved) {
  ASSERT_TRUE(AddDay(r, w, test_archive::Minutes(20240226, 1000, 1009), 20240226));
  LoadedArchive archive = LoadArchive(r, w, File());
  const CMinArch none(kOneMinuteInterval, 0);
  MergeDay(r, archive, DayInput{none, 20240226, "delete", ""});
  ASSERT_TRUE(SaveArchive(archive));
  EXPECT_FALSE(fs::exists(File()));
}
