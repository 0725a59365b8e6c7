#include "app/archive_test_findings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/run_settings.h"
#include "archive/archive_layout.h"
#include "archive/test_archive.h"
#include "replication/run_settings.h"

namespace {

// Slots 1 (two candles) and month (-3, one candle), the candles sound.
std::vector<Candle> SoundArchive() {
  std::vector<Candle> buffer = NewArchiveBuffer();
  SetSlot(buffer.data(), 0, 1, 2);
  SetSlot(buffer.data(), 1, -3, 1);
  buffer[16] = test_archive::Minute(20240105, 100000, 10.9, 5);
  buffer[17] = test_archive::Minute(20240105, 100100, 11.9, 5);
  buffer[18] = test_archive::Minute(20240101, 0, 7.9, 50);
  return buffer;
}

}  // namespace

TEST(ArchiveTestFindings, BadSlotCountsAreEachNamedAndCandlesNotChecked) {
  intervalEntries = {{"1", "3000"}, {"5", "3000"}};
  std::vector<Candle> buffer = SoundArchive();
  SetSlot(buffer.data(), 1, -3, 3001);
  SetSlot(buffer.data(), 4, 60, -1);  // 4294967295 unsigned
  buffer[16].date = 0;
  const ArchiveFindings f = TestArchiveRecords("a/S.dat", buffer.data(), 19);
  EXPECT_TRUE(f.corrupted);
  EXPECT_EQ(f.lines, (std::vector<std::string>{
                         "Archive file a/S.dat contains errors: Invalid candle count 3001 in "
                         "interval '5'",
                         "Archive file a/S.dat contains errors: Invalid candle count -1 in "
                         "interval ''"}));
  intervalEntries.clear();
}

TEST(ArchiveTestFindings, ErrorRecordStopsTheFileZeroVolumeRecordsDoNot) {
  std::vector<Candle> buffer = SoundArchive();
  EXPECT_TRUE(TestArchiveRecords("S.dat", buffer.data(), 19).lines.empty());

  buffer[17].volume = 0;  // zero volume, prices kept
  buffer[18].volume = 0;
  ArchiveFindings f = TestArchiveRecords("S.dat", buffer.data(), 19);
  EXPECT_FALSE(f.corrupted);
  EXPECT_TRUE(f.zeroVolume);
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0],
            "Archive file S.dat contains zero volume: Interval='1' (index=1, internal index=17), "
            "Date=20240105, Open=11, High=12, Low=10, Close=12, Volume=0");
  EXPECT_EQ(f.lines[1],
            "Archive file S.dat contains zero volume: Interval='mounth' (index=0, internal "
            "index=18), Date=20240101, Open=7, High=8, Low=6, Close=8, Volume=0");

  buffer[17] = Candle{};  // volume and prices zero, with a date: an error record
  buffer[17].date = 20240105;
  f = TestArchiveRecords("S.dat", buffer.data(), 19);
  EXPECT_TRUE(f.corrupted);
  ASSERT_EQ(f.lines.size(), 1u);  // record 18 is no longer checked
  EXPECT_EQ(f.lines[0],
            "Archive file S.dat contains errors: Interval='1' (index=1, internal index=17), "
            "Date=20240105, Open=0, High=0, Low=0, Close=0, Volume=0");
}

TEST(ArchiveTestFindings, RecordPastTheCountedCandlesHasNoInterval) {
  std::vector<Candle> buffer = SoundArchive();
  buffer[19] = test_archive::Minute(20240105, 100200, 12, 1);  // past the counted ones
  buffer[20].volume = 1;                                       // date 0
  const ArchiveFindings f = TestArchiveRecords("S.dat", buffer.data(), 21);
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_NE(f.lines[0].find("errors: Interval='' (index=1, internal index=20), Date=0,"),
            std::string::npos)
      << f.lines[0];
}

TEST(ArchiveTestFindings, TruncatedOrSlotlessFilesAreDamaged) {
  std::vector<Candle> buffer = SoundArchive();
  ArchiveFindings f = TestArchiveRecords("S.dat", buffer.data(), 18);
  EXPECT_TRUE(f.corrupted);
  EXPECT_EQ(f.lines, (std::vector<std::string>{"Archive file S.dat contains errors: Invalid "
                                               "record count 18, the intervals hold 19"}));
  const std::vector<Candle> empty = NewArchiveBuffer();
  f = TestArchiveRecords("E.dat", empty.data(), 0);
  EXPECT_TRUE(f.corrupted);
  EXPECT_EQ(f.lines.size(), 1u);
  EXPECT_FALSE(TestArchiveRecords("E.dat", empty.data(), 16).corrupted);
}

// Whatever the archive loader refuses, the test counts as corrupted: records that are not
// usable candles, each named with its reason.
TEST(ArchiveTestFindings, RecordsThatAreNotUsableCandlesAreErrors) {
  struct Case {
    const char* what;
    void (*spoil)(Candle&);
    const char* reason;
  };
  const Case cases[] = {
      {"NaN close", [](Candle& c) { c.close = std::nan(""); }, "a value is not a finite number"},
      {"infinite volume", [](Candle& c) { c.volume = HUGE_VAL; }, "a value is not a finite number"},
      {"week dated -2147483647", [](Candle& c) { c.date = -2147483647; },
       "the date is not a real date"},
      {"day near INT_MAX", [](Candle& c) { c.date = 2147483646; }, "the date is not a real date"},
      {"time 246000", [](Candle& c) { c.time = 246000; }, "the time is not a real time of day"},
      {"negative volume", [](Candle& c) { c.volume = -1; }, "the volume is negative"},
      {"prices zero with a volume", [](Candle& c) { c.open = c.high = c.low = c.close = 0; },
       "a price is zero or negative"},
      {"low above high", [](Candle& c) { c.low = c.high + 1; }, "the low is above the high"},
  };
  for (const Case& k : cases) {
    std::vector<Candle> buffer = SoundArchive();
    k.spoil(buffer[17]);
    const ArchiveFindings f = TestArchiveRecords("S.dat", buffer.data(), 19);
    EXPECT_TRUE(f.corrupted) << k.what;
    ASSERT_EQ(f.lines.size(), 1u) << k.what;
    EXPECT_NE(f.lines[0].find("contains errors: Interval='1' (index=1, internal index=17)"),
              std::string::npos)
        << f.lines[0];
    EXPECT_NE(f.lines[0].find(std::string("(not a usable candle: ") + k.reason + ")"),
              std::string::npos)
        << f.lines[0];
  }
}
