#include "crash/handler_base.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "crash/crash_constants.h"
#include "crash/test_recording_output.h"

namespace ostrel::se {
namespace {

using crash::RecordingOutput;

TEST(HandlerBase, RaiseThrowsTheTextWithTheCode) {
  HandlerBase handler(0);
  try {
    handler.raise(1234, "Exception 0xC0000005 occurred");
    FAIL() << "raise returned";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Exception 0xC0000005 occurred [code:1234]");
  }
  EXPECT_EQ(RaisedMessage(0, ""), " [code:0]");
}

TEST(HandlerBase, StartsWithAPlainOutputThatCanBeReplaced) {
  HandlerBase handler(0);
  ASSERT_NE(handler.output(), nullptr);
  auto recording = std::make_shared<RecordingOutput>();
  handler.setOutput(recording);
  handler.output()->exceptionBegin();
  EXPECT_EQ(recording->lines.size(), 1u);
}

TEST(ReportOutput, EveryBlockIsFramedByItsBannersOf38Characters) {
  RecordingOutput out;
  out.exceptionBegin();
  out.exceptionEntry("text");
  out.exceptionEnd();
  out.moduleListBegin();
  out.moduleEntry("module");
  out.moduleListEnd();
  out.callStackBegin();
  out.callStackEntry("frame");
  out.callStackEnd();
  const std::vector<std::string> expected = {
      ">>============ Exception =============", "text",   "<<============ Exception =============",
      ">>=========== Module List ============", "module", "<<=========== Module List ============",
      ">>============ Call Stack ============", "frame",  "<<============ Call Stack ============"};
  EXPECT_EQ(out.lines, expected);
  for (const std::string& line : out.lines) {
    if (line.size() > 10) {
      EXPECT_EQ(line.size(), crash::kBannerLength) << line;
    }
  }
}

}  // namespace
}  // namespace ostrel::se
