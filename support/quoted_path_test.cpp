#include "support/quoted_path.h"

#include <gtest/gtest.h>

namespace {

TEST(QuotedPath, EscapesBackslashesAndQuotes) {
  EXPECT_EQ(QuotedPath("C:\\Export\\\"x\"\\1.dat"), "\"C:\\\\Export\\\\\\\"x\\\"\\\\1.dat\"");
  EXPECT_EQ(QuotedPath(""), "\"\"");
  EXPECT_EQ(QuotedPath("plain/path"), "\"plain/path\"");
}

}  // namespace
