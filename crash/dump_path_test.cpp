#include "crash/dump_path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace ostrel::crash {
namespace {

namespace fs = std::filesystem;

TEST(DumpNames, FolderIsTheDateAndFileTheTimeWithMilliseconds) {
  const LocalTime t{2026, 1, 7, 9, 5, 3, 45};
  EXPECT_EQ(DumpFolderName(t), "20260107");
  EXPECT_EQ(DumpFileName(2, t), "full090503_045.dmp");
  EXPECT_EQ(DumpFileName(0, t), "mini090503_045.dmp");
}

TEST(DumpPath, CreatesTheDumpsAndDateFolders) {
  const fs::path base =
      fs::temp_directory_path() /
      ("crash_dump_path_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(base);
  const LocalTime t{2026, 12, 7, 23, 59, 59, 999};
  const fs::path path = MakeDumpPath(base, 2, t);
  EXPECT_EQ(path, base / "Dumps" / "20261207" / "full235959_999.dmp");
  EXPECT_TRUE(fs::is_directory(base / "Dumps" / "20261207"));
  EXPECT_FALSE(fs::exists(path));
  // A second dump on the same day reuses the folders.
  EXPECT_EQ(MakeDumpPath(base, 0, t).filename(), "mini235959_999.dmp");
  fs::remove_all(base);
}

}  // namespace
}  // namespace ostrel::crash
