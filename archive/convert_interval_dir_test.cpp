#include "archive/convert_interval_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "support/test_temp_dir.h"

namespace {

namespace fs = std::filesystem;

// count candles on real dates from firstDate (a yyyymmdd whose day is at most 28):
// consecutive days 1 to 28 of each month.
std::vector<Candle> Candles(int count, std::int32_t firstDate) {
  std::vector<Candle> out(count);
  const int year = firstDate / 10000;
  const int month = firstDate / 100 % 100 - 1;
  const int day = firstDate % 100 - 1;
  for (int i = 0; i < count; ++i) {
    const int n = (month * 28 + day) + i;
    out[i].date = (year + n / (12 * 28)) * 10000 + (n / 28 % 12 + 1) * 100 + n % 28 + 1;
    out[i].open = out[i].high = out[i].low = out[i].close = 10 + i;
    out[i].volume = 1;
  }
  return out;
}

void Write(const fs::path& file, std::vector<Candle> candles) {
  fs::create_directories(file.parent_path());
  CMinArch series(kOneMinuteInterval, 0);
  series.m_Candles = candles.data();
  series.m_Count = static_cast<std::int32_t>(candles.size());
  ASSERT_TRUE(WriteCandleFile(file, series));
}

std::vector<Candle> ReadArchive(const fs::path& file) {
  CMinArch whole(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  EXPECT_TRUE(ReadCandleFile(file, whole, storage));
  return storage;
}

std::vector<CMinArch> Intervals(const std::vector<std::string>& names) {
  std::vector<CMinArch> out;
  for (const auto& n : names) out.emplace_back(n, 3000);
  return out;
}

}  // namespace

TEST(Conversion, IntervalFilesBecomeOneArchiveAndTheDirectoryGoes) {
  support::TestTempDir root;
  Write(root / "CLS/SEC/1.dat", Candles(10, 20240101));
  Write(root / "CLS/SEC/DAY.dat", Candles(2, 20240101));  // found whatever the case
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "60", "DAY"}));
  const auto archive = ReadArchive(root / "CLS/SEC.dat");
  ASSERT_EQ(archive.size(), 16u + 10u + 2u);
  EXPECT_EQ(SlotCode(archive.data(), 0), 1);
  EXPECT_EQ(SlotCount(archive.data(), 0), 10);
  EXPECT_EQ(SlotCode(archive.data(), 1), 60);
  EXPECT_EQ(SlotCount(archive.data(), 1), 0);
  EXPECT_EQ(SlotCode(archive.data(), 2), -1);
  EXPECT_EQ(SlotCount(archive.data(), 2), 2);
  EXPECT_EQ(SlotCode(archive.data(), 3), 0);
  EXPECT_EQ(archive[16 + 10].date, 20240101);
  EXPECT_FALSE(fs::exists(root / "CLS/SEC"));
}

TEST(Conversion, ExistingArchiveIsNeverOverwritten) {
  support::TestTempDir root;
  Write(root / "CLS/SEC/1.dat", Candles(3, 20240101));
  Write(root / "CLS/SEC.dat", Candles(20, 20230101));
  testing::internal::CaptureStdout();
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1"}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("SEC.dat already exist, reorganization not produce."), std::string::npos);
  EXPECT_EQ(ReadArchive(root / "CLS/SEC.dat").size(), 20u);
  EXPECT_TRUE(fs::exists(root / "CLS/SEC/1.dat"));
}

TEST(Conversion, UnconvertedFilesKeepTheDirectory) {
  support::TestTempDir root;
  Write(root / "CLS/SEC/1.dat", Candles(3, 20240101));
  Write(root / "CLS/SEC/15.dat", Candles(3, 20240101));
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "5"}));
  EXPECT_EQ(ReadArchive(root / "CLS/SEC.dat").size(), 16u + 3u);
  EXPECT_TRUE(fs::exists(root / "CLS/SEC/15.dat"));
}

// An interval file that is there but cannot be read (not a whole number of records) is
// damage like an unusable record: an archive written without it would be final, since the
// next conversion finds the archive and never converts the directory.
TEST(Conversion, AnUnreadableIntervalFileKeepsTheDirectoryAndWritesNoArchive) {
  support::TestTempDir root;
  Write(root / "CLS/SEC/1.dat", Candles(3, 20240101));
  std::vector<Candle> days = Candles(4, 20240101);
  Write(root / "CLS/SEC/day.dat", days);
  fs::resize_file(root / "CLS/SEC/day.dat", 4 * sizeof(Candle) - 1);
  testing::internal::CaptureStdout();
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "day"}));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("day.dat can not be read as candles"), std::string::npos) << out;
  EXPECT_NE(out.find("is not converted and is kept as it is"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(root / "CLS/SEC.dat"));
  EXPECT_EQ(fs::file_size(root / "CLS/SEC/day.dat"), 4 * sizeof(Candle) - 1);
  EXPECT_TRUE(fs::exists(root / "CLS/SEC/1.dat"));
  // Mended, the directory converts as any other.
  Write(root / "CLS/SEC/day.dat", days);
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "day"}));
  EXPECT_EQ(ReadArchive(root / "CLS/SEC.dat").size(), 16u + 3u + 4u);
  EXPECT_FALSE(fs::exists(root / "CLS/SEC"));
}

TEST(Conversion, LongIntervalFileKeepsItsNewest3000) {
  support::TestTempDir root;
  const std::vector<Candle> candles = Candles(3005, 20000101);
  Write(root / "CLS/SEC/1.dat", candles);
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1"}));
  const auto archive = ReadArchive(root / "CLS/SEC.dat");
  ASSERT_EQ(archive.size(), 16u + 3000u);
  EXPECT_EQ(archive[16].date, candles[5].date);
  EXPECT_EQ(archive.back().date, candles.back().date);
}

// A legacy record that is not a usable candle would make an archive that every later run
// refuses: the directory is reported and kept as it is, and no archive is written.
TEST(Conversion, AnUnusableLegacyRecordKeepsTheDirectoryAndWritesNoArchive) {
  struct Case {
    const char* name;
    void (*spoil)(Candle&);
    const char* reason;
  };
  const Case cases[] = {
      {"all zero", [](Candle& c) { c = Candle{0, 0, 0, 0, 0, c.date, 0}; }, "record 3 (date"},
      {"nan open", [](Candle& c) { c.open = std::nan(""); }, "not a usable candle"},
      {"low above high", [](Candle& c) { c.low = c.high + 1; }, "not a usable candle"},
      {"impossible date", [](Candle& c) { c.date = 20240230; }, "not a usable candle"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    support::TestTempDir root;
    Write(root / "CLS/SEC/1.dat", Candles(10, 20240101));
    std::vector<Candle> days = Candles(5, 20240101);
    c.spoil(days[3]);
    Write(root / "CLS/SEC/day.dat", days);
    testing::internal::CaptureStdout();
    ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "DAY"}));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("day.dat contains errors: "), std::string::npos) << out;
    EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    EXPECT_NE(out.find("is not converted and is kept as it is"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(root / "CLS/SEC.dat"));
    EXPECT_TRUE(fs::exists(root / "CLS/SEC/1.dat"));
    EXPECT_TRUE(fs::exists(root / "CLS/SEC/day.dat"));
  }
  // A damaged record among those older than the newest 3000 is not converted and harms nothing.
  support::TestTempDir root;
  std::vector<Candle> minutes = Candles(3002, 20000101);
  minutes[1].volume = -1;
  Write(root / "CLS/SEC/1.dat", minutes);
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1"}));
  EXPECT_EQ(ReadArchive(root / "CLS/SEC.dat").size(), 16u + 3000u);
  EXPECT_FALSE(fs::exists(root / "CLS/SEC"));
}
