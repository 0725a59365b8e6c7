// For the fuzz targets: one scratch folder per process, made the current directory (the
// program reads Barsync.ini there), with the logs sent to /dev/null so that millions of
// runs write nothing that grows. libFuzzer's -close_fd_mask=1 keeps the console quiet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/candle.h"

class CMinReplicator;

namespace fuzz {

// The scratch folder: $TMPDIR/barsync_fuzz_<pid>, emptied on first use and removed when the
// process ends by exit; those of processes that ended otherwise are removed by the next
// target that starts. It becomes the current directory. Both logs go to /dev/null, or to the
// file named by the environment variable BARSYNC_FUZZ_LOG.
const std::filesystem::path& Workspace();

// Writes bytes as the whole content of path, creating missing folders.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// The whole content of path; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);

// Makes path an empty folder: removes everything in it (the folder itself stays), or
// creates it.
void MakeEmptyFolder(const std::filesystem::path& path);

// The minute export tree and the archive tree inside the workspace.
std::filesystem::path MinutesDir();
std::filesystem::path ArchiveDir();

// ParseParameters on the workspace's Barsync.ini with the minutes, archive and log options
// forced (-f, -t, both logs to /dev/null), so that no fuzzed setting can point a run
// outside the workspace; extra arguments follow them.
bool ParseConfined(CMinReplicator& replicator, const std::vector<std::string>& extra = {});

// For a target that parses the settings for every input: frees what the settings step keeps
// in globals (the [Intervals], [ChangeLot] and [ChangePrice] entries, the date range).
// Otherwise an input with more entries than the one before ends with more allocations than
// frees, and libFuzzer runs it a second time with a leak check, which costs a sixth of the
// time of such targets; a run that truly leaks still ends with more allocations than frees.
void ReleaseSettingGlobals();

// The records of bytes (a whole number of 48-byte records; a partial tail is dropped).
std::vector<Candle> Records(std::string_view bytes);

// What the archive loader would report about the archive file at path ("" when it would
// load it), judged on the file's own records without a full working buffer. A file that is
// not a whole number of records is reported as such.
std::string ArchiveDamage(const std::filesystem::path& path);

// Fails the run (abort, which libFuzzer reports as a finding) with a message.
[[noreturn]] void Fail(const char* what, const std::string& detail);

// Stops the run like Fail when condition does not hold.
inline void Check(bool condition, const char* what, const std::string& detail = {}) {
  if (!condition) Fail(what, detail);
}

// Reads little-endian integers from the front of the fuzz input, and what is left.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), size) {}
  std::uint8_t Byte() {
    if (text_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(text_.front());
    text_.remove_prefix(1);
    return value;
  }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::string_view Take(std::size_t count) {
    const std::string_view part = text_.substr(0, count);
    text_.remove_prefix(part.size());
    return part;
  }
  std::string_view Rest() const { return text_; }

 private:
  std::string_view text_;
};

}  // namespace fuzz
