// A write that the system stops part-way (the process's file-size limit) must leave the
// previous archive exactly as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lowers the file-size limit (and ignores the signal the system sends past it) for the
// lifetime of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
  bool ok_ = false;
};

}  // namespace

TEST(CandleFileWriteFailure, StoppedPartWayLeavesThePreviousArchiveByteForByte) {
  const fs::path dir = fs::temp_directory_path() /
                       ("barsync_write_failure_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const fs::path target = dir / "SEC.dat";

  auto buffer = NewArchiveBuffer();
  for (int r = 0; r < kArchiveRecords; ++r) {
    buffer[r].date = 20240101 + r % 28;
    buffer[r].volume = r;
  }
  CMinArch archive(kOneMinuteInterval, 0);
  archive.m_Candles = buffer.data();
  archive.m_Count = 1000;
  ASSERT_TRUE(WriteCandleFile(target, archive));
  const std::string before = ReadBytes(target);
  ASSERT_EQ(before.size(), 1000 * kCandleBytes);

  archive.m_Count = kArchiveRecords;  // 2,304,768 bytes: far past the limit below
  bool written = true;
  {
    FileSizeLimit limit(100000);
    ASSERT_TRUE(limit.ok());
    written = WriteCandleFile(target, archive);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadBytes(target), before);
  EXPECT_FALSE(fs::exists(support::TemporaryPathFor(dir / "SEC.dat")));
  // Once the limit is gone the same write succeeds.
  EXPECT_TRUE(WriteCandleFile(target, archive));
  EXPECT_EQ(fs::file_size(target), kArchiveBytes);
  fs::remove_all(dir);
}
