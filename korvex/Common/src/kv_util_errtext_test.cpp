// Error descriptions: trimming of system texts, the string table and the fallback.
#include <string>

#include "kv_util_test_support.h"

namespace kv {
namespace {

std::string trimmed(std::string text) {
  trim_error_text(text.data());
  return text.c_str();
}

TEST(TrimErrorText, CutsBlanksAndPunctuationButKeepsDotParenAndHighLetters) {
  EXPECT_EQ(trimmed("The file was not found.\r\n"), "The file was not found.");
  EXPECT_EQ(trimmed("Bad value (x)  \r\n"), "Bad value (x)");
  EXPECT_EQ(trimmed("Stopped!, - \t"), "Stopped");
  EXPECT_EQ(trimmed("\xCD\xE5\xF2 \xF4\xE0\xE9\xEB\xE0\r\n"), "\xCD\xE5\xF2 \xF4\xE0\xE9\xEB\xE0");
  EXPECT_EQ(trimmed(" \r\n"), "");
}

TEST(LibraryStrings, SocketTextsComeFromTheStringTable) {
  test::ensure_library();
  char text[kDescriptionSize];
  ASSERT_TRUE(load_library_string(10061, text, sizeof text));
  EXPECT_STREQ(text, "[10061] Connection refused");
  ASSERT_TRUE(load_library_string(10000, text, sizeof text));
  EXPECT_STREQ(text, "[0] No Error");
  ASSERT_TRUE(load_library_string(11003, text, sizeof text));
  EXPECT_STREQ(text, "[11003] Non-Recoverable errors: FORMERR, REFUSED, NOTIMP");
  ASSERT_TRUE(load_library_string(10049, text, sizeof text));
  EXPECT_STREQ(text, "[10049] Can't assign requested address");
  EXPECT_FALSE(load_library_string(10001, text, sizeof text));
  EXPECT_STREQ(text, "");
  char small[8];
  ASSERT_TRUE(load_library_string(10061, small, sizeof small));
  EXPECT_STREQ(small, "[10061]");
}

TEST(DescribeError, SystemTextTrimmedOrTheFallback) {
  test::ensure_library();
  char text[kDescriptionSize];
  describe_error(ERROR_FILE_NOT_FOUND, text, sizeof text);
  const std::string d = text;
  ASSERT_FALSE(d.empty());
  EXPECT_GT(static_cast<unsigned char>(d.back()), '-');
  describe_error(0x2000ABCDu, text, sizeof text);
  EXPECT_STREQ(text, kNoDescription);
  char tiny[4];
  describe_error(0x2000ABCDu, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "No ");
}

}  // namespace
}  // namespace kv
