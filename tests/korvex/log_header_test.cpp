// Korvex host tests: line headers, marks, banners, the debug level and line shaping.
#include <regex>

#include "korvex_host.h"

namespace {

using korvex_host::proc;
using korvex_host::read_lines;
using korvex_host::TempFolder;

TEST(LogHeader, EventLineWithoutMarkHasNoThirdNumber) {
  TempFolder dir("header_nomark");
  auto util_init = proc<decltype(&::util_init)>("util_init");
  auto event = proc<decltype(&::event)>("event");
  util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
  event("hello %d", 42);
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 1u);
  const std::regex header(
      R"(V: [ 123]\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d )"
      R"(\((Sun|Mon|Tue|Wed|Thu|Fri|Sat)\) \d\d:\d\d:\d\d\.\d\d\d \((\d+):(\d+)\): hello 42)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, header)) << lines[0];
  EXPECT_EQ(std::stoul(m[3]), GetCurrentProcessId());
  EXPECT_EQ(std::stoul(m[4]), GetCurrentThreadId());
}

}  // namespace
