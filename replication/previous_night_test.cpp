#include "replication/previous_night.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "archive/candle_file.h"
#include "archive/test_archive.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using test_archive::Minutes;

namespace {

class PreviousNight : public ::testing::Test {
 protected:
  fs::path File(const char* date, const char* sec = "SEC") const {
    return root / "minutes" / date / "CLS" / sec / "1.dat";
  }
  void Write(const fs::path& file, std::vector<Candle> minutes) {
    fs::create_directories(file.parent_path());
    CMinArch series(kOneMinuteInterval, 0);
    series.m_Candles = minutes.data();
    series.m_Count = static_cast<std::int32_t>(minutes.size());
    ASSERT_TRUE(WriteCandleFile(file, series));
  }
  // An evening of date from 19:00 past midnight to 01:59 (the records keep the date).
  void Evening(const char* date, double price) {
    std::vector<Candle> minutes = Minutes(std::stoi(date), 1900, 2359, price);
    const std::vector<Candle> night = Minutes(std::stoi(date), 0, 159, price + 500);
    minutes.insert(minutes.end(), night.begin(), night.end());
    Write(File(date), minutes);
  }

  support::TestTempDir root;
};

}  // namespace

TEST_F(PreviousNight, TheNewestEarlierExportOfTheSecurityGivesItsPartAfterMidnight) {
  Evening("20240205", 100);
  Evening("20240206", 200);
  Write(File("20240207"), Minutes(20240207, 1900, 2200));
  // A later export, another security's export and a folder that is no date do not count.
  Evening("20240208", 300);
  Write(File("20240206", "OTHER"), Minutes(20240206, 1900, 2359, 900));
  fs::create_directories(root / "minutes" / "backup" / "CLS" / "SEC");
  const auto night = PreviousExportNight(File("20240207"), 20240207, std::nullopt, 0);
  ASSERT_TRUE(night.has_value());
  EXPECT_EQ(night->date, 20240207);
  EXPECT_EQ(night->volume, 120);
  EXPECT_EQ(night->open, 700);
  EXPECT_EQ(night->close, 819.5);
  // The window and the session start are applied as an add applies them.
  const auto windowed =
      PreviousExportNight(File("20240207"), 20240207, MinuteWindow{190000, 13000}, 0);
  ASSERT_TRUE(windowed.has_value());
  EXPECT_EQ(windowed->volume, 91);
  // Its one-minute candles: 00:00 to 01:59 of the date, after the window 00:00 to 01:30.
  const std::vector<Candle> minutes =
      PreviousExportNightMinutes(File("20240207"), 20240207, MinuteWindow{190000, 13000}, 0);
  ASSERT_EQ(minutes.size(), 91u);
  EXPECT_EQ(minutes.front().date, 20240207);
  EXPECT_EQ(minutes.front().time, 0);
  EXPECT_EQ(minutes.back().time, 13000);
  EXPECT_EQ(minutes.front().open, windowed->open);
  EXPECT_EQ(minutes.back().close, windowed->close);
}

TEST_F(PreviousNight, NothingWhenThePreviousExportEndsBeforeMidnightOrIsMissing) {
  Write(File("20240207"), Minutes(20240207, 1900, 2200));
  EXPECT_FALSE(PreviousExportNight(File("20240207"), 20240207, std::nullopt, 0));
  Write(File("20240206"), Minutes(20240206, 1900, 2359));
  EXPECT_FALSE(PreviousExportNight(File("20240207"), 20240207, std::nullopt, 0));
  // A night that falls on another date (the export before a weekend) is not this date's.
  Evening("20240202", 100);
  fs::remove(File("20240206"));
  EXPECT_FALSE(PreviousExportNight(File("20240207"), 20240207, std::nullopt, 0));
  // A damaged file is no night.
  Write(File("20240206"), Minutes(20240206, 1900, 2359));
  fs::resize_file(File("20240206"), 47);
  EXPECT_FALSE(PreviousExportNight(File("20240207"), 20240207, std::nullopt, 0));
  EXPECT_TRUE(PreviousExportNightMinutes(File("20240207"), 20240207, std::nullopt, 0).empty());
}

TEST_F(PreviousNight, AnExportsOwnDayCountsOnlyItsMinutesAfterTheGivenTime) {
  // The export of 20240207: 00:30 to 01:00 (an export cut to its part after midnight,
  // which an add dates with its own date), then 19:00 to 19:09.
  std::vector<Candle> minutes = Minutes(20240207, 30, 100, 100);
  const std::vector<Candle> evening = Minutes(20240207, 1900, 1909, 300);
  minutes.insert(minutes.end(), evening.begin(), evening.end());
  Write(File("20240207"), minutes);
  const auto whole = ExportOwnDay(File("20240206"), 20240207, -1, std::nullopt, 0);
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(whole->volume, 41);
  EXPECT_EQ(whole->time, 0);
  // An inserted night of 20240206 that ends at 01:52 replaced 00:30 to 01:00 of it.
  const auto after = ExportOwnDay(File("20240206"), 20240207, 15200, std::nullopt, 0);
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->date, 20240207);
  EXPECT_EQ(after->volume, 10);
  EXPECT_EQ(after->open, 300);
  EXPECT_EQ(after->close, evening.back().close);
  EXPECT_FALSE(ExportOwnDay(File("20240206"), 20240207, 191000, std::nullopt, 0));
  EXPECT_FALSE(ExportOwnDay(File("20240206"), 20240208, -1, std::nullopt, 0));
}
