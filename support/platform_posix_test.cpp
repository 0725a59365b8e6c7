// Replacing a file keeps the permissions its owner gave it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/durable_writes.h"
#include "support/platform.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;
using namespace support;

namespace {

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ReplaceFileAtomicallyPosix, ReplacedFileKeepsItsPermissions) {
  TestTempDir dir;
  const fs::path target = dir / "SEC.dat";
  for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0444}}) {
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "old";
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    // A read-only archive is still replaced, as before, and stays read-only.
    ASSERT_FALSE(ReplaceFileAtomically(target, "new", 3)) << std::oct << mode;
    EXPECT_EQ(Contents(target), "new");
    EXPECT_EQ(ModeOf(target), mode) << std::oct << mode;
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  }
}

}  // namespace
