#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/filesystem_helpers.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Symbolic links stand for links and junctions: they exist, but are neither files nor
// directories, and removing a tree never follows them.
TEST(HelpersLinks, LinksExistButAreNeitherFilesNorDirectories) {
  support::TestTempDir dir;
  fs::create_directory(dir / "target");
  support::WriteTextFile(dir / "target" / "keep.dat", "precious");
  fs::create_directory_symlink(dir / "target", dir / "link");
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(PathExists(dir / "link"));
  EXPECT_FALSE(DirectoryExists(dir / "link"));
  EXPECT_FALSE(FileExists(dir / "link"));
  EXPECT_TRUE(PathExists(dir / "dangling"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(HelpersLinks, RemoveTreeRemovesTheLinkNotWhatItPointsTo) {
  support::TestTempDir dir;
  fs::create_directories(dir / "archive" / "CLASS");
  fs::create_directory(dir / "elsewhere");
  support::WriteTextFile(dir / "elsewhere" / "keep.dat", "precious");
  fs::create_directory_symlink(dir / "elsewhere", dir / "archive" / "CLASS" / "link");
  EXPECT_TRUE(RemoveTree(dir / "archive"));
  EXPECT_FALSE(fs::exists(dir / "archive"));
  EXPECT_EQ(support::ReadTextFile(dir / "elsewhere" / "keep.dat"), "precious");
}

TEST(HelpersPermissions, UnreadableDirectoryIsReportedNotSilent) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  support::TestTempDir dir;
  fs::create_directory(dir / "closed");
  fs::permissions(dir / "closed", fs::perms::none);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(PathExists(dir / "closed" / "x"));
  const std::string out = testing::internal::GetCapturedStdout();
  fs::permissions(dir / "closed", fs::perms::owner_all);
  EXPECT_THAT(out, testing::HasSubstr("Error checking if filesystem object exists: "));
}

}  // namespace
