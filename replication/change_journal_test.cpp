#include "replication/change_journal.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "support/temporary_name.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using support::ReadTextFile;
using support::WriteTextFile;

namespace {

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

class ChangeJournalTest : public testing::Test {
 protected:
  fs::path Journal() const { return dir_ / "journal"; }
  fs::path File(const char* name) const { return dir_ / name; }

  // A run of the change "sig" that records the given contents of a and then of b and is
  // "killed" before it finishes: the journal stays.
  void InterruptedRun(const std::string& a, const std::string& b) {
    ChangeJournal run;
    ASSERT_EQ(run.Begin(Journal(), "sig"), ChangeJournal::Start::kFresh);
    const ChangeJournal::Step first = run.Next(File("a"));
    ASSERT_TRUE(run.Record(first, Bytes(a)));
    const ChangeJournal::Step second = run.Next(File("b"));
    ASSERT_TRUE(run.Record(second, Bytes(b)));
  }

  support::TestTempDir dir_;
};

TEST_F(ChangeJournalTest, AResumedRunSkipsExactlyTheFilesThatHoldWhatWasRecorded) {
  WriteTextFile(File("a"), "a changed");  // replaced before the kill
  WriteTextFile(File("b"), "b as it was");  // recorded, killed before the replacement
  InterruptedRun("a changed", "b changed");
  ChangeJournal again;
  ASSERT_EQ(again.Begin(Journal(), "sig"), ChangeJournal::Start::kResumed);
  EXPECT_TRUE(again.Next(File("a")).done);
  EXPECT_FALSE(again.Next(File("b")).done);
  EXPECT_FALSE(again.Next(File("c")).done);  // never reached by the killed run
  again.Finish();
  EXPECT_FALSE(fs::exists(Journal()));
  // A finished change leaves nothing behind: the same change runs anew.
  ChangeJournal next;
  EXPECT_EQ(next.Begin(Journal(), "sig"), ChangeJournal::Start::kFresh);
  EXPECT_FALSE(next.Next(File("a")).done);
}

TEST_F(ChangeJournalTest, ARerunFindsAFileUnderAnotherSpellingOfItsPath) {
  // The rerun may name the archive folder otherwise ("-t ./archive/" after "-t archive").
  fs::create_directories(dir_ / "sub");
  WriteTextFile(File("a"), "a changed");
  WriteTextFile(File("b"), "b as it was");
  InterruptedRun("a changed", "b changed");
  ChangeJournal again;
  ASSERT_EQ(again.Begin(Journal(), "sig"), ChangeJournal::Start::kResumed);
  EXPECT_TRUE(again.Next(dir_ / "." / "a").done);
  EXPECT_FALSE(again.Next(dir_ / "sub" / ".." / "b").done);
  // The spellings count as one file: its second change in this run is step 1.
  EXPECT_EQ(again.Next(File("a")).occurrence, 1);
}

TEST_F(ChangeJournalTest, AFileChangedTwiceInOneRunCountsItsStepsInOrder) {
  ChangeJournal run;
  ASSERT_EQ(run.Begin(Journal(), "sig"), ChangeJournal::Start::kFresh);
  const auto first = run.Next(File("a"));
  const auto second = run.Next(File("a"));
  EXPECT_EQ(first.occurrence, 0);
  EXPECT_EQ(second.occurrence, 1);
  ASSERT_TRUE(run.Record(first, Bytes("once")));
  ASSERT_TRUE(run.Record(second, Bytes("twice")));
  struct Case {
    const char* content;
    bool firstDone;
    bool secondDone;
  };
  for (const Case& c : {Case{"original", false, false}, Case{"once", true, false},
                        Case{"twice", true, true}}) {
    SCOPED_TRACE(c.content);
    WriteTextFile(File("a"), c.content);
    ChangeJournal again;
    ASSERT_EQ(again.Begin(Journal(), "sig"), ChangeJournal::Start::kResumed);
    EXPECT_EQ(again.Next(File("a")).done, c.firstDone);
    EXPECT_EQ(again.Next(File("a")).done, c.secondDone);
  }
}

TEST_F(ChangeJournalTest, OtherChangesAndUnreadableJournalsStopTheRun) {
  InterruptedRun("x", "y");
  ChangeJournal other;
  EXPECT_EQ(other.Begin(Journal(), "another sig"), ChangeJournal::Start::kOtherChange);
  EXPECT_EQ(other.FoundSignature(), "sig");
  EXPECT_FALSE(other.active());
  WriteTextFile(Journal(), "not a journal\n");
  ChangeJournal garbled;
  EXPECT_EQ(garbled.Begin(Journal(), "sig"), ChangeJournal::Start::kFailed);
  ChangeJournal nowhere;
  EXPECT_EQ(nowhere.Begin(dir_ / "missing" / "journal", "sig"), ChangeJournal::Start::kFailed);
}

TEST_F(ChangeJournalTest, ALineCutShortByAKillIsIgnored) {
  WriteTextFile(File("a"), "a changed");
  InterruptedRun("a changed", "b changed");
  std::string text = ReadTextFile(Journal());
  text.resize(text.size() - 3);  // the last line, of b, lost its end
  WriteTextFile(Journal(), text);
  WriteTextFile(File("b"), "b changed");
  ChangeJournal again;
  ASSERT_EQ(again.Begin(Journal(), "sig"), ChangeJournal::Start::kResumed);
  EXPECT_TRUE(again.Next(File("a")).done);
  EXPECT_FALSE(again.Next(File("b")).done);
}

// The journal is put in place whole: a run killed while making it leaves at most its
// temporary, which the next run removes before it starts a journal of its own.
TEST_F(ChangeJournalTest, AJournalKilledWhileBeingMadeStopsNothing) {
  WriteTextFile(support::TemporaryPathFor(Journal()), "Barsync chan");
  ChangeJournal run;
  EXPECT_EQ(run.Begin(Journal(), "sig"), ChangeJournal::Start::kFresh);
  EXPECT_FALSE(fs::exists(support::TemporaryPathFor(Journal())));
  EXPECT_EQ(ReadTextFile(Journal()), "Barsync change journal\nchange sig\n");
}

TEST_F(ChangeJournalTest, AnInactiveJournalNeitherSkipsNorRecords) {
  ChangeJournal idle;
  WriteTextFile(File("a"), "x");
  EXPECT_FALSE(idle.Next(File("a")).done);
  EXPECT_TRUE(idle.Record(idle.Next(File("a")), Bytes("x")));
  EXPECT_FALSE(fs::exists(Journal()));
}

}  // namespace
