// lock_holder: holds an archive folder's run lock from outside, as a long run would, for
// the fault tests.
//
//   lock_holder LOCK_FILE HELD_MARKER RELEASE_MARKER
//
// Takes the lock on LOCK_FILE (trying again until it gets it), writes its process id into
// it and into HELD_MARKER, then holds the lock until RELEASE_MARKER exists.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "support/file_lock.h"
#include "support/platform.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr int kUsageExitCode = 2;
constexpr int kFailureExitCode = 3;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return kUsageExitCode;
  const std::filesystem::path lockFile = argv[1];
  const std::filesystem::path held = argv[2];
  const std::filesystem::path release = argv[3];
  support::FileLock lock;
  for (;;) {
    std::error_code error;
    const support::LockAttempt attempt = lock.TryTake(lockFile, error);
    if (attempt == support::LockAttempt::kTaken) break;
    if (attempt == support::LockAttempt::kFailed) return kFailureExitCode;
    std::this_thread::sleep_for(kPollInterval);
  }
  const std::string pid = std::to_string(support::CurrentProcessId());
  if (lock.WriteOwner(pid)) return kFailureExitCode;
  // Written whole under another name first, so that a reader never sees half of it.
  std::filesystem::path part = held;
  part += ".part";
  {
    std::ofstream marker(part, std::ios::binary);
    marker << pid;
  }
  std::error_code renamed;
  std::filesystem::rename(part, held, renamed);
  if (renamed) return kFailureExitCode;
  while (!std::filesystem::exists(release)) std::this_thread::sleep_for(kPollInterval);
  return 0;
}
