// FileLock: an exclusive lock on a lock file, owned by one object. The system releases it
// when the object goes away or the process ends in any way (killed included), so a lock
// is never left behind stale. Used on one thread.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "support/platform.h"

namespace support {

class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Tries once, without waiting, to lock the file at path (created when missing). A lock
  // already held by this object is released first.
  LockAttempt TryTake(const std::filesystem::path& path, std::error_code& error);

  // Writes text as the lock file's whole content (the holder's process id, so that a run
  // that waits can say for whom). Nothing when no lock is held.
  std::error_code WriteOwner(const std::string& text);

  void Release() { UnlockFile(handle_); }
  bool Held() const { return handle_ != kNoLockHandle; }

 private:
  LockHandle handle_ = kNoLockHandle;
};

// The first line of the lock file at path, trimmed of blanks: the holder's process id, or
// empty when the file is missing, unreadable or not written yet.
std::string ReadLockOwner(const std::filesystem::path& path);

}  // namespace support
