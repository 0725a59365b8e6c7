#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <sstream>

#include "app/app_test_support.h"
#include "app/run_settings.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Pair;

namespace {

TEST_F(AppTest, UsageTextIsPrintedAndTheRunRefused) {
  EXPECT_FALSE(Parse({"-a", "add", "-?"}));
  EXPECT_EQ(out_, UsageText());
  EXPECT_FALSE(Parse({"-v", "-?"}));
  EXPECT_EQ(out_, UsageText());
}

TEST_F(AppTest, VersionTextForBothSpellings) {
  EXPECT_FALSE(Parse({"--version"}));
  EXPECT_EQ(out_, VersionText());
  EXPECT_FALSE(Parse({"-v"}));
  EXPECT_EQ(out_, VersionText());
  EXPECT_THAT(out_, testing::StartsWith("Barsync 10.0.2.21\n"));
  EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 2);
}

// One row per option with a settings key: how to read the setting back.
struct OptionCase {
  const char* option;
  const char* section;
  const char* key;
  std::function<std::string(const CMinReplicator&)> read;
};

// The quoted stream form of a path, as the standard library writes it.
std::string Quoted(const fs::path& p) {
  std::ostringstream out;
  out << std::quoted(p.string());
  return out.str();
}

std::string Name(const fs::path& p) {
  return p.empty() ? std::string() : p.filename().string();
}

const std::vector<OptionCase>& OptionCases() {
  static const std::vector<OptionCase> cases = {
      {"-a", "General", "Action", [](const CMinReplicator& r) { return r.action_; }},
      {"-f", "General", "Minutes", [](const CMinReplicator& r) { return Name(r.minutesDir_); }},
      {"-t", "General", "Archive", [](const CMinReplicator& r) { return Name(r.archiveDir_); }},
      {"-d", "General", "Date", [](const CMinReplicator& r) { return r.date_; }},
      {"-b", "General", "DateBegin", [](const CMinReplicator&) { return dateBegin; }},
  };
  return cases;
}

TEST_F(AppTest, EveryOptionWinsOverItsSettingWhichFillsInWhenTheOptionIsAbsent) {
  for (const OptionCase& c : OptionCases()) {
    SCOPED_TRACE(c.option);
    WriteIni(std::string("[") + c.section + "]\n" + c.key + "=fromini\n");
    ASSERT_TRUE(Parse({c.option, "fromoption"}));
    EXPECT_EQ(c.read(replicator_), "fromoption");
    ASSERT_TRUE(Parse({}));
    EXPECT_EQ(c.read(replicator_), "fromini");
    ASSERT_TRUE(Parse({c.option}));  // present but empty: the settings file is not consulted
    EXPECT_EQ(c.read(replicator_), "");
  }
}

TEST_F(AppTest, LogPathsComeFromOptionsOrSettings) {
  WriteIni("[output]\nlogs=ini.log\nERRORS=ini_errors.log\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_EQ(replicator_.logFile_, fs::current_path() / "ini.log");
  EXPECT_EQ(replicator_.errorsFile_, fs::current_path() / "ini_errors.log");
  ASSERT_TRUE(Parse({"-l", "opt.log", "-e", "opt_errors.log"}));
  EXPECT_EQ(replicator_.logFile_.filename(), "opt.log");
  EXPECT_EQ(replicator_.errorsFile_.filename(), "opt_errors.log");
  EXPECT_TRUE(fs::exists(dir_ / "opt.log"));
  EXPECT_TRUE(fs::exists(dir_ / "opt_errors.log"));
}

TEST_F(AppTest, PathsAreMadeAbsoluteAndEmptyOnesStayEmpty) {
  ASSERT_TRUE(Parse({"-f", "Export/Min", "-a", "add"}));
  EXPECT_EQ(replicator_.minutesDir_, fs::current_path() / "Export" / "Min");
  EXPECT_TRUE(replicator_.archiveDir_.empty());
}

TEST_F(AppTest, SessionStartGetsFourZerosAppended) {
  ASSERT_TRUE(Parse({"-s", "10"}));
  EXPECT_EQ(replicator_.sessionStartHour_, "100000");
  EXPECT_EQ(replicator_.sessionStart_, 100000);
  WriteIni("[General]\nSession_Start_Hour=9\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_EQ(replicator_.sessionStart_, 90000);
}

TEST_F(AppTest, EmptySessionStartMeansNoSessionStart) {
  WriteIni("[General]\nSession_Start_Hour=\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_EQ(replicator_.sessionStartHour_, "");
  EXPECT_EQ(replicator_.sessionStart_, 0);
}

TEST_F(AppTest, DateEndComesFromTheSettingsOnlyAndRangeAndCountersAreReset) {
  WriteIni("[General]\nDateBegin=20250101\nDateEnd=20251231\n");
  dateBeginValue = 5;
  dateEndValue = 6;
  replicator_.processedCount_ = replicator_.corruptedCount_ = replicator_.zeroVolumeCount_ = 3;
  ASSERT_TRUE(Parse({}));
  EXPECT_EQ(dateBegin, "20250101");
  EXPECT_EQ(dateEnd, "20251231");
  EXPECT_EQ(dateBeginValue, 0);
  EXPECT_EQ(dateEndValue, 99999999);
  EXPECT_EQ(
      replicator_.processedCount_ + replicator_.corruptedCount_ + replicator_.zeroVolumeCount_, 0);
}

TEST_F(AppTest, IntervalEntriesAreSortedByKeyBytesAndCommentedKeysGetNoArchive) {
  WriteIni("[Intervals]\n5=3000\nday=3000\n60=3000\n//15=3000\n10=3000\n1=3000\n");
  ASSERT_TRUE(Parse({}));
  std::vector<std::string> keys;
  for (const auto& [key, value] : intervalEntries) keys.push_back(key);
  EXPECT_THAT(keys, ElementsAre("//15", "1", "10", "5", "60", "DAY"));
  ASSERT_EQ(replicator_.intervals_.size(), 5u);
  EXPECT_EQ(replicator_.intervals_[0].m_Interval, 1);
  EXPECT_EQ(replicator_.intervals_[1].m_Interval, 10);
  EXPECT_EQ(replicator_.intervals_[2].m_Interval, 5);
  EXPECT_EQ(replicator_.intervals_[3].m_Interval, 60);
  EXPECT_EQ(replicator_.intervals_[4].m_Interval, -1);
}

TEST_F(AppTest, ReplicateClassesBuildsClassAndClassSecurityFilters) {
  WriteIni("[ReplicateClasses]\nTQBR=\nSPBFUT=RIH6,SiH6,\nX=A,,B\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_TRUE(replicator_.hasReplicateClasses_);
  EXPECT_THAT(replicator_.replicateClasses_,
              ElementsAre("SPBFUT,RIH6", "SPBFUT,SiH6", "TQBR", "X,", "X,A", "X,B"));
}

TEST_F(AppTest, NoReplicateClassesSectionMeansNoFilter) {
  ASSERT_TRUE(Parse({}));
  EXPECT_FALSE(replicator_.hasReplicateClasses_);
  EXPECT_TRUE(replicator_.replicateClasses_.empty());
  EXPECT_FALSE(replicator_.hasClasses_);
}

TEST_F(AppTest, TimeSettingsSectionsAreFoundByWordAndUnderscore) {
  WriteIni(
      "[MyTimeSettings_A]\nTimeBegin=10:00:00\nTimeEnd=18:45:00\nClasses=TQBR,SPBFUT\n"
      "[TimeSettings]\nTimeBegin=1\nClasses=IGNORED\n"
      "[_TimeSettings]\nTimeBegin=2\n"
      "[timesettings_b]\ntimebegin=07:00:00\nclasses=SPBFUT\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_THAT(replicator_.timeBegins_, ElementsAre(Pair("A", 100000), Pair("B", 70000)));
  EXPECT_THAT(replicator_.timeEnds_, ElementsAre(Pair("A", 184500), Pair("B", 0)));
  EXPECT_THAT(replicator_.classTimeSettings_, ElementsAre(Pair("SPBFUT", "B"), Pair("TQBR", "A")));
  EXPECT_EQ(replicator_.timeBegin_, 70000);
  EXPECT_EQ(replicator_.timeEnd_, 0);
}

TEST_F(AppTest, ClassesAndChangeListsAreKept) {
  WriteIni(
      "[Classes]\nTQBR=ALL\nSPBFUT=RIH6, SiH6\n[ChangeLot]\nb=10 1\na=20 2\n"
      "[ChangePrice]\nx=1\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_TRUE(replicator_.hasClasses_);
  EXPECT_THAT(replicator_.classes_, ElementsAre(Pair("SPBFUT", "RIH6, SiH6"), Pair("TQBR", "ALL")));
  EXPECT_THAT(changeLotList, ElementsAre(Pair("B", "10 1"), Pair("A", "20 2")));
  EXPECT_THAT(changePriceList, ElementsAre(Pair("X", "1")));
}

TEST_F(AppTest, ReadOnlyLogFileIsRefusedOnStandardError) {
  support::WriteTextFile(dir_ / "main.log", "old\n");
  fs::permissions(dir_ / "main.log",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_FALSE(Parse({"-l", "main.log"}));
  EXPECT_EQ(err_, "Does not have permission to write into file " +
                      Quoted(fs::current_path() / "main.log") + "\n");
  fs::permissions(dir_ / "main.log", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(support::ReadTextFile(dir_ / "main.log"), "old\n");
}

TEST_F(AppTest, LogOrErrorsFileInAMissingFolderIsRefused) {
  EXPECT_FALSE(Parse({"-l", "nodir/main.log"}));
  EXPECT_EQ(err_, "Can not find directory " + Quoted(fs::current_path() / "nodir") + "\n");
  EXPECT_FALSE(Parse({"-l", "main.log", "-e", "nodir/errors.log"}));
  EXPECT_THAT(err_, HasSubstr("Can not find directory \""));
  EXPECT_FALSE(fs::exists(dir_ / "nodir"));
}

TEST_F(AppTest, SettingsFileKeysIgnoreLetterCase) {
  WriteIni("[GENERAL]\nminutes=Export\nACTION=Add\n");
  ASSERT_TRUE(Parse({}));
  EXPECT_EQ(replicator_.minutesDir_.filename(), "Export");
  EXPECT_EQ(replicator_.action_, "Add");  // lower-cased by validation, not here
}

}  // namespace
