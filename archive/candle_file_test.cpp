#include "archive/candle_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "archive/archive_layout.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace {

class CandleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("barsync_candle_file_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  fs::path File(const std::string& name) const { return dir_ / name; }
  void WriteBytes(const fs::path& path, std::size_t size, char fill = 'x') {
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
  }
  static std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

Candle Sample(int i) {
  return {100.0 + i, 1.5 + i, 2.5 + i, 0.5 + i, 2.0 + i, 20240102 + i, 100000 + 100 * i};
}

}  // namespace

TEST_F(CandleFileTest, SizesThatAreNotWholeRecordsAreCorrupted) {
  std::vector<Candle> storage;
  CMinArch series(kOneMinuteInterval, 0);
  for (std::size_t size : {47u, 49u, 100u}) {
    WriteBytes(File("bad.dat"), size);
    EXPECT_FALSE(ReadCandleFile(File("bad.dat"), series, storage)) << size;
    EXPECT_TRUE(storage.empty());
    EXPECT_EQ(series.m_Count, 0);
  }
  WriteBytes(File("two.dat"), 96, '\0');
  ASSERT_TRUE(ReadCandleFile(File("two.dat"), series, storage));
  EXPECT_EQ(series.m_Count, 2);
  EXPECT_EQ(series.m_Candles, storage.data());
  WriteBytes(File("empty.dat"), 0);
  ASSERT_TRUE(ReadCandleFile(File("empty.dat"), series, storage));
  EXPECT_EQ(series.m_Count, 0);
  EXPECT_FALSE(ReadCandleFile(File("missing.dat"), series, storage));
}

TEST_F(CandleFileTest, ADirectoryInPlaceOfAFileIsNotReadOnAnyPlatform) {
  fs::create_directories(File("1.dat") / "inside");
  std::vector<Candle> storage;
  CMinArch series(kOneMinuteInterval, 0);
  bool read = true;
  EXPECT_NO_THROW(read = ReadCandleFile(File("1.dat"), series, storage));
  EXPECT_FALSE(read);
  EXPECT_EQ(series.m_Count, 0);
  auto buffer = NewArchiveBuffer();
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  EXPECT_NO_THROW(read = ReadCandleFile(File("1.dat"), whole, buffer.size()));
  EXPECT_FALSE(read);
  EXPECT_EQ(whole.m_Count, 0);
}

TEST_F(CandleFileTest, WrittenSeriesReadsBackEqual) {
  std::vector<Candle> candles;
  for (int i = 0; i < 5; ++i) candles.push_back(Sample(i));
  CMinArch out(kOneMinuteInterval, 0);
  out.m_Candles = candles.data();
  out.m_Count = 5;
  ASSERT_TRUE(WriteCandleFile(File("1.dat"), out));
  EXPECT_EQ(fs::file_size(File("1.dat")), 5 * kCandleBytes);
  EXPECT_FALSE(fs::exists(support::TemporaryPathFor(File("1.dat"))));
  std::vector<Candle> storage;
  CMinArch in(kOneMinuteInterval, 0);
  ASSERT_TRUE(ReadCandleFile(File("1.dat"), in, storage));
  ASSERT_EQ(in.m_Count, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(in.m_Candles[i].date, candles[i].date);
    EXPECT_EQ(in.m_Candles[i].time, candles[i].time);
    EXPECT_EQ(in.m_Candles[i].close, candles[i].close);
  }
}

TEST_F(CandleFileTest, NewArchiveOfThreeIntervalsIs768Bytes) {
  auto buffer = NewArchiveBuffer();
  const std::int32_t codes[] = {1, 60, kDayInterval};
  InitSlots(buffer.data(), codes);
  CMinArch archive(kOneMinuteInterval, 0);
  archive.m_Candles = buffer.data();
  archive.m_Count = ArchiveRecords(buffer.data());
  ASSERT_TRUE(WriteCandleFile(File("SEC.dat"), archive));
  const std::string bytes = ReadBytes(File("SEC.dat"));
  ASSERT_EQ(bytes.size(), 768u);
  auto reread = NewArchiveBuffer();
  CMinArch loaded(kOneMinuteInterval, 0);
  loaded.m_Candles = reread.data();
  ASSERT_TRUE(ReadCandleFile(File("SEC.dat"), loaded, reread.size()));
  EXPECT_EQ(loaded.m_Count, 16);
  EXPECT_EQ(SlotCode(reread.data(), 0), 1);
  EXPECT_EQ(SlotCode(reread.data(), 1), 60);
  EXPECT_EQ(SlotCode(reread.data(), 2), kDayInterval);
  for (int slot = 3; slot < kSlotCount; ++slot) EXPECT_EQ(SlotCode(reread.data(), slot), 0);
  EXPECT_EQ(TotalCandles(reread.data()), 0);
}

TEST_F(CandleFileTest, FileLargerThanTheCallersBufferIsRefusedUntouched) {
  WriteBytes(File("big.dat"), 4 * kCandleBytes, '\x01');
  std::vector<Candle> buffer(3);
  buffer[0].volume = 42;
  CMinArch target(kOneMinuteInterval, 0);
  target.m_Candles = buffer.data();
  EXPECT_FALSE(ReadCandleFile(File("big.dat"), target, buffer.size()));
  EXPECT_EQ(target.m_Count, 0);
  EXPECT_EQ(buffer[0].volume, 42);
  WriteBytes(File("fits.dat"), 3 * kCandleBytes, '\0');
  EXPECT_TRUE(ReadCandleFile(File("fits.dat"), target, buffer.size()));
  EXPECT_EQ(target.m_Count, 3);
  EXPECT_EQ(buffer[0].volume, 0);
}

TEST_F(CandleFileTest, FailedWriteLeavesThePreviousArchiveAsItWas) {
  std::vector<Candle> old{Sample(1), Sample(2)};
  CMinArch source(kOneMinuteInterval, 0);
  source.m_Candles = old.data();
  source.m_Count = 2;
  ASSERT_TRUE(WriteCandleFile(File("SEC.dat"), source));
  const std::string before = ReadBytes(File("SEC.dat"));

  // The temporary cannot be created: a directory stands in its place.
  const fs::path temp = support::TemporaryPathFor(File("SEC.dat"));
  fs::create_directory(temp);
  fs::create_directory(temp / "inside");
  std::vector<Candle> fresh(100, Sample(3));
  source.m_Candles = fresh.data();
  source.m_Count = 100;
  EXPECT_FALSE(WriteCandleFile(File("SEC.dat"), source));
  EXPECT_EQ(ReadBytes(File("SEC.dat")), before);
  fs::remove_all(temp);

  // The target cannot be replaced: a directory stands at its path.
  fs::create_directory(File("DIR.dat"));
  fs::create_directory(File("DIR.dat") / "inside");
  EXPECT_FALSE(WriteCandleFile(File("DIR.dat"), source));
  EXPECT_TRUE(fs::is_directory(File("DIR.dat")));
  EXPECT_FALSE(fs::exists(support::TemporaryPathFor(File("DIR.dat"))));

  // A missing directory: nothing is created.
  EXPECT_FALSE(WriteCandleFile(File("nowhere") / "SEC.dat", source));
  EXPECT_FALSE(fs::exists(File("nowhere")));
}

TEST(LocateIntervalTest, FindsRunsByExactNameAndTheCapitalDQuirk) {
  auto buffer = NewArchiveBuffer();
  const std::int32_t codes[] = {1, kDayInterval, kMonthInterval};
  InitSlots(buffer.data(), codes);
  SetSlot(buffer.data(), 0, 1, 10);
  SetSlot(buffer.data(), 1, kDayInterval, 4);
  SetSlot(buffer.data(), 2, kMonthInterval, 2);
  CMinArch target(kDayInterval, 0);
  target.m_Instrument = buffer.data();
  ASSERT_TRUE(LocateInterval(target, "day"));
  EXPECT_EQ(target.m_Count, 4);
  EXPECT_EQ(target.m_Candles, buffer.data() + 16 + 10);
  ASSERT_TRUE(LocateInterval(target, "mounth"));
  EXPECT_EQ(target.m_Candles, buffer.data() + 16 + 14);
  EXPECT_EQ(target.m_Count, 2);
  // "Day" is not a calendar word here: it is the number 0, the first unused slot.
  ASSERT_TRUE(LocateInterval(target, "Day"));
  EXPECT_EQ(target.m_Count, 0);
  EXPECT_EQ(target.m_Candles, buffer.data() + 16 + 16);
  EXPECT_FALSE(LocateInterval(target, "week"));
  EXPECT_EQ(target.m_Candles, buffer.data() + 16 + 16);

  for (int slot = 0; slot < kSlotCount; ++slot) SetSlot(buffer.data(), slot, slot + 1, 1);
  EXPECT_FALSE(LocateInterval(target, "Day"));
  SetSlot(buffer.data(), 3, 4, 3001);  // a damaged count is never followed
  EXPECT_FALSE(LocateInterval(target, "5"));
}
