#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/app_test_support.h"

using testing::HasSubstr;

namespace {

int Start(std::vector<std::string> args, std::string& out) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  testing::internal::CaptureStdout();
  const int rc = RunBarsync(static_cast<int>(argv.size()), argv.data());
  out = testing::internal::GetCapturedStdout();
  return rc;
}

// Started by a bare program name, the program cannot move to its own folder: it says so
// and reads the settings file of the folder it was started in.
TEST_F(AppTest, BareProgramNameKeepsTheInheritedCurrentDirectory) {
  WriteIni("[General]\nDebugLevel=3\n");
  EXPECT_EQ(Start({"Barsync", "-v"}, out_), 0);
  EXPECT_THAT(out_, HasSubstr("): Error setting current directory: ; "));
  EXPECT_THAT(out_, HasSubstr("): SetLogLevel: 1 -> 3\n"));
  EXPECT_THAT(out_, HasSubstr(VersionText()));
}

TEST_F(AppTest, StartUpMovesToTheProgramsFolderAndReadsItsSettings) {
  std::filesystem::create_directories(dir_ / "bin");
  support::WriteTextFile(dir_ / "bin" / "Barsync.ini", "[General]\nDebugLevel=2\n");
  EXPECT_EQ(Start({(dir_ / "bin" / "Barsync").string(), "-?"}, out_), 0);
  EXPECT_EQ(std::filesystem::current_path(), dir_ / "bin");
  EXPECT_THAT(out_, HasSubstr("): SetLogLevel: 1 -> 2\n"));
  EXPECT_THAT(out_, HasSubstr(UsageText()));
  EXPECT_THAT(out_, testing::Not(HasSubstr("Error setting current directory")));
}

TEST_F(AppTest, DebugLevelKeepsTheLowEightBits) {
  WriteIni("[General]\nDebugLevel=258\n");
  EXPECT_EQ(Start({"Barsync", "-v"}, out_), 0);
  EXPECT_EQ(MainLog().GetLevel(), 2);
}

TEST_F(AppTest, ValidationFailureEndsWithExitCodeZero) {
  EXPECT_EQ(Start({(dir_ / "Barsync").string(), "-a", "nonsense", "-f", "x", "-t", "y"}, out_), 0);
  EXPECT_THAT(out_, HasSubstr("): Unknown action\n"));
}

}  // namespace
