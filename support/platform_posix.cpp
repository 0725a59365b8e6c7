#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "support/path_compare.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace support {

namespace {

std::error_code LastErrno() {
  return std::error_code(errno, std::generic_category());
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Makes the rename itself durable: the directory entry must reach the disk too.
void SyncDirectoryOf(const fs::path& target) {
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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

const char* TempSuffix() {
  return ".tmp";
}

std::error_code ReplaceFileAtomically(const fs::path& target, const void* data, std::size_t size) {
  fs::path temp = target;
  temp += TempSuffix();
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return LastErrno();
  std::error_code error;
  if (!WriteAll(fd, static_cast<const char*>(data), size) || ::fsync(fd) != 0) error = LastErrno();
  if (::close(fd) != 0 && !error) error = LastErrno();
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = LastErrno();
  if (error) {
    ::unlink(temp.c_str());
    return error;
  }
  SyncDirectoryOf(target);
  return {};
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
  return ComponentsStartWith(ComparableForm(inner), ComparableForm(outer),
                             [](const fs::path& a, const fs::path& b) { return a == b; });
}

}  // namespace support
