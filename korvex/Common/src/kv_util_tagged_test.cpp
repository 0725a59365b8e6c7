// The tagged-line builder: text shape, the level rule and the length bound.
#include <string>

#include "kv_util_test_support.h"

namespace kv {
namespace {

// Runs body on a thread attached to a fresh events log; answers the log's text.
template <class Body>
std::string events_of(const char* name, Body body) {
  test::ensure_library();
  test::TempFolder dir(name);
  const std::string log = dir.file("e.log");
  test::on_thread([&] {
    attach_thread(LogTable::events, log.c_str(), nullptr);
    body();
  });
  return test::read_file(log);
}

std::string last_line(const std::string& text) {
  const std::size_t end = text.rfind("\r\n");
  if (end == std::string::npos) return "";
  const std::size_t found = end == 0 ? std::string::npos : text.rfind("\r\n", end - 1);
  const std::size_t start = found == std::string::npos ? 0 : found + 2;
  return text.substr(start, end - start);
}

TEST(TaggedLine, WritesTagAndNamedValuesAsALevelZeroEvent) {
  const std::string text = events_of("tagged", [] {
    TaggedLine line("THREAD");
    line << " started ";
    line.value("threadId", 12).value("name", "TRAF").value("rate", 2.5);
    EXPECT_GT(line.emit(), 0);
    EXPECT_EQ(line.emit(), 0);  // once only
  });
  const std::string line = last_line(text);
  EXPECT_EQ(line.substr(0, 3), "0: ");
  EXPECT_NE(line.find("): THREAD: started threadId<12>name<TRAF>rate<2.5>"), std::string::npos)
      << line;
}

TEST(TaggedLine, AboveTheDebugLevelNothingIsBuiltOrWritten) {
  const int before = set_debug_level(1);
  const std::string text = events_of("tagged_level", [] {
    {
      TaggedLine hidden("HIDDEN", 2);
      EXPECT_FALSE(hidden.enabled());
      hidden << "not written";
    }
    TaggedLine shown("SHOWN", 1);
    EXPECT_TRUE(shown.enabled());
    shown << 7LL;
  });  // the destructor writes what was not emitted
  set_debug_level(before);
  EXPECT_EQ(text.find("HIDDEN"), std::string::npos);
  EXPECT_NE(text.find("SHOWN:7"), std::string::npos);
}

TEST(TaggedLine, TextIsBoundedByThePieceLimit) {
  const std::string line = last_line(events_of("tagged_long", [] {
    TaggedLine line("LONG");
    for (int i = 0; i < 300; ++i) line << "0123456789";
  }));
  EXPECT_NE(line.find("LONG:0123456789"), std::string::npos);
  EXPECT_EQ(line.find("MAX_BUF_SIZE"), std::string::npos);
  EXPECT_LE(line.size(), kOutputLimit);
}

}  // namespace
}  // namespace kv
