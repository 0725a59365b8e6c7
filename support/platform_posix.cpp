#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "support/path_compare.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace support {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask
constexpr mode_t kPermissionBits = 07777;

std::error_code LastErrno() {
  return std::error_code(errno, std::generic_category());
}

// The error of a failed call; EIO when the call left no error number, so that a failure
// is never taken for success.
std::error_code FailedCall() {
  return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// Writes every byte; false with errno set on failure (EIO when write makes no progress).
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string NarrowPath(const fs::path& path) {
  return path.string();
}

fs::path PathFromNarrow(const std::string& text) {
  return fs::path(text);
}

bool IsNothingHere(const std::error_code& error) {
  if (error.category() != std::generic_category() && error.category() != std::system_category())
    return false;
  const int v = error.value();
  return v == ENOENT || v == ENOTDIR || v == ENAMETOOLONG;
}

ObjectKind QueryObject(const fs::path& path, std::error_code& error) {
  error.clear();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    const std::error_code e = LastErrno();
    if (!IsNothingHere(e)) error = e;
    return ObjectKind::kNothing;
  }
  if (S_ISLNK(st.st_mode)) return ObjectKind::kLink;
  if (S_ISDIR(st.st_mode)) return ObjectKind::kDirectory;
  return ObjectKind::kFile;
}

void RemoveTreeNoFollow(const fs::path& path, std::error_code& error) {
  // The standard recursive removal looks at entries with lstat and never follows links.
  fs::remove_all(path, error);
  if (error && IsNothingHere(error)) error.clear();
}

bool IsReadOnly(const fs::path& path, std::error_code& error) {
  const fs::file_status st = fs::status(path, error);
  if (error) return false;
  return (st.permissions() & fs::perms::owner_write) == fs::perms::none;
}

unsigned CurrentProcessId() {
  return static_cast<unsigned>(::getpid());
}

unsigned CurrentThreadId() {
  return static_cast<unsigned>(::syscall(SYS_gettid));
}

bool StdoutIsTerminal() {
  return ::isatty(::fileno(stdout)) != 0;
}

bool StderrIsTerminal() {
  return ::isatty(::fileno(stderr)) != 0;
}

std::tm LocalTime(std::time_t t) {
  std::tm result{};
  ::localtime_r(&t, &result);
  return result;
}

std::FILE* OpenForAppend(const fs::path& path, std::error_code& error) {
  error.clear();
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) error = LastErrno();
  return f;
}

std::error_code FlushToDisk(std::FILE* file) {
  errno = 0;
  if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) return LastErrno();
  return {};
}

// The temporary takes the permission bits of the file it replaces, when there is one.
bool KeepModeOf(const fs::path& target, int fd) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return true;
  return ::fchmod(fd, old.st_mode & kPermissionBits) == 0;
}

std::error_code WriteTemporary(const fs::path& target, const void* data, std::size_t size,
                               fs::path& temp) {
  temp = TemporaryPathFor(target);
  errno = 0;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return FailedCall();
  std::error_code error;
  errno = 0;
  if (!WriteAll(fd, static_cast<const char*>(data), size) || !KeepModeOf(target, fd) ||
      ::fsync(fd) != 0)
    error = FailedCall();
  errno = 0;
  if (::close(fd) != 0 && !error) error = FailedCall();
  if (error) ::unlink(temp.c_str());
  return error;
}

std::error_code PutInPlace(const fs::path& temp, const fs::path& target) {
  errno = 0;
  if (::rename(temp.c_str(), target.c_str()) == 0) return {};
  const std::error_code error = FailedCall();
  ::unlink(temp.c_str());
  return error;
}

void SyncDirectory(const fs::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool RenamesNeedDirectorySync() {
  return true;
}

bool CertainlyWithoutSubdirectories(const fs::path& dir) {
  struct stat info {};
  return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_nlink == 2;
}

namespace {

// A lock holds for the file now named path only when nobody removed or replaced that file
// between the open and the lock.
bool StillNamedBy(int fd, const fs::path& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

constexpr int kLockOpenAttempts = 3;

}  // namespace

LockAttempt TryLockFile(const fs::path& path, LockHandle& handle, std::error_code& error) {
  error.clear();
  handle = kNoLockHandle;
  for (int attempt = 0; attempt < kLockOpenAttempts; ++attempt) {
    errno = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
      error = FailedCall();
      return LockAttempt::kFailed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int e = errno;
      ::close(fd);
      if (e == EWOULDBLOCK || e == EINTR) return LockAttempt::kBusy;
      error = std::error_code(e != 0 ? e : EIO, std::generic_category());
      return LockAttempt::kFailed;
    }
    if (StillNamedBy(fd, path)) {
      handle = fd;
      return LockAttempt::kTaken;
    }
    ::close(fd);
  }
  return LockAttempt::kBusy;
}

std::error_code WriteLockedFile(LockHandle handle, const std::string& text) {
  const int fd = static_cast<int>(handle);
  errno = 0;
  if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0 ||
      !WriteAll(fd, text.data(), text.size()))
    return FailedCall();
  return {};
}

void UnlockFile(LockHandle& handle) {
  if (handle == kNoLockHandle) return;
  ::close(static_cast<int>(handle));  // closing the last descriptor releases the flock
  handle = kNoLockHandle;
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
  return ComponentsStartWith(ComparableForm(inner), ComparableForm(outer),
                             [](const fs::path& a, const fs::path& b) { return a == b; });
}

}  // namespace support
