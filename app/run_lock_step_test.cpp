#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/app_test_support.h"
#include "support/file_lock.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;
using support::ReadTextFile;
using support::WriteTextFile;
using testing::HasSubstr;
using testing::Not;

namespace {

class RunLockTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    fs::create_directories(dir_ / "min");
    fs::create_directories(dir_ / "arch" / "TQBR");
    replicator_.minutesDir_ = dir_ / "min";
    replicator_.archiveDir_ = dir_ / "arch";
    replicator_.date_ = "20240105";
    replicator_.intervals_ = {CMinArch("DAY", 3000)};
  }
  // ValidateParameters for action with the log lines (standard output) kept in out_.
  bool Validate(const std::string& action) {
    replicator_.action_ = action;
    testing::internal::CaptureStdout();
    const bool ok = replicator_.ValidateParameters();
    out_ = testing::internal::GetCapturedStdout();
    return ok;
  }
  fs::path LockFile() const { return dir_ / "arch" / "Barsync.lock"; }

  // Another holder of the archive folder's lock, writing the given process id.
  void HoldLock(support::FileLock& other, const std::string& pid) {
    std::error_code error;
    ASSERT_EQ(other.TryTake(LockFile(), error), support::LockAttempt::kTaken) << error.message();
    ASSERT_FALSE(other.WriteOwner(pid));
  }

  // ValidateParameters of run, a run of its own (as each process is) of action on this
  // test's folders; its log lines are returned.
  std::string ValidateRun(CMinReplicator& run, const char* action, bool& ok) {
    run.action_ = action;
    run.minutesDir_ = dir_ / "min";
    run.archiveDir_ = dir_ / "arch";
    run.date_ = "20240105";
    run.intervals_ = replicator_.intervals_;
    testing::internal::CaptureStdout();
    ok = run.ValidateParameters();
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(RunLockTest, EveryWritingActionTakesTheLockAndWritesItsProcessId) {
  for (const char* action : {"add", "addlast", "insert", "delete", "rebuild", "conversion",
                             "changelot", "changeprice"}) {
    SCOPED_TRACE(action);
    CMinReplicator fresh;
    bool ok = false;
    ValidateRun(fresh, action, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(support::ReadLockOwner(LockFile()), std::to_string(support::CurrentProcessId()));
    support::FileLock other;
    std::error_code error;
    EXPECT_EQ(other.TryTake(LockFile(), error), support::LockAttempt::kBusy);
  }
}

// While an interrupted change's journal is there, only that change (to complete it) and the
// test action may run; any other writing action would rewrite archives behind its back.
TEST_F(RunLockTest, AnInterruptedChangeStopsEveryOtherWritingAction) {
  WriteTextFile(dir_ / "arch" / "Barsync.change.journal", "Barsync change journal\nchange x\n");
  WriteIni("[General]\nLockWaitSeconds=0\n");
  for (const char* action : {"add", "addlast", "insert", "delete", "rebuild", "conversion"}) {
    SCOPED_TRACE(action);
    CMinReplicator fresh;
    bool ok = true;
    const std::string out = ValidateRun(fresh, action, ok);
    EXPECT_FALSE(ok);
    EXPECT_THAT(out, HasSubstr("holds an interrupted lot or price change: run that change "
                               "again to complete it before any other writing action"));
  }
  for (const char* action : {"test", "changelot", "changeprice"}) {
    SCOPED_TRACE(action);
    CMinReplicator fresh;
    bool ok = false;
    const std::string out = ValidateRun(fresh, action, ok);
    EXPECT_TRUE(ok) << out;
  }
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "Barsync.change.journal"));
}

TEST_F(RunLockTest, TheTestActionReadsWithoutTheLock) {
  support::FileLock other;
  HoldLock(other, "4242");
  WriteIni("[General]\nLockWaitSeconds=0\n");
  EXPECT_TRUE(Validate("test")) << out_;
  EXPECT_THAT(out_, Not(HasSubstr("in use")));
  EXPECT_FALSE(replicator_.runLockRefused_);
}

TEST_F(RunLockTest, ABusyFolderIsRefusedAfterTheWaitWithTheHoldersId) {
  support::FileLock other;
  HoldLock(other, "4242");
  WriteIni("[General]\nLockWaitSeconds=0\n");
  WriteTextFile(dir_ / "arch" / "TQBR" / "SBER_dat.barsync.tmp", "leftover of the holder");
  EXPECT_FALSE(Validate("add"));
  EXPECT_TRUE(replicator_.runLockRefused_);
  EXPECT_THAT(out_, HasSubstr("is in use by process 4242; waiting up to 0 seconds"));
  EXPECT_THAT(out_, HasSubstr("is still in use by process 4242 after 0 seconds; nothing was done"));
  // The holder's files are not touched: the lock file keeps its id, its temporary stays.
  EXPECT_EQ(support::ReadLockOwner(LockFile()), "4242");
  EXPECT_TRUE(fs::exists(dir_ / "arch" / "TQBR" / "SBER_dat.barsync.tmp"));
}

TEST_F(RunLockTest, ARefusedRebuildClearsNothing) {
  support::FileLock other;
  HoldLock(other, "77");
  WriteIni("[General]\nLockWaitSeconds=0\n");
  WriteTextFile(dir_ / "arch" / "TQBR" / "SBER.dat", "archive");
  EXPECT_FALSE(Validate("rebuild"));
  EXPECT_EQ(ReadTextFile(dir_ / "arch" / "TQBR" / "SBER.dat"), "archive");
}

TEST_F(RunLockTest, AFreedLockIsTakenByTheNextRun) {
  {
    support::FileLock other;
    HoldLock(other, "4242");
  }  // the holder ends
  WriteIni("[General]\nLockWaitSeconds=0\n");
  EXPECT_TRUE(Validate("delete")) << out_;
  EXPECT_THAT(out_, Not(HasSubstr("in use")));
}

TEST_F(RunLockTest, ALockFileThatCannotBeMadeRefusesTheRun) {
  // A folder stands where the lock file would be.
  fs::create_directories(LockFile());
  EXPECT_FALSE(Validate("add"));
  EXPECT_TRUE(replicator_.runLockRefused_);
  EXPECT_THAT(out_, HasSubstr("Can not lock archive location"));
}

TEST_F(RunLockTest, ANegativeWaitFallsBackToTheDefaultWithAnErrorLine) {
  WriteIni("[General]\nLockWaitSeconds=-5\n");
  EXPECT_TRUE(Validate("add")) << out_;
  EXPECT_THAT(out_, HasSubstr("LockWaitSeconds -5 is below 0; waiting 300 seconds"));
}

TEST_F(RunLockTest, AWaitThatIsNoWholeNumberFallsBackToTheDefaultWithAnErrorLine) {
  // Each of these once meant a wait of 0 seconds (a typo) or a wrapped number of seconds.
  for (const char* value : {"abc", "2.5", "99999999999", "3000000000", "10s"}) {
    SCOPED_TRACE(value);
    WriteIni(std::string("[General]\nLockWaitSeconds=") + value + "\n");
    CMinReplicator fresh;  // a run of its own, releasing its lock at the end
    fresh.action_ = "add";
    fresh.minutesDir_ = dir_ / "min";
    fresh.archiveDir_ = dir_ / "arch";
    fresh.date_ = "20240105";
    fresh.intervals_ = replicator_.intervals_;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(fresh.ValidateParameters());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, HasSubstr(std::string("LockWaitSeconds ") + value +
                               " is not a whole number of seconds; waiting 300 seconds"));
  }
}

TEST_F(RunLockTest, AWaitThatIsNoWholeNumberStillWaitsForABusyFolder) {
  support::FileLock other;
  HoldLock(other, "4242");
  WriteIni("[General]\nLockWaitSeconds=abc\n");
  // The default wait is long; the holder ends after a moment, so the run gets the lock
  // instead of giving up at once as a wait of 0 would.
  std::thread holderEnds([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.Release();
  });
  const bool ok = Validate("add");
  holderEnds.join();
  EXPECT_TRUE(ok) << out_;
  EXPECT_THAT(out_, HasSubstr("waiting up to 300 seconds"));
  EXPECT_FALSE(replicator_.runLockRefused_);
}

TEST_F(RunLockTest, TheHolderRemovesLeftoverTemporariesAndNothingElse) {
  const fs::path cls = dir_ / "arch" / "TQBR";
  fs::create_directories(dir_ / "arch" / "CETS" / "OLD");
  WriteTextFile(cls / "SBER.dat", "archive");
  WriteTextFile(cls / "SBER_dat.barsync.tmp", "partial");
  WriteTextFile(cls / "GAZP.dat.tmp", "partial, earlier name");
  WriteTextFile(cls / "notes.tmp", "not ours");
  WriteTextFile(cls / "GAZP.dat.bak", "a backup");
  WriteTextFile(dir_ / "arch" / "CETS" / "USD.DAT.TMP", "partial");
  WriteTextFile(dir_ / "arch" / "CETS" / "OLD" / "day.dat", "legacy");
  WriteTextFile(dir_ / "arch" / "top.dat.tmp", "not beside an archive");
  EXPECT_TRUE(Validate("add")) << out_;
  EXPECT_FALSE(fs::exists(cls / "SBER_dat.barsync.tmp"));
  EXPECT_FALSE(fs::exists(cls / "GAZP.dat.tmp"));
  EXPECT_FALSE(fs::exists(dir_ / "arch" / "CETS" / "USD.DAT.TMP"));
  EXPECT_THAT(out_, HasSubstr("Removed leftover temporary file "));
  EXPECT_THAT(out_, HasSubstr("SBER_dat.barsync.tmp"));
  for (const fs::path& kept :
       {cls / "SBER.dat", cls / "notes.tmp", cls / "GAZP.dat.bak",
        dir_ / "arch" / "CETS" / "OLD" / "day.dat", dir_ / "arch" / "top.dat.tmp"})
    EXPECT_TRUE(fs::exists(kept)) << kept;
}

}  // namespace
