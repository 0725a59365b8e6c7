#include "tests/fuzz/fuzz_workspace.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/min_replicator.h"
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

void WriteBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(out.good(), "cannot write a scratch file", support::NarrowPath(path));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void MakeEmptyFolder(const fs::path& path) {
  fs::remove_all(path);
  fs::create_directories(path);
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
