#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/file_lock.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using namespace support;

namespace {

TEST(FileLockPosix, AKilledHolderLeavesNoStaleLock) {
  TestTempDir dir;
  const fs::path path = dir / "Barsync.lock";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileLock holder;
    std::error_code error;
    const bool taken = holder.TryTake(path, error) == LockAttempt::kTaken;
    const char byte = taken ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    for (;;) ::pause();  // holds until killed
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  FileLock second;
  std::error_code error;
  EXPECT_EQ(second.TryTake(path, error), LockAttempt::kBusy);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(second.TryTake(path, error), LockAttempt::kTaken) << error.message();
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
