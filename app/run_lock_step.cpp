// Taking the archive folder's run lock before anything is changed, and removing the
// temporaries that a killed run left beside the archives.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "support/filesystem_helpers.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTestAction[] = "test";
constexpr char kUnknownOwner[] = "(unknown)";

// The wait for a busy archive folder. A value that is not a whole number of seconds (a
// typo such as "abc" or "2.5", or one beyond the int range) is reported and the default
// used, so that a mistyped setting never turns the wait off silently.
int LockWaitSeconds() {
  const IniFile ini(kSettingsFileName);
  const std::string text = ini.GetString("General", kLockWaitKey, "");
  if (text.empty()) return kDefaultLockWaitSeconds;
  int seconds = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  if (error != std::errc() || stop != end) {
    LogError("%s %s is not a whole number of seconds; waiting %d seconds", kLockWaitKey,
             text.c_str(), kDefaultLockWaitSeconds);
    return kDefaultLockWaitSeconds;
  }
  if (seconds >= 0) return seconds;
  LogError("%s %d is below 0; waiting %d seconds", kLockWaitKey, seconds, kDefaultLockWaitSeconds);
  return kDefaultLockWaitSeconds;
}

std::string Owner(const fs::path& lockFile) {
  const std::string owner = support::ReadLockOwner(lockFile);
  return owner.empty() ? kUnknownOwner : owner;
}

// Only the holder of the run lock writes in the archive folder, so every temporary found
// there is a leftover of a run that was killed or failed; it is never an archive.
void RemoveLeftoverTemporaries(const fs::path& archiveDir) {
  std::error_code error;
  for (fs::directory_iterator classes(archiveDir, error), end; !error && classes != end;
       classes.increment(error)) {
    if (!classes->is_directory(error) || error) continue;
    std::error_code listing;
    for (fs::directory_iterator file(classes->path(), listing); !listing && file != end;
         file.increment(listing)) {
      if (!support::IsTemporaryName(file->path()) || !file->is_regular_file(listing)) continue;
      const fs::path path = file->path();
      if (RemoveFile(path))
        LogAt(1, "Removed leftover temporary file %s", support::NarrowPath(path).c_str());
    }
  }
}

}  // namespace

bool CMinReplicator::TakeRunLock() {
  if (action_ == kTestAction) return true;  // the test reads without the lock
  const fs::path lockFile = archiveDir_ / kRunLockFileName;
  const std::string folder = support::NarrowPath(archiveDir_);
  const int waitSeconds = LockWaitSeconds();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  bool waited = false;
  for (;;) {
    std::error_code error;
    const support::LockAttempt attempt = runLock_.TryTake(lockFile, error);
    if (attempt == support::LockAttempt::kTaken) break;
    if (attempt == support::LockAttempt::kFailed) {
      LogError("Can not lock archive location %s: %s; nothing was done", folder.c_str(),
               error.message().c_str());
      runLockRefused_ = true;
      return false;
    }
    if (!waited) {
      LogAlways("Archive location %s is in use by process %s; waiting up to %d seconds",
                folder.c_str(), Owner(lockFile).c_str(), waitSeconds);
      waited = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      LogError(
          "Archive location %s is still in use by process %s after %d seconds; nothing "
          "was done",
          folder.c_str(), Owner(lockFile).c_str(), waitSeconds);
      runLockRefused_ = true;
      return false;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        deadline - now, std::chrono::milliseconds(kLockRetryMilliseconds)));
  }
  const std::error_code written = runLock_.WriteOwner(std::to_string(support::CurrentProcessId()));
  if (written)
    LogAt(1, "Could not write the process id into %s: %s", support::NarrowPath(lockFile).c_str(),
          written.message().c_str());
  if (waited) LogAt(1, "Archive location %s is free; the run goes on", folder.c_str());
  RemoveLeftoverTemporaries(archiveDir_);
  return true;
}
