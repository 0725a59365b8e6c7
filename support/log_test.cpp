#include "support/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/support_constants.h"
#include "support/test_temp_dir.h"

namespace {

using support::ReadTextFile;
using support::TestTempDir;
using testing::HasSubstr;
using testing::Not;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Opens log on file with the standard output captured, so that the log sees no terminal.
void OpenQuietly(Log& log, const std::filesystem::path& file, const char* thread = "GLOBAL") {
  testing::internal::CaptureStdout();
  EXPECT_FALSE(log.InitLog(file, thread));
  testing::internal::GetCapturedStdout();
}

TEST(LogLine, HasLocalTimeStampThreadPrefixAndMessage) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log", "GLOBAL");
  log.Write("value %d of %s", 42, "forty-two");
  const auto lines = Lines(ReadTextFile(dir / "main.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d \(\d+:GLOBAL\): Init log: )"
                           R"(PID=\d+, LogLevel=1, File='.*main\.log')")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(
      lines[1],
      std::regex(
          R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d \(\d+:GLOBAL\): value 42 of forty-two)")))
      << lines[1];
}

TEST(LogLine, ThreadNameIsCutToSevenCharacters) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log", "VERYLONGNAME");
  log.Write("x");
  EXPECT_THAT(ReadTextFile(dir / "main.log"), HasSubstr(":VERYLON): x\n"));
  SetLogThreadName("GLOBAL");
}

TEST(LogLine, LongMessageIsCutToExactly2048BytesEndingInDots) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log");
  const std::string before = ReadTextFile(dir / "main.log");
  log.Write("%s", std::string(3000, 'A').c_str());
  const std::string line = ReadTextFile(dir / "main.log").substr(before.size());
  ASSERT_EQ(line.size(), support::kLogLineSize);
  EXPECT_EQ(line.substr(line.size() - 4), "...\n");
  EXPECT_EQ(line[line.size() - 5], 'A');
}

TEST(LogLine, MessageThatJustFitsIsNotCutAndOneMoreByteIs) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log");
  log.Write("h");
  const std::string first = ReadTextFile(dir / "main.log");
  const std::size_t headLength = Lines(first).back().size() - 1;  // the line is head + "h"
  const std::size_t fits = support::kLogLineSize - 1 - headLength;
  log.Write("%s", std::string(fits, 'B').c_str());
  log.Write("%s", std::string(fits + 1, 'C').c_str());
  const auto lines = Lines(ReadTextFile(dir / "main.log").substr(first.size()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size() + 1, support::kLogLineSize);
  EXPECT_EQ(lines[0].back(), 'B');
  EXPECT_EQ(lines[1].size() + 1, support::kLogLineSize);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "...");
}

TEST(LogOpen, CreatesMissingDirectories) {
  TestTempDir dir;
  Log log;
  const auto file = dir / "a" / "b" / "c.log";
  OpenQuietly(log, file);
  EXPECT_THAT(ReadTextFile(file), HasSubstr("Init log: PID="));
}

TEST(LogOpen, SameFileTwiceWritesInitLineTwiceWithoutReopening) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log");
  OpenQuietly(log, dir / "main.log");
  const auto lines = Lines(ReadTextFile(dir / "main.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[1], HasSubstr("Init log:"));
}

TEST(LogOpen, AppendsToAnExistingFile) {
  TestTempDir dir;
  support::WriteTextFile(dir / "main.log", "old line\n");
  Log log;
  OpenQuietly(log, dir / "main.log");
  EXPECT_EQ(ReadTextFile(dir / "main.log").rfind("old line\n", 0), 0u);
}

TEST(LogOpen, FailureIsReturnedAndLinesStillReachTheConsole) {
  TestTempDir dir;
  support::WriteTextFile(dir / "file", "x");
  Log log;
  testing::internal::CaptureStdout();
  const std::error_code error = log.InitLog(dir / "file" / "sub" / "x.log", nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(error);
  // The standard output is no terminal here: with no file either, it still gets the lines.
  testing::internal::CaptureStdout();
  log.Write("still here");
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("still here\n"));
}

TEST(LogConsole, BeforeOpeningLinesGoToStandardOutput) {
  Log log;
  testing::internal::CaptureStdout();
  log.Write("early %s", "line");
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("): early line\n"));
}

TEST(LogConsole, AfterOpeningWithoutTerminalLinesGoToTheFileOnly) {
  TestTempDir dir;
  Log log;
  testing::internal::CaptureStdout();
  ASSERT_FALSE(log.InitLog(dir / "main.log", "GLOBAL"));
  log.Write("file only");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_THAT(ReadTextFile(dir / "main.log"), HasSubstr("file only\n"));
}

TEST(LogLevel, SetLogLevelWritesTheChangeOnlyWhenItChanges) {
  TestTempDir dir;
  Log log;
  OpenQuietly(log, dir / "main.log");
  EXPECT_EQ(log.SetLogLevel(1), 1);
  EXPECT_EQ(log.SetLogLevel(3), 1);
  EXPECT_EQ(log.GetLevel(), 3);
  const std::string text = ReadTextFile(dir / "main.log");
  EXPECT_THAT(text, HasSubstr("): SetLogLevel: 1 -> 3\n"));
  EXPECT_THAT(text, Not(HasSubstr("SetLogLevel: 1 -> 1")));
}

class ProcessLogs : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    ASSERT_FALSE(InitLogs(dir_ / "main.log", dir_ / "errors.log", "GLOBAL"));
    testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    MainLog().SetLogLevel(support::kInitialLogLevel);
    MainLog().Close();
    ErrorsLog().Close();
  }
  std::string Main() { return ReadTextFile(dir_ / "main.log"); }
  std::string Errors() { return ReadTextFile(dir_ / "errors.log"); }
  TestTempDir dir_;
};

TEST_F(ProcessLogs, LevelFiltersLogAtButNeverLogAlwaysOrLogError) {
  testing::internal::CaptureStdout();
  SetLogLevel(0);
  testing::internal::GetCapturedStdout();
  LogAt(1, "banner");
  LogAt(0, "result");
  LogAlways("always");
  LogError("failure %d", 7);
  EXPECT_THAT(Main(), Not(HasSubstr("banner")));
  EXPECT_THAT(Main(), HasSubstr("): result\n"));
  EXPECT_THAT(Main(), HasSubstr("): always\n"));
  EXPECT_THAT(Main(), HasSubstr("): failure 7\n"));
  EXPECT_THAT(Errors(), HasSubstr("): failure 7\n"));
  EXPECT_THAT(Errors(), Not(HasSubstr("always")));
}

TEST_F(ProcessLogs, LevelTwoShowsLevelTwoButNotLevelThree) {
  SetLogLevel(2);
  LogAt(2, "loading");
  LogAt(3, "too detailed");
  LogAt(99, "trace");
  EXPECT_THAT(Main(), HasSubstr("loading"));
  EXPECT_THAT(Main(), Not(HasSubstr("too detailed")));
  EXPECT_THAT(Main(), Not(HasSubstr("trace")));
}

TEST_F(ProcessLogs, SameFileForBothLogsGetsEachErrorTwice) {
  testing::internal::CaptureStdout();
  ASSERT_FALSE(InitLogs(dir_ / "both.log", dir_ / "both.log", "GLOBAL"));
  testing::internal::GetCapturedStdout();
  LogError("twice");
  const std::string text = ReadTextFile(dir_ / "both.log");
  EXPECT_NE(text.find("twice"), text.rfind("twice"));
}

}  // namespace
