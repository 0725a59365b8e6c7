#include "replication/class_rebuild.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "archive/candle_file.h"
#include "archive/test_archive.h"
#include "replication/instrument_work.h"
#include "replication/interval_order.h"
#include "replication/plain_name.h"
#include "support/test_temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ClassRebuild : public testing::Test {
 protected:
  void SetUp() override {
    r.minutesDir_ = root / "minutes";
    r.archiveDir_ = root / "archive";
    fs::create_directories(r.archiveDir_);
    r.intervals_ = MergeOrder({CMinArch("1", 3000), CMinArch("DAY", 3000)});
    r.action_ = w.action_ = "rebuild";
  }
  // date/class/security with ten minutes (of 20240105: only the folders matter here).
  void Export(const std::string& date, const std::string& cls, const std::string& sec) {
    const fs::path dir = r.minutesDir_ / date / cls / sec;
    fs::create_directories(dir);
    std::vector<Candle> minutes = test_archive::Minutes(20240105, 1000, 1009);
    CMinArch series(kOneMinuteInterval, 0);
    series.m_Candles = minutes.data();
    series.m_Count = static_cast<std::int32_t>(minutes.size());
    ASSERT_TRUE(WriteCandleFile(dir / "1.dat", series));
  }
  std::string Collect() {
    testing::internal::CaptureStdout();
    collected = r.classes_;
    CollectClasses(r, collected, w, {}, 0);
    return testing::internal::GetCapturedStdout();
  }
  bool Archived(const std::string& cls, const std::string& sec) const {
    return fs::exists(r.archiveDir_ / cls / (sec + ".dat"));
  }

  support::TestTempDir root;
  RunSettings r;
  InstrumentWork w;
  ClassTable collected;  // the classes that Collect found
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST_F(ClassRebuild, WithoutClassesEveryClassOfEveryDateIsAddedOnce) {
  Export("20240105", "TQBR", "SBER");
  Export("20240108", "TQBR", "GAZP");
  Export("20240108", "CETS", "USD");
  Export("20240108", "TQBR", "SBER");
  Export("backup", "OLD", "X");  // not an export date
  const std::string out = Collect();
  EXPECT_EQ(Occurrences(out, "Adding class TQBR"), 1u) << out;
  EXPECT_EQ(Occurrences(out, "Adding class CETS"), 1u) << out;
  EXPECT_EQ(collected,
            (std::map<std::string, std::string>{{"CETS", "USD"}, {"TQBR", "SBER,GAZP"}}));
}

TEST_F(ClassRebuild, WithClassesOnlyAllIsSearchedAndUnknownSecuritiesAreReported) {
  r.hasClasses_ = true;
  r.classes_ = {{"TQBR", "ALL"}, {"CETS", "X, Y"}};
  Export("20240105", "TQBR", "A");
  Export("20240108", "TQBR", "B");
  Export("20240108", "CETS", "Z");
  Export("20240108", "SPBX", "Q");
  fs::create_directories(r.minutesDir_ / "20240108" / "TQBR" / "B" / "inner");
  const std::string out = Collect();
  EXPECT_EQ(collected.at("TQBR"), "ALL,A,B");
  EXPECT_EQ(collected.at("CETS"), "X, Y");
  EXPECT_EQ(collected.count("SPBX"), 0u);
  EXPECT_NE(out.find("Invalid directory structure"), std::string::npos) << out;
  EXPECT_EQ(out.find("Adding class"), std::string::npos) << out;
}

TEST_F(ClassRebuild, ListsAreRebuiltTokenByTokenAndAllWithNothingRebuildsNothing) {
  r.hasClasses_ = true;
  r.classes_ = {{"TQBR", "SBER, GAZP,,../x"}, {"EMPTY", "ALL"}};
  Export("20240105", "TQBR", "SBER");
  Export("20240105", "TQBR", "GAZP");
  Export("20240105", "TQBR", "LKOH");
  testing::internal::CaptureStdout();
  RebuildClasses(r, w);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(Archived("TQBR", "SBER"));
  EXPECT_TRUE(Archived("TQBR", "GAZP"));
  EXPECT_FALSE(Archived("TQBR", "LKOH"));
  EXPECT_TRUE(fs::is_directory(r.archiveDir_ / "EMPTY"));
  EXPECT_NE(out.find("  EMPTY = \n"), std::string::npos) << out;
  EXPECT_NE(out.find("\"../x\" of class TQBR is not rebuilt"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(r.archiveDir_ / "x.dat"));
  EXPECT_EQ(w.action_, "rebuild");
}

TEST(PlainName, OnlyNamesThatStayInTheirFolder) {
  for (const char* good : {"SBER", "USD000UTSTOM", "a.b", "x y"}) EXPECT_TRUE(IsPlainName(good));
  for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "C:x", "/abs"})
    EXPECT_FALSE(IsPlainName(bad)) << bad;
}
