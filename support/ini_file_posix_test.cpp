#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/ini_file.h"
#include "support/test_temp_dir.h"

namespace {

// A directory opens as a stream here but every read of it fails.
TEST(IniFileReadError, ThrowsWithQuotedPathAndLineNumber) {
  support::TestTempDir dir;
  const auto path = dir / "dir\"with\\quote";
  std::filesystem::create_directory(path);
  try {
    IniFile ini(path);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    const std::string expected =
        "Read ini file error. File\"" + dir.path().string() + "/dir\\\"with\\\\quote\" line:1";
    EXPECT_EQ(std::string(e.what()), expected);
  }
}

}  // namespace
