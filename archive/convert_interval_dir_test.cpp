#include "archive/convert_interval_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "support/test_temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<Candle> Candles(int count, std::int32_t firstDate) {
  std::vector<Candle> out(count);
  for (int i = 0; i < count; ++i) {
    out[i].date = firstDate + i;
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
  std::ofstream(root / "CLS/SEC/5.dat", std::ios::binary) << "not a candle file";
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1", "5"}));
  EXPECT_EQ(ReadArchive(root / "CLS/SEC.dat").size(), 16u + 3u);
  EXPECT_TRUE(fs::exists(root / "CLS/SEC/15.dat"));
  EXPECT_TRUE(fs::exists(root / "CLS/SEC/5.dat"));
}

TEST(Conversion, LongIntervalFileKeepsItsNewest3000) {
  support::TestTempDir root;
  Write(root / "CLS/SEC/1.dat", Candles(3005, 1));
  ConvertIntervalDirectory(root.path(), "CLS", "SEC", Intervals({"1"}));
  const auto archive = ReadArchive(root / "CLS/SEC.dat");
  ASSERT_EQ(archive.size(), 16u + 3000u);
  EXPECT_EQ(archive[16].date, 6);
  EXPECT_EQ(archive.back().date, 3005);
}
