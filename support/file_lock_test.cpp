#include "support/file_lock.h"

#include <gtest/gtest.h>

#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using namespace support;

namespace {

TEST(FileLock, OneHolderAtATimeUntilItLetsGo) {
  TestTempDir dir;
  const fs::path path = dir / "Barsync.lock";
  FileLock first;
  FileLock second;
  std::error_code error;
  ASSERT_EQ(first.TryTake(path, error), LockAttempt::kTaken) << error.message();
  EXPECT_TRUE(first.Held());
  EXPECT_EQ(second.TryTake(path, error), LockAttempt::kBusy);
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_FALSE(first.Held());
  EXPECT_EQ(second.TryTake(path, error), LockAttempt::kTaken) << error.message();
  EXPECT_EQ(first.TryTake(path, error), LockAttempt::kBusy);
}

TEST(FileLock, TheHoldersTextCanBeReadWhileItHolds) {
  TestTempDir dir;
  const fs::path path = dir / "Barsync.lock";
  EXPECT_EQ(ReadLockOwner(path), "");  // no file yet
  FileLock holder;
  std::error_code error;
  ASSERT_EQ(holder.TryTake(path, error), LockAttempt::kTaken);
  EXPECT_EQ(ReadLockOwner(path), "");  // nothing written yet
  ASSERT_FALSE(holder.WriteOwner("123456"));
  EXPECT_EQ(ReadLockOwner(path), "123456");
  // A shorter id replaces the whole text.
  ASSERT_FALSE(holder.WriteOwner("42"));
  EXPECT_EQ(ReadLockOwner(path), "42");
}

TEST(FileLock, AnEarlierHoldersTextDoesNotMakeTheFileBusy) {
  TestTempDir dir;
  const fs::path path = dir / "Barsync.lock";
  WriteTextFile(path, "999\n");  // left by a run that ended
  FileLock holder;
  std::error_code error;
  EXPECT_EQ(holder.TryTake(path, error), LockAttempt::kTaken);
  EXPECT_EQ(ReadLockOwner(path), "999");
}

TEST(FileLock, OwnerTextThatIsNoIdIsIgnored) {
  TestTempDir dir;
  const fs::path path = dir / "Barsync.lock";
  WriteTextFile(path, std::string(100, '7'));
  EXPECT_EQ(ReadLockOwner(path), "");
  WriteTextFile(path, "  31 \r\nmore");
  EXPECT_EQ(ReadLockOwner(path), "31");
}

TEST(FileLock, AMissingFolderFailsWithTheSystemsReason) {
  TestTempDir dir;
  FileLock lock;
  std::error_code error;
  EXPECT_EQ(lock.TryTake(dir / "no" / "Barsync.lock", error), LockAttempt::kFailed);
  EXPECT_TRUE(error);
  EXPECT_FALSE(lock.Held());
}

}  // namespace
