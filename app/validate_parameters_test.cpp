#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "app/app_test_support.h"

namespace fs = std::filesystem;
using support::ReadTextFile;
using support::WriteTextFile;
using testing::HasSubstr;

namespace {

class ValidateTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    fs::create_directories(dir_ / "min");
    fs::create_directories(dir_ / "arch");
    replicator_.action_ = "test";
    replicator_.minutesDir_ = dir_ / "min";
    replicator_.archiveDir_ = dir_ / "arch";
    replicator_.intervals_ = {CMinArch("DAY", 3000)};
  }
  // ValidateParameters with its log lines (on the standard output) kept in out_.
  bool Validate() {
    testing::internal::CaptureStdout();
    const bool ok = replicator_.ValidateParameters();
    out_ = testing::internal::GetCapturedStdout();
    return ok;
  }
};

TEST_F(ValidateTest, EveryActionWordIsAcceptedInAnyLetterCase) {
  for (const char* action : {"ADD", "AddLast", "insert", "delete", "conversion", "rebuild", "test",
                             "changelot", "CHANGEPRICE"}) {
    SCOPED_TRACE(action);
    replicator_.action_ = action;
    replicator_.date_ = "20260105";
    replicator_.minutesDir_ = dir_ / "min";
    replicator_.archiveDir_ = dir_ / "arch";
    EXPECT_TRUE(Validate()) << out_;
    std::string lower = action;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(replicator_.action_, lower);
  }
}

TEST_F(ValidateTest, EachFailureHasItsMessage) {
  struct Case {
    std::function<void(CMinReplicator&)> spoil;
    const char* message;
  };
  const std::vector<Case> cases = {
      {[](CMinReplicator& r) { r.action_ = "rebuildspec"; }, "Unknown action"},
      {[](CMinReplicator& r) { r.action_ = ""; }, "Unknown action"},
      {[](CMinReplicator& r) { r.minutesDir_.clear(); }, "Minutes location is not specified"},
      {[](CMinReplicator& r) { r.archiveDir_.clear(); }, "Archive location is not specified"},
      {[](CMinReplicator& r) { r.action_ = "add"; }, "Date is not specified"},
      {[](CMinReplicator& r) { r.action_ = "Delete"; }, "Date is not specified"},
      {[&](CMinReplicator& r) { r.minutesDir_ = dir_ / "none"; }, "Can not find Minutes location"},
      {[&](CMinReplicator& r) { r.archiveDir_ = dir_ / "none"; }, "Can not find Archive location"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    replicator_.action_ = "test";
    replicator_.date_.clear();
    replicator_.minutesDir_ = dir_ / "min";
    replicator_.archiveDir_ = dir_ / "arch";
    c.spoil(replicator_);
    EXPECT_FALSE(Validate());
    EXPECT_THAT(out_, HasSubstr(std::string("): ") + c.message + "\n"));
  }
}

// A misspelt or missing [Intervals] section must not pass for a run that archives nothing.
TEST_F(ValidateTest, ActionsThatMergeMinutesNeedOneIntervalToKeep) {
  const std::vector<std::vector<CMinArch>> useless = {
      {}, {CMinArch("DAYS", 3000)}, {CMinArch("0", 3000), CMinArch("-7", 3000)}};
  for (const auto& intervals : useless) {
    for (const char* action : {"add", "addlast", "insert", "delete", "rebuild", "conversion"}) {
      SCOPED_TRACE(std::string(action) + " with " + std::to_string(intervals.size()));
      replicator_.action_ = action;
      replicator_.date_ = "20260105";
      replicator_.intervals_ = intervals;
      EXPECT_FALSE(Validate());
      EXPECT_THAT(out_, HasSubstr("No interval to keep"));
    }
    for (const char* action : {"test", "changelot", "changeprice"}) {
      SCOPED_TRACE(action);
      replicator_.action_ = action;
      replicator_.intervals_ = intervals;
      EXPECT_TRUE(Validate()) << out_;
    }
  }
  replicator_.action_ = "add";
  replicator_.intervals_ = {CMinArch("DAYS", 3000), CMinArch("5", 3000)};
  EXPECT_TRUE(Validate()) << out_;
}

TEST_F(ValidateTest, DateIsNeededOnlyForAddAndDelete) {
  for (const char* action : {"addlast", "insert", "test", "conversion"}) {
    replicator_.action_ = action;
    EXPECT_TRUE(Validate()) << action;
  }
}

TEST_F(ValidateTest, RebuildWithoutClassesEmptiesTheArchiveRootOnceItIsDone) {
  fs::create_directories(dir_ / "arch" / "TQBR");
  WriteTextFile(dir_ / "arch" / "TQBR" / "SBER.dat", "old");
  WriteTextFile(dir_ / "min" / "keep", "minutes");
  replicator_.action_ = "rebuild";
  EXPECT_TRUE(Validate()) << out_;
  // Nothing goes before the rebuild has written what replaces it.
  EXPECT_EQ(ReadTextFile(dir_ / "arch" / "TQBR" / "SBER.dat"), "old");
  replicator_.ClearWhatRebuildDidNotWrite();
  EXPECT_TRUE(fs::is_directory(dir_ / "arch"));
  // Only the run lock file, which this run holds, stays.
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(dir_ / "arch")) left.push_back(entry.path());
  EXPECT_EQ(left, std::vector<fs::path>{dir_ / "arch" / "Barsync.lock"});
  EXPECT_EQ(ReadTextFile(dir_ / "min" / "keep"), "minutes");
}

TEST_F(ValidateTest, RebuildClearsOnlyTheListedClassesAndSecurities) {
  for (const char* f :
       {"TQBR/SBER.dat", "SPBFUT/RIH6.dat", "SPBFUT/SiH6/5.dat", "SPBFUT/BR.dat", "OTHER/X.dat"}) {
    fs::create_directories((dir_ / "arch" / f).parent_path());
    WriteTextFile(dir_ / "arch" / f, "x");
  }
  replicator_.action_ = "rebuild";
  replicator_.hasClasses_ = true;
  replicator_.classes_ = {{"TQBR", "ALL"}, {"SPBFUT", " RIH6 , SiH6,"}};
  EXPECT_TRUE(Validate()) << out_;
  replicator_.ClearWhatRebuildDidNotWrite();
  // A rebuilt class keeps its folder, emptied.
  EXPECT_TRUE(fs::is_directory(dir_ / "arch" / "TQBR"));
  EXPECT_FALSE(fs::exists(dir_ / "arch" / "TQBR" / "SBER.dat"));
  EXPECT_FALSE(fs::exists(dir_ / "arch" / "SPBFUT" / "RIH6.dat"));
  EXPECT_FALSE(fs::exists(dir_ / "arch" / "SPBFUT" / "SiH6"));
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "SPBFUT" / "BR.dat"));
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "OTHER" / "X.dat"));
}

TEST_F(ValidateTest, RebuildNeverClearsThroughDotsOrSeparators) {
  WriteTextFile(dir_ / "arch" / "keep.dat", "x");
  WriteTextFile(dir_ / "outside.dat", "x");
  replicator_.action_ = "rebuild";
  replicator_.hasClasses_ = true;
  replicator_.classes_ = {{"..", "ALL"}, {".", "ALL"}, {"C", "..,.,../../outside,a/b, "}};
  EXPECT_TRUE(Validate());
  replicator_.ClearWhatRebuildDidNotWrite();
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "keep.dat"));
  EXPECT_TRUE(fs::exists(dir_ / "outside.dat"));
  EXPECT_TRUE(fs::exists(dir_ / "min"));
  EXPECT_THAT(out_, HasSubstr("Rebuild does not clear class \"..\""));
  EXPECT_THAT(out_, HasSubstr("Rebuild does not clear \"../../outside\" of class C"));
}

TEST_F(ValidateTest, WhatTheRebuildWroteStaysAndTheRestOfItsTargetsGo) {
  for (const char* f : {"TQBR/SBER.dat", "TQBR/GAZP.dat", "TQBR/OLD/day.dat", "TQBR/notes.txt",
                        "GONE/X.dat", "top.txt"}) {
    fs::create_directories((dir_ / "arch" / f).parent_path());
    WriteTextFile(dir_ / "arch" / f, "old");
  }
  replicator_.action_ = "rebuild";
  EXPECT_TRUE(Validate()) << out_;
  // The rebuild wrote SBER anew and found class EMPTY without archives.
  WriteTextFile(dir_ / "arch" / "TQBR" / "SBER.dat", "rebuilt");
  replicator_.rebuiltArchives_.insert(dir_ / "arch" / "TQBR" / "SBER.dat");
  replicator_.classes_ = {{"TQBR", ""}, {"EMPTY", ""}};
  fs::create_directories(dir_ / "arch" / "EMPTY");
  replicator_.ClearWhatRebuildDidNotWrite();
  EXPECT_EQ(ReadTextFile(dir_ / "arch" / "TQBR" / "SBER.dat"), "rebuilt");
  for (const char* gone : {"TQBR/GAZP.dat", "TQBR/OLD", "TQBR/notes.txt", "GONE", "top.txt"})
    EXPECT_FALSE(fs::exists(dir_ / "arch" / gone)) << gone;
  EXPECT_TRUE(fs::is_directory(dir_ / "arch" / "EMPTY"));
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "Barsync.lock"));
}

TEST_F(ValidateTest, RebuildIsRefusedForSameOrNestedFolders) {
  WriteTextFile(dir_ / "arch" / "keep.dat", "x");
  fs::create_directories(dir_ / "arch" / "min");
  replicator_.action_ = "rebuild";
  const std::vector<std::pair<fs::path, fs::path>> pairs = {
      {dir_ / "arch", dir_ / "arch"},
      {dir_ / "arch" / "min", dir_ / "arch"},
      {dir_ / "arch", dir_ / "arch" / "min"},
      {dir_ / "arch" / "min", dir_ / "arch" / "." / ""},
  };
  for (const auto& [minutes, archive] : pairs) {
    SCOPED_TRACE(minutes.string() + " / " + archive.string());
    replicator_.minutesDir_ = minutes;
    replicator_.archiveDir_ = archive;
    EXPECT_FALSE(Validate());
    EXPECT_THAT(out_, HasSubstr("Rebuild refused: Archive location "));
    EXPECT_TRUE(fs::exists(dir_ / "arch" / "keep.dat"));
  }
}

TEST_F(ValidateTest, SiblingFoldersWithACommonPrefixAreNotNested) {
  fs::create_directories(dir_ / "archive2");
  replicator_.action_ = "rebuild";
  replicator_.minutesDir_ = dir_ / "arch";
  replicator_.archiveDir_ = dir_ / "archive2";
  EXPECT_TRUE(Validate()) << out_;
}

TEST_F(ValidateTest, RebuildClearsNothingWhenAnotherCheckFails) {
  WriteTextFile(dir_ / "arch" / "keep.dat", "x");
  replicator_.action_ = "rebuild";
  replicator_.minutesDir_ = dir_ / "mintypo";
  EXPECT_FALSE(Validate());
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "keep.dat"));
}

}  // namespace
