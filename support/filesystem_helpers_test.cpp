#include "support/filesystem_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/log.h"
#include "support/test_temp_dir.h"

namespace fs = std::filesystem;

namespace {

using support::TestTempDir;
using testing::HasSubstr;

// Captures what the helpers write to the logs (the logs echo to standard output until
// they are opened).
class HelpersTest : public testing::Test {
 protected:
  void SetUp() override { testing::internal::CaptureStdout(); }
  std::string Output() {
    if (!captured_) {
      output_ = testing::internal::GetCapturedStdout();
      captured_ = true;
    }
    return output_;
  }
  void TearDown() override { Output(); }
  TestTempDir dir_;
  std::string output_;
  bool captured_ = false;
};

TEST_F(HelpersTest, ExistenceChecksTellFilesFromDirectories) {
  support::WriteTextFile(dir_ / "f.dat", "x");
  EXPECT_TRUE(PathExists(dir_ / "f.dat"));
  EXPECT_TRUE(FileExists(dir_ / "f.dat"));
  EXPECT_FALSE(DirectoryExists(dir_ / "f.dat"));
  EXPECT_TRUE(PathExists(dir_.path()));
  EXPECT_TRUE(DirectoryExists(dir_.path()));
  EXPECT_FALSE(FileExists(dir_.path()));
  EXPECT_EQ(Output(), "");
}

TEST_F(HelpersTest, MissingPathsAreFalseAndSilent) {
  support::WriteTextFile(dir_ / "f.dat", "x");
  EXPECT_FALSE(PathExists(dir_ / "no" / "such" / "thing"));
  EXPECT_FALSE(FileExists(dir_ / "nothing.dat"));
  EXPECT_FALSE(DirectoryExists(dir_ / "nothing"));
  EXPECT_FALSE(PathExists(dir_ / "f.dat" / "below-a-file"));
  EXPECT_FALSE(PathExists(dir_ / std::string(300, 'n')));
  EXPECT_TRUE(RemoveFile(dir_ / "nothing.dat"));
  EXPECT_TRUE(RemoveTree(dir_ / "nothing"));
  EXPECT_EQ(Output(), "");
}

TEST_F(HelpersTest, RelativePathsAreResolvedAgainstTheCurrentDirectory) {
  const fs::path before = fs::current_path();
  fs::create_directory(dir_ / "CLASS");
  ASSERT_TRUE(SetCurrentDir(dir_.path()));
  EXPECT_TRUE(DirectoryExists("CLASS"));
  EXPECT_EQ(GetFullPath("CLASS"), fs::current_path() / "CLASS");
  EXPECT_TRUE(CreateDir("NEW"));
  fs::current_path(before);
  EXPECT_TRUE(fs::is_directory(dir_ / "NEW"));
}

TEST_F(HelpersTest, CreateDirOnExistingDirectoryIsSilent) {
  EXPECT_TRUE(CreateDir(dir_.path()));
  EXPECT_TRUE(CreateDir(dir_ / "a"));
  EXPECT_TRUE(CreateDir(dir_ / "a"));
  EXPECT_EQ(Output(), "");
}

TEST_F(HelpersTest, CreateDirWithMissingParentReportsPathAndReason) {
  const fs::path path = dir_ / "missing" / "child";
  EXPECT_FALSE(CreateDir(path));
  EXPECT_THAT(Output(), HasSubstr("Error while creating directory: " + path.string() + "; "));
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(HelpersTest, CreateDirOverAFileReportsTheError) {
  support::WriteTextFile(dir_ / "taken", "x");
  EXPECT_FALSE(CreateDir(dir_ / "taken"));
  EXPECT_THAT(Output(), HasSubstr("Error while creating directory: "));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "taken"));
}

TEST_F(HelpersTest, RemoveTreeRemovesEverythingBelow) {
  fs::create_directories(dir_ / "root" / "a" / "b");
  support::WriteTextFile(dir_ / "root" / "a" / "b" / "f", "x");
  support::WriteTextFile(dir_ / "root" / "g", "x");
  EXPECT_TRUE(RemoveTree(dir_ / "root"));
  EXPECT_FALSE(fs::exists(dir_ / "root"));
  EXPECT_EQ(Output(), "");
}

TEST_F(HelpersTest, RemoveFileRemovesOneFile) {
  support::WriteTextFile(dir_ / "f", "x");
  EXPECT_TRUE(RemoveFile(dir_ / "f"));
  EXPECT_FALSE(fs::exists(dir_ / "f"));
}

TEST_F(HelpersTest, RemoveFileOfANonEmptyDirectoryReportsTheError) {
  fs::create_directories(dir_ / "d");
  support::WriteTextFile(dir_ / "d" / "f", "x");
  EXPECT_FALSE(RemoveFile(dir_ / "d"));
  EXPECT_THAT(Output(), HasSubstr("Error while deleting file: "));
  EXPECT_TRUE(fs::exists(dir_ / "d" / "f"));
}

TEST_F(HelpersTest, SetCurrentDirToMissingDirectoryReports) {
  const fs::path before = fs::current_path();
  EXPECT_FALSE(SetCurrentDir(dir_ / "absent"));
  EXPECT_THAT(Output(), HasSubstr("Error setting current directory: "));
  EXPECT_EQ(fs::current_path(), before);
}

}  // namespace
