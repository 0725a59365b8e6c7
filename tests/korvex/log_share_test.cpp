// Korvex host tests: threads sharing log files, concurrent writers, attach failures
// and the resolution of log names.
#include <cstdint>
#include <memory>
#include <regex>
#include <set>

#include "korvex_host.h"

namespace {

using korvex_host::held_open;
using korvex_host::host_folder;
using korvex_host::on_own_thread;
using korvex_host::proc;
using korvex_host::read_file;
using korvex_host::read_lines;
using korvex_host::TempFolder;

struct Exports {
  decltype(&::util_init) util_init = proc<decltype(&::util_init)>("util_init");
  decltype(&::netutil_init) netutil_init = proc<decltype(&::netutil_init)>("netutil_init");
  decltype(&::event) event = proc<decltype(&::event)>("event");
  decltype(&::error) error = proc<decltype(&::error)>("error");
  decltype(&::netevent) netevent = proc<decltype(&::netevent)>("netevent");
};

// A manual-reset signal between test threads.
class Signal {
 public:
  Signal() : h_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Signal() { CloseHandle(h_); }
  void set() { SetEvent(h_); }
  bool wait() { return WaitForSingleObject(h_, 10000) == WAIT_OBJECT_0; }

 private:
  HANDLE h_;
};

TEST(LogShare, EquivalentNamesShareOneFileClosedWhenBothThreadsEnd) {
  TempFolder dir("share");
  Exports k;
  Signal attached_a, attached_b, end_a, end_b;
  std::thread a([&] {
    k.util_init((".\\" + dir.relative() + "\\a.log").c_str(), nullptr, nullptr, nullptr);
    k.event("from a");
    attached_a.set();
    end_a.wait();
  });
  ASSERT_TRUE(attached_a.wait());
  std::thread b([&] {
    k.util_init((dir.relative() + "\\A.LOG").c_str(), nullptr, nullptr, nullptr);
    k.event("from b");
    attached_b.set();
    end_b.wait();
  });
  ASSERT_TRUE(attached_b.wait());
  const std::string path = dir.file("a.log");
  EXPECT_TRUE(held_open(path));
  end_a.set();
  a.join();
  EXPECT_TRUE(held_open(path)) << "closed while the second thread still uses it";
  end_b.set();
  b.join();
  EXPECT_FALSE(held_open(path)) << "still open after both threads ended";
  const auto lines = read_lines(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("from a"), std::string::npos);
  EXPECT_NE(lines[1].find("from b"), std::string::npos);
  EXPECT_FALSE(korvex_host::file_exists(dir.file("A.LOG.1")));
}

TEST(LogShare, ThreadThatChangesItsLogLeavesTheOldFile) {
  TempFolder dir("change");
  Exports k;
  Signal changed, done;
  std::thread t([&] {
    k.util_init(dir.file("old.log").c_str(), nullptr, nullptr, nullptr);
    k.event("one");
    k.util_init(dir.file("new.log").c_str(), nullptr, nullptr, nullptr);
    k.event("two");
    changed.set();
    done.wait();
  });
  ASSERT_TRUE(changed.wait());
  EXPECT_FALSE(held_open(dir.file("old.log")));
  EXPECT_TRUE(held_open(dir.file("new.log")));
  done.set();
  t.join();
  EXPECT_EQ(read_lines(dir.file("old.log")).size(), 1u);
  EXPECT_EQ(read_lines(dir.file("new.log")).size(), 1u);
}

// Eight threads write lines of different lengths into one file: every line arrives
// whole, none is lost, and each thread's lines keep their order.
TEST(LogShare, ConcurrentWritersNeverInterleaveOrLoseALine) {
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  TempFolder dir("writers");
  Exports k;
  const std::string path = dir.file("shared.log");
  std::vector<std::thread> writers;
  for (int w = 0; w < kThreads; ++w) {
    writers.emplace_back([&, w] {
      k.util_init(path.c_str(), path.c_str(), nullptr, nullptr);
      for (int i = 0; i < kLines; ++i) {
        const std::string pad((w * 37 + i * 11) % 400, static_cast<char>('a' + w));
        k.event("writer %d line %d %s end", w, i, pad.c_str());
      }
    });
  }
  for (auto& t : writers) t.join();
  const auto lines = read_lines(path);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  const std::regex shape(R"(V: .*\): writer (\d) line (\d+) ([a-h]*) end)");
  std::vector<int> next(kThreads, 0);
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const int w = std::stoi(m[1]);
    const int i = std::stoi(m[2]);
    EXPECT_EQ(i, next[w]) << "writer " << w << " out of order";
    next[w] = i + 1;
    EXPECT_EQ(m[3].str(), std::string((w * 37 + i * 11) % 400, static_cast<char>('a' + w)));
  }
}

TEST(LogShare, EventsAndErrorsTablesAppendToTheSameFile) {
  TempFolder dir("both_tables");
  Exports k;
  const std::string path = dir.file("all.log");
  on_own_thread([&] {
    k.util_init(path.c_str(), path.c_str(), nullptr, nullptr);
    k.event("first");
    k.error("boom");
    k.event("last");
  });
  const auto lines = read_lines(path);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find("first"), std::string::npos);
  EXPECT_EQ(lines[1], lines[2]);  // written once per table, neither overwrote the other
  EXPECT_NE(lines[1].find("Error: boom"), std::string::npos);
  EXPECT_NE(lines[3].find("last"), std::string::npos);
}

TEST(LogAttach, LockedFileRaisesSharingViolationAndLeavesNoLockBehind) {
  TempFolder dir("locked");
  Exports k;
  const std::string locked = dir.file("locked.log");
  HANDLE h = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  on_own_thread([&] {
    try {
      k.util_init(locked.c_str(), nullptr, nullptr, nullptr);
      ADD_FAILURE() << "util_init returned";
    } catch (const char* text) {
      EXPECT_STREQ(text, "Can't open file: SHARING_VIOLATION!");
    }
  });
  CloseHandle(h);
  // Another thread can still attach (the table mutex was released), and the failed
  // slot was not left behind under the locked name.
  on_own_thread([&] {
    k.util_init(dir.file("other.log").c_str(), nullptr, nullptr, nullptr);
    k.event("after");
    k.util_init(locked.c_str(), nullptr, nullptr, nullptr);
    k.event("now it opens");
  });
  EXPECT_EQ(read_lines(dir.file("other.log")).size(), 1u);
  EXPECT_EQ(read_lines(locked).size(), 1u);
}

TEST(LogAttach, OtherOpenFailuresRaiseTheOsErrorCode) {
  TempFolder dir("oserr");
  Exports k;
  korvex_host::write_file(dir.file("plain"), "a file, not a folder");
  on_own_thread([&] {
    try {
      k.util_init(dir.file("plain\\x.log").c_str(), nullptr, nullptr, nullptr);
      ADD_FAILURE() << "util_init returned";
    } catch (std::uint32_t code) {
      EXPECT_EQ(code, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
    }
  });
}

TEST(LogAttach, MissingFoldersAreCreated) {
  TempFolder dir("folders");
  Exports k;
  on_own_thread([&] {
    k.util_init(dir.file("one\\two\\three\\e.log").c_str(), nullptr, nullptr, nullptr);
    k.event("deep");
  });
  EXPECT_EQ(read_lines(dir.file("one\\two\\three\\e.log")).size(), 1u);
}

// Each table has 39 named slots. A thread that finds them all taken is left without a
// log of that kind (a warning goes to the console) instead of failing.
TEST(LogAttach, FortiethNamedFileLeavesTheThreadWithoutThatLog) {
  constexpr int kNamedSlots = 39;
  TempFolder dir("full");
  Exports k;
  Signal release_all;
  std::vector<std::unique_ptr<Signal>> attached;
  std::vector<std::thread> holders;
  for (int i = 0; i < kNamedSlots; ++i) {
    attached.push_back(std::make_unique<Signal>());
    holders.emplace_back([&, i] {
      k.util_init(dir.file("held" + std::to_string(i) + ".log").c_str(), nullptr, nullptr, nullptr);
      attached[i]->set();
      release_all.wait();
    });
  }
  for (auto& a : attached) ASSERT_TRUE(a->wait());
  const std::string overflow = dir.file("overflow.log");
  on_own_thread([&] {
    EXPECT_NO_THROW(k.util_init(overflow.c_str(), nullptr, nullptr, nullptr));
    k.event("goes to the console only");
  });
  EXPECT_FALSE(korvex_host::file_exists(overflow));
  release_all.set();
  for (auto& t : holders) t.join();
  on_own_thread([&] {
    k.util_init(overflow.c_str(), nullptr, nullptr, nullptr);
    k.event("now there is room");
  });
  EXPECT_EQ(read_lines(overflow).size(), 1u);
}

TEST(LogPaths, DotsClimbFromTheHostFolderAndPlainNamesStayInIt) {
  Exports k;
  const std::string host = host_folder();  // ...\tests\korvex\ .
  const std::string parent = host.substr(0, host.find_last_of('\\', host.size() - 2) + 1);
  const std::string name = "kvtest_" + std::to_string(GetCurrentProcessId()) + "_up.log";
  const std::string hidden = ".kvtest_" + std::to_string(GetCurrentProcessId()) + ".log";
  on_own_thread([&] {
    k.util_init(("..\\" + name).c_str(), nullptr, nullptr, nullptr);
    k.event("up");
    k.util_init(hidden.c_str(), nullptr, nullptr, nullptr);
    k.event("hidden");
  });
  EXPECT_EQ(read_lines(parent + name).size(), 1u);
  EXPECT_EQ(read_lines(host + hidden).size(), 1u);
  DeleteFileA((parent + name).c_str());
  DeleteFileA((host + hidden).c_str());
}

TEST(LogPaths, DotsNeverClimbAboveTheRoot) {
  Exports k;
  const std::string host = host_folder();
  const std::string root = host.substr(0, 3);  // "Z:\"
  const std::string dots(60, '.');
  const std::string folder = "kvtest_root_" + std::to_string(GetCurrentProcessId());
  on_own_thread([&] {
    k.util_init((dots + "\\tmp\\" + folder + "\\r.log").c_str(), nullptr, nullptr, nullptr);
    k.event("at the root");
  });
  EXPECT_EQ(read_lines(root + "tmp\\" + folder + "\\r.log").size(), 1u);
  korvex_host::remove_tree(root + "tmp\\" + folder);
}

TEST(LogNet, NeteventWritesTextAloneToTheNetEventsLog) {
  Exports k;
  const std::string path = host_folder() + "STATS\\netevent.log";
  DeleteFileA(path.c_str());
  TempFolder dir("net");
  on_own_thread([&] {
    k.util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    k.netutil_init();
    k.netevent("abc");
    k.netevent("def\n");
    k.event("an event");
  });
  EXPECT_EQ(read_file(path), "abcdef\r\n");
  const auto events = read_lines(dir.file("events.log"));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].find("an event"), std::string::npos);
  DeleteFileA(path.c_str());
}

TEST(LogShowMessage, WritesTheTextUnchangedToEventsLogWithMarkExt) {
  auto show_message = proc<int(__stdcall*)(const char*)>("_show_message@4");
  auto getsmark = proc<decltype(&::getsmark)>("getsmark");
  const std::string text = "show %d %s " + std::to_string(GetCurrentProcessId());
  DWORD tid = 0;
  on_own_thread([&] {
    tid = GetCurrentThreadId();
    EXPECT_GT(show_message(text.c_str()), 0);
    EXPECT_STREQ(getsmark(), "EXT");
  });
  const std::string wanted =
      "(" + std::to_string(GetCurrentProcessId()) + ":" + std::to_string(tid) + ":EXT): " + text;
  bool found = false;
  for (const auto& line : read_lines(host_folder() + "events.log")) {
    if (line.size() >= wanted.size() && line.substr(line.size() - wanted.size()) == wanted) {
      found = line.substr(0, 3) == "V: ";
    }
  }
  EXPECT_TRUE(found) << "no line ending with " << wanted;
}

}  // namespace
