#include "tests/fuzz/fuzz_workspace.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "app/min_replicator.h"
#include "app/run_settings.h"
#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/interval_names.h"
#include "replication/archive_check.h"
#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

constexpr char kNullDevice[] = "/dev/null";
constexpr char kLogVariable[] = "BARSYNC_FUZZ_LOG";
constexpr std::uint8_t kEveryLevel = 99;

std::string LogTarget() {
  const char* log = std::getenv(kLogVariable);
  return log != nullptr ? log : kNullDevice;
}

constexpr char kWorkspacePrefix[] = "barsync_fuzz_";

// The scratch folder, never destroyed: the exit handler below may run after static
// objects are gone (libFuzzer mostly leaves by _Exit, sometimes by exit).
const fs::path* workspacePath = nullptr;

void RemoveWorkspace() {
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(ignored), ignored);
  if (workspacePath != nullptr) fs::remove_all(*workspacePath, ignored);
}

// Scratch folders of processes that are gone: libFuzzer's jobs mostly end without running
// exit handlers, so each new process sweeps up after the earlier ones.
void RemoveStaleWorkspaces(const fs::path& parent) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(parent, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kWorkspacePrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + std::strlen(kWorkspacePrefix), nullptr, 10);
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
      std::error_code ignored;
      fs::remove_all(entry.path(), ignored);
    }
  }
}

const fs::path& MakeWorkspace() {
  const fs::path parent = fs::temp_directory_path();
  RemoveStaleWorkspaces(parent);
  workspacePath =
      new fs::path(parent / (kWorkspacePrefix + std::to_string(support::CurrentProcessId())));
  fs::remove_all(*workspacePath);
  fs::create_directories(*workspacePath);
  fs::current_path(*workspacePath);
  // Lines go to /dev/null from here on (a terminal still sees them unless libFuzzer's
  // -close_fd_mask=1 closes the standard output); BARSYNC_FUZZ_LOG names a file instead,
  // for looking into one input.
  InitLogs(LogTarget(), LogTarget(), "FUZZ");
  if (std::getenv(kLogVariable) != nullptr) SetLogLevel(kEveryLevel);
  std::atexit(RemoveWorkspace);
  return *workspacePath;
}

}  // namespace

const fs::path& Workspace() {
  static const fs::path& path = MakeWorkspace();
  return path;
}

fs::path MinutesDir() {
  return Workspace() / "minutes";
}
fs::path ArchiveDir() {
  return Workspace() / "archive";
}

namespace {

// Every name in the folder open as dirFd, without "." and "..", and whether it is a folder.
// getdents64 into a buffer on the stack: opendir allocates 32 KB per folder.
std::vector<std::pair<std::string, bool>> Entries(int dirFd) {
  std::vector<std::pair<std::string, bool>> entries;
  alignas(8) char buffer[4096];
  ::lseek(dirFd, 0, SEEK_SET);
  for (;;) {
    const long filled = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
    if (filled <= 0) break;
    for (long at = 0; at < filled;) {
      struct Head {
        std::uint64_t inode;
        std::int64_t next;
        unsigned short length;
        unsigned char type;
      };
      Head head;
      std::memcpy(&head, buffer + at, sizeof head);
      const char* name = buffer + at + offsetof(Head, type) + 1;
      at += head.length;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      bool folder = head.type == DT_DIR;
      struct stat status {};
      if (head.type == DT_UNKNOWN && ::fstatat(dirFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0)
        folder = S_ISDIR(status.st_mode);
      entries.emplace_back(name, folder);
    }
  }
  return entries;
}

// Removes everything in the folder open as dirFd (a symbolic link is removed, never
// followed); false when something stays.
bool RemoveContents(int dirFd) {
  bool removed = true;
  for (const auto& [name, folder] : Entries(dirFd)) {
    if (!folder) {
      removed = ::unlinkat(dirFd, name.c_str(), 0) == 0 && removed;
      continue;
    }
    const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool emptied = sub >= 0 && RemoveContents(sub);
    if (sub >= 0) ::close(sub);
    removed = emptied && ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 && removed;
  }
  return removed;
}

// mkdir of path and of its missing parents (std::filesystem::create_directories looks at
// every component from the root first).
void MakeFolders(const fs::path& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return;
  if (errno != ENOENT || !path.has_relative_path()) {
    fs::create_directories(path);  // throws with the reason
    return;
  }
  MakeFolders(path.parent_path());
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) fs::create_directories(path);
}

}  // namespace

// Plain system calls rather than streams and std::filesystem: these run several times per
// input, and a stream or a recursive directory iterator costs more than the few calls
// they make.
void WriteBytes(const fs::path& path, std::string_view bytes) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  constexpr mode_t kMode = 0644;
  int fd = ::open(path.c_str(), kFlags, kMode);
  if (fd < 0 && errno == ENOENT) {
    MakeFolders(path.parent_path());
    fd = ::open(path.c_str(), kFlags, kMode);
  }
  Check(fd >= 0, "cannot write a scratch file", support::NarrowPath(path));
  bool written = true;
  while (written && !bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    written = n > 0;
    if (written) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  written = ::close(fd) == 0 && written;
  Check(written, "cannot write a scratch file", support::NarrowPath(path));
}

std::string ReadBytes(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat status {};
  std::string bytes;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
    bytes.resize(static_cast<std::size_t>(status.st_size));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() + kCandleBytes * 64);
    const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n <= 0) break;
    filled += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(filled);
  return bytes;
}

void MakeEmptyFolder(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    fs::remove_all(path);
    fs::create_directories(path);
    return;
  }
  const bool emptied = RemoveContents(fd);
  ::close(fd);
  Check(emptied, "cannot empty a scratch folder", support::NarrowPath(path));
}

bool ParseConfined(CMinReplicator& replicator, const std::vector<std::string>& extra) {
  const std::string program = support::NarrowPath(Workspace() / "Barsync");
  const std::string minutes = support::NarrowPath(MinutesDir());
  const std::string archive = support::NarrowPath(ArchiveDir());
  const std::string log = LogTarget();
  std::vector<std::string> words = {program, "-f", minutes, "-t", archive, "-l", log, "-e", log};
  words.insert(words.end(), extra.begin(), extra.end());
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  return replicator.ParseParameters(static_cast<int>(argv.size()), argv.data());
}

void ReleaseSettingGlobals() {
  std::vector<IniEntry>().swap(intervalEntries);
  std::vector<IniEntry>().swap(changeLotList);
  std::vector<IniEntry>().swap(changePriceList);
  std::string().swap(dateBegin);
  std::string().swap(dateEnd);
}

std::vector<Candle> Records(std::string_view bytes) {
  std::vector<Candle> records(bytes.size() / kCandleBytes);
  for (std::size_t i = 0; i < records.size(); ++i)
    records[i] =
        DecodeCandle(reinterpret_cast<const unsigned char*>(bytes.data()) + i * kCandleBytes);
  return records;
}

std::string ArchiveDamage(const fs::path& path) {
  const std::string bytes = ReadBytes(path);
  if (bytes.size() % kCandleBytes != 0 || bytes.size() > kArchiveBytes)
    return "size " + std::to_string(bytes.size());
  const std::vector<Candle> records = Records(bytes);
  return FindArchiveDamage(
      records.data(), static_cast<int>(records.size()),
      [](const Candle* buffer, int slot) { return IntervalNameOfCode(SlotCode(buffer, slot)); });
}

void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
