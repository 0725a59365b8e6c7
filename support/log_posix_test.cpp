#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/log.h"

namespace {

using testing::HasSubstr;
using testing::Not;

// A log file on a full disk (/dev/full fails every write with "No space left on device"):
// the run must not go on without a word. One line on the standard error names the file
// and the reason, and every line from then on reaches the standard output.
TEST(LogOnFullDisk, SaysSoOnceAndKeepsEveryLineOnTheConsole) {
  Log log;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(log.InitLog("/dev/full", "GLOBAL"));
  log.Write("first %d", 1);
  log.Write("second %d", 2);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, HasSubstr("Can not write into log file /dev/full: No space left on device"));
  EXPECT_EQ(err.find("Can not write"), err.rfind("Can not write")) << "said more than once";
  // The line whose write failed (the opening line) and the later ones.
  EXPECT_THAT(out, HasSubstr("Init log: PID="));
  EXPECT_THAT(out, HasSubstr("first 1"));
  EXPECT_THAT(out, HasSubstr("second 2"));
  EXPECT_THAT(err, Not(HasSubstr("first 1")));
}

}  // namespace
