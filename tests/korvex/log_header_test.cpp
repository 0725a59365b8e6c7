// Korvex host tests: line headers, marks, banners, the debug level, line shaping and
// the kinds of error lines.
#include <winsock2.h>

#include <regex>

#include "korvex_host.h"

namespace {

using korvex_host::on_own_thread;
using korvex_host::proc;
using korvex_host::read_file;
using korvex_host::read_lines;
using korvex_host::TempFolder;

const std::string kStamp = R"([ 123]\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d )"
                           R"(\((Sun|Mon|Tue|Wed|Thu|Fri|Sat)\) \d\d:\d\d:\d\d\.\d\d\d)";

struct Exports {
  decltype(&::util_init) util_init = proc<decltype(&::util_init)>("util_init");
  decltype(&::util_set_mark) util_set_mark = proc<decltype(&::util_set_mark)>("util_set_mark");
  decltype(&::getsmark) getsmark = proc<decltype(&::getsmark)>("getsmark");
  decltype(&::setbanner) setbanner = proc<decltype(&::setbanner)>("setbanner");
  decltype(&::SetDebugLevel) set_debug_level = proc<decltype(&::SetDebugLevel)>("SetDebugLevel");
  decltype(&::event) event = proc<decltype(&::event)>("event");
  decltype(&::devent) devent = proc<decltype(&::devent)>("devent");
  decltype(&::error) error = proc<decltype(&::error)>("error");
  decltype(&::warning) warning = proc<decltype(&::warning)>("warning");
  decltype(&::oserrori) oserrori = proc<decltype(&::oserrori)>("oserrori");
  decltype(&::socerrori) socerrori = proc<decltype(&::socerrori)>("socerrori");
  decltype(&::place) place = proc<decltype(&::place)>("place");
  decltype(&::seterror) seterror = proc<decltype(&::seterror)>("seterror");
};

std::string host_program() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

TEST(LogHeader, EventLineWithoutMarkHasNoThirdNumber) {
  TempFolder dir("header_nomark");
  Exports k;
  DWORD tid = 0;
  on_own_thread([&] {
    tid = GetCurrentThreadId();
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.event("hello %d", 42);
  });
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 1u);
  const std::regex header("V: " + kStamp + R"( \((\d+):(\d+)\): hello 42)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, header)) << lines[0];
  EXPECT_EQ(std::stoul(m[3]), GetCurrentProcessId());
  EXPECT_EQ(std::stoul(m[4]), tid);
}

TEST(LogHeader, MarkAndBannerStandInTheHeader) {
  TempFolder dir("header_mark");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, "NET", nullptr);
    EXPECT_STREQ(k.getsmark(), "NET");
    EXPECT_NE(k.setbanner("[conn 7] "), 0);
    k.event("ready");
  });
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 1u);
  const std::regex header("V: " + kStamp + R"( \(\d+:\d+:NET\): \[conn 7\] ready)");
  EXPECT_TRUE(std::regex_match(lines[0], header)) << lines[0];
}

TEST(LogHeader, MarkKeepsSevenCharactersAndBannerTwoHundredFiftyFive) {
  Exports k;
  on_own_thread([&] {
    EXPECT_STREQ(k.getsmark(), "");
    char* mark = k.util_set_mark("ABCDEFGHIJ");
    EXPECT_STREQ(mark, "ABCDEFG");
    EXPECT_EQ(mark, k.getsmark());
    EXPECT_STREQ(k.util_set_mark(nullptr), "");
  });
  TempFolder dir("banner_cut");
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.setbanner(std::string(300, 'b').c_str());
    k.event("|");
  });
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(": " + std::string(255, 'b') + "|"), std::string::npos);
  EXPECT_EQ(lines[0].find(std::string(256, 'b')), std::string::npos);
}

TEST(LogDebugLevel, DeventWritesOnlyUpToTheLevel) {
  TempFolder dir("devent");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    EXPECT_EQ(k.set_debug_level(2), 0);  // 0 at load
    EXPECT_EQ(k.devent(3, "hidden"), 2);
    EXPECT_EQ(k.set_debug_level(-1), 2);  // only reads
    EXPECT_EQ(k.set_debug_level(-5), 2);
    EXPECT_EQ(k.set_debug_level(3), 2);
    EXPECT_GT(k.devent(3, "shown %s", "now"), 0);
    EXPECT_GT(k.devent(0, "level zero"), 0);
    k.set_debug_level(0);
  });
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("3: " + kStamp + R"( \(\d+:\d+\): shown now)")))
      << lines[0];
  EXPECT_EQ(lines[1].substr(0, 3), "0: ");
}

TEST(LogShape, LineFeedsBecomeCrLf) {
  TempFolder dir("crlf");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.event("first\nsecond\r");
  });
  const std::string text = read_file(dir.file("events.log"));
  const std::string tail = ": first\r\nsecond\r\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

TEST(LogShape, PieceOverTwoThousandCharactersIsReplaced) {
  TempFolder dir("piece");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.event("%s", std::string(2001, 'x').c_str());
    k.event("%s", std::string(1900, 'y').c_str());
  });
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_EQ(lines.size(), 2u);
  const std::string replaced = "): !!! MAX_BUF_SIZE is exceeded";
  ASSERT_GT(lines[0].size(), replaced.size());
  EXPECT_EQ(lines[0].substr(lines[0].size() - replaced.size()), replaced);
  EXPECT_EQ(lines[1].find('x'), std::string::npos);
  EXPECT_NE(lines[1].find(std::string(1900, 'y')), std::string::npos);
}

TEST(LogShape, LongLineIsCutAtTheOutputLimitAndStillEndsWithCrLf) {
  TempFolder dir("cut");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.event("%s", std::string(2000, 'z').c_str());  // a whole piece, longer than a line
    k.event("%s", std::string(1000, 'a').c_str());
    k.event("%s", std::string(1000, '\n').c_str());
  });
  const std::string text = read_file(dir.file("events.log"));
  const std::size_t first_end = text.find("\r\n");
  ASSERT_NE(first_end, std::string::npos);
  EXPECT_EQ(first_end + 2, 2000u);  // 1998 bytes of line, then CR-LF
  const auto lines = read_lines(dir.file("events.log"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 1000), std::string(1000, 'a'));
  // The third line: each LF takes two bytes, so the output stops within the limit.
  const std::size_t third = text.find("V:", first_end + 2 + lines[1].size() + 2);
  ASSERT_NE(third, std::string::npos);
  EXPECT_LE(text.size() - third, 2000u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(LogKinds, ErrorAndWarningGoToBothLogsWithTheHostPath) {
  TempFolder dir("kinds");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), dir.file("errors.log").c_str(), nullptr, nullptr);
    k.error("disk %s", "full");
    k.warning("slow");
    k.event("only events");
  });
  const auto events = read_lines(dir.file("events.log"));
  const auto errors = read_lines(dir.file("errors.log"));
  ASSERT_EQ(events.size(), 3u);
  ASSERT_EQ(errors.size(), 2u);
  const std::string running = "Running " + host_program() + ": ";
  EXPECT_EQ(errors[0].substr(0, 3), "E: ");
  EXPECT_NE(errors[0].find("): " + running + "Error: disk full"), std::string::npos) << errors[0];
  EXPECT_EQ(errors[1].substr(0, 3), "W: ");
  EXPECT_NE(errors[1].find("): " + running + "Warning: slow"), std::string::npos) << errors[1];
  EXPECT_EQ(events[0], errors[0]);
  EXPECT_EQ(events[1], errors[1]);
  EXPECT_EQ(events[2].substr(0, 3), "V: ");
}

TEST(LogKinds, OsErrorLineNamesPlaceAndDescription) {
  TempFolder dir("oserror");
  Exports k;
  unsigned stored = 0;
  DWORD kept = 0;
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), dir.file("errors.log").c_str(), nullptr, nullptr);
    stored = k.place("C:\\src\\net\\conn.cpp", 120);
    SetLastError(ERROR_FILE_NOT_FOUND);
    k.oserrori("open %s", "x");
    kept = GetLastError();
  });
  EXPECT_EQ(stored, sizeof "C:\\src\\net\\conn.cpp");
  EXPECT_EQ(kept, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));  // the caller's error stays
  const auto errors = read_lines(dir.file("errors.log"));
  ASSERT_EQ(errors.size(), 1u);
  const std::regex line("O: " + kStamp +
                        R"( \(\d+:\d+\): Running .*: \(conn\.cpp at 120\) open x)"
                        R"( OS error description: \[2\] \[[^\]]*[^ .\r\n]\.?\]\.)");
  EXPECT_TRUE(std::regex_match(errors[0], line)) << errors[0];
}

TEST(LogKinds, SetErrorMarksTheCodeAsApplicationDefined) {
  Exports k;
  k.seterror(5);
  EXPECT_EQ(GetLastError(), 5u | (1u << 29));
}

TEST(LogKinds, SocketErrorLineUsesTheSocketText) {
  TempFolder dir("socerror");
  Exports k;
  on_own_thread([&] {
    k.util_init(nullptr, dir.file("errors.log").c_str(), nullptr, nullptr);
    k.place("conn.cpp", 7);
    WSASetLastError(WSAECONNREFUSED);
    k.socerrori("connect");
  });
  const auto errors = read_lines(dir.file("errors.log"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].substr(0, 3), "S: ");
  EXPECT_NE(errors[0].find(": (conn.cpp at 7) connectOS error description: "), std::string::npos)
      << errors[0];
  EXPECT_EQ(errors[0].back(), '.');
}

}  // namespace
