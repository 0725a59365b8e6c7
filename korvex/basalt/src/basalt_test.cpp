// The basalt layer in a host program: threads with their names, marks, stop and error
// lines; the retrying opener; the file mapping; locks; settings files.
#include "basalt.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "korvex_host.h"
#include "kverror.h"
#include "pclib.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string unique(const char* what) {
  return std::string(what) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount());
}

// The lines of a log file that contain a text.
std::vector<std::string> lines_with(const std::string& path, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : korvex_host::read_lines(path)) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

// A thread whose single pass records what it sees, then asks to stop.
class Probe : public basalt::Thread {
 public:
  std::string seen_mark, seen_name;
  std::atomic<int> ends{0};

 protected:
  void pass() override {
    seen_mark = getsmark();
    seen_name = basalt::thread_name();
    request_stop();
  }
  void on_end() override { ++ends; }
};

// A thread whose pass throws whatever it is told to.
class Thrower : public basalt::Thread {
 public:
  explicit Thrower(int kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  std::atomic<int> ends{0};

 protected:
  void pass() override {
    if (kind_ == 0) {
      place("thrower.cpp", 12);
      kvraise("%s", text_.c_str());
    }
    if (kind_ == 1) throw std::runtime_error(text_);
    throw 7;
  }
  void on_end() override { ++ends; }

 private:
  int kind_;
  std::string text_;
};

// A thread that sleeps in long pauses until it is asked to stop.
class Sleeper : public basalt::Thread {
 public:
  std::atomic<int> passes{0};
  std::atomic<int> stop_hooks{0};

 protected:
  void pass() override {
    ++passes;
    pause(60000);
  }
  void on_stop() override { ++stop_hooks; }
};

TEST(BasaltThread, NamedThreadGetsMarkAndThreadLocalName) {
  Probe probe;
  ASSERT_TRUE(probe.start("TRAFFICMONITOR"));
  ASSERT_TRUE(probe.wait(10000));
  EXPECT_EQ(probe.seen_mark, "TRAFFIC");
  EXPECT_EQ(probe.seen_name, "TRAFFICMONITOR");
  EXPECT_EQ(probe.ends.load(), 1);
  EXPECT_STREQ(probe.name(), "TRAFFICMONITOR");
  EXPECT_STREQ(basalt::thread_name(), "MAIN");
  std::string other;
  korvex_host::on_own_thread([&] { other = basalt::thread_name(); });
  EXPECT_EQ(other, "MAIN");
}

TEST(BasaltThread, LongNameIsCutTo19Characters) {
  Probe probe;
  ASSERT_TRUE(probe.start("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  ASSERT_TRUE(probe.wait(10000));
  EXPECT_EQ(probe.seen_name, "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(probe.seen_mark, "ABCDEFG");
}

TEST(BasaltThread, RaisedErrorEndsTheThreadWithOneTaggedLine) {
  const std::string message = unique("x");
  Thrower thread(0, message);
  ASSERT_TRUE(thread.start("ERRTHREAD"));
  ASSERT_TRUE(thread.wait(10000));
  EXPECT_EQ(thread.ends.load(), 0);
  const auto lines = lines_with(korvex_host::host_folder() + "events.log", message);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("0: ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(":ERRTHRE): basalt::threadFunc:tag<ERRTHREAD>e.GetErrorDesc()<" +
                          message + ">"),
            std::string::npos)
      << lines[0];
}

TEST(BasaltThread, OtherExceptionsAreNamedToo) {
  const std::string what = unique("what");
  Thrower standard(1, what);
  ASSERT_TRUE(standard.start("STDTHREAD"));
  ASSERT_TRUE(standard.wait(10000));
  const std::string log = korvex_host::host_folder() + "events.log";
  EXPECT_EQ(lines_with(log, "basalt::threadFunc:tag<STDTHREAD>what()<" + what + ">").size(), 1u);

  const std::string name = "ANY" + std::to_string(GetCurrentProcessId() % 100000);
  Thrower other(2, "");
  ASSERT_TRUE(other.start(name.c_str()));
  ASSERT_TRUE(other.wait(10000));
  EXPECT_FALSE(lines_with(log, "basalt::threadFunc:tag<" + name + ">...").empty());
}

TEST(BasaltThread, StopRequestWakesASleepingPass) {
  Sleeper sleeper;
  ASSERT_TRUE(sleeper.start("SLEEPER"));
  while (sleeper.passes.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(sleeper.wait(50));
  const auto begin = Clock::now();
  sleeper.request_stop();
  ASSERT_TRUE(sleeper.wait(30000));
  EXPECT_LT(Clock::now() - begin, std::chrono::seconds(20));
  EXPECT_EQ(sleeper.passes.load(), 1);
  EXPECT_EQ(sleeper.stop_hooks.load(), 1);
  EXPECT_TRUE(sleeper.stop_requested());
}

TEST(BasaltThread, WaitingOnAThreadThatNeverStartedAnswersAtOnce) {
  Sleeper never;
  EXPECT_TRUE(never.wait(0));  // 0 would wait forever on a real thread
  EXPECT_FALSE(never.terminate());
}

TEST(BasaltThread, CanBeStartedAgainAfterItEnded) {
  Probe probe;
  ASSERT_TRUE(probe.start("FIRST"));
  ASSERT_TRUE(probe.wait(10000));
  ASSERT_TRUE(probe.start("SECOND"));
  ASSERT_TRUE(probe.wait(10000));
  EXPECT_EQ(probe.seen_name, "SECOND");
  EXPECT_EQ(probe.ends.load(), 2);
}

TEST(BasaltThread, SecondStartWhileRunningIsRefused) {
  Sleeper sleeper;
  ASSERT_TRUE(sleeper.start("BUSY"));
  EXPECT_FALSE(sleeper.start("AGAIN"));
  sleeper.request_stop();
  EXPECT_TRUE(sleeper.wait(30000));
  EXPECT_STREQ(sleeper.name(), "BUSY");
}

// A thread whose pass writes through a null pointer.
class Faulter : public basalt::Thread {
 public:
  std::atomic<int> ends{0};

 protected:
  void pass() override {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  void on_end() override { ++ends; }
};

// The translator that the default start hook installs makes an access violation in the
// thread's own code an error that ends the thread with its line; the process goes on.
// Here the basalt sources are built into the test program; MonitorFault.* shows the same
// on Korvex.dll's own TIMN thread.
TEST(BasaltThread, AccessViolationEndsTheThreadWithItsLine) {
  const std::string name = "AV" + std::to_string(GetCurrentProcessId() % 100000) +
                           std::to_string(GetTickCount() % 100000);
  Faulter thread;
  ASSERT_TRUE(thread.start(name.c_str()));
  ASSERT_TRUE(thread.wait(30000));
  EXPECT_EQ(thread.ends.load(), 0);
  DWORD code = 1;
  GetExitCodeThread(thread.handle(), &code);
  EXPECT_EQ(code, 0u);
  const auto lines = lines_with(korvex_host::host_folder() + "events.log",
                                "basalt::threadFunc:tag<" + name + ">e.GetErrorDesc()<");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(">e.GetErrorDesc()<Exception 0xC0000005 occured at address 0x"),
            std::string::npos)
      << lines[0];
}

// terminate() goes through KTerminateThread: the stack is logged in the caller's log.
TEST(BasaltThread, TerminateLogsTheThreadsStack) {
  korvex_host::TempFolder dir("basalt_terminate");
  Sleeper sleeper;
  ASSERT_TRUE(sleeper.start("SLEEPY"));
  // Ended while it still starts, the thread may keep the loader lock (its attach
  // notifications) or the heap's lock for good, and the terminating thread could then
  // never end: this test is about a thread that waits in its loop.
  for (int waited = 0; sleeper.passes.load() == 0 && waited < 10000; ++waited) Sleep(1);
  ASSERT_GT(sleeper.passes.load(), 0);
  bool terminated = false;
  korvex_host::on_own_thread([&] {
    util_init(dir.file("events.log").c_str(), nullptr, nullptr, nullptr);
    terminated = sleeper.terminate();
  });
  EXPECT_TRUE(terminated);
  EXPECT_TRUE(sleeper.wait(10000));
  const std::string id = std::to_string(GetThreadId(sleeper.handle()));
  EXPECT_EQ(lines_with(dir.file("events.log"),
                       "KTerminateThread. Terminating thread " + id + ". Thread's stack:")
                .size(),
            1u);
  EXPECT_FALSE(lines_with(dir.file("events.log"), "Call stack (begin)").empty());
}

TEST(RetryingFileOpener, MissingFileIsTriedEachTimeWithAPause) {
  korvex_host::TempFolder dir("retry");
  const std::string errors = dir.file("errors.log");
  const std::string missing = dir.file("missing.dat");
  bool opened = true;
  bool handle_closed = false;
  Clock::duration took{};
  korvex_host::on_own_thread([&] {
    util_init(dir.file("events.log").c_str(), errors.c_str(), "RETRY", nullptr);
    basalt::RetryingFileOpener opener(missing, 3, 100);
    const auto begin = Clock::now();
    opened = opener.open();
    took = Clock::now() - begin;
    handle_closed = !opener.is_open();
  });
  EXPECT_FALSE(opened);
  EXPECT_TRUE(handle_closed);
  EXPECT_GE(took, std::chrono::milliseconds(280));
  const auto attempts = lines_with(errors, "Can't read file <name=" + missing + "><attempt=");
  ASSERT_EQ(attempts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(attempts[i].rfind("O: ", 0), 0u) << attempts[i];
    EXPECT_NE(attempts[i].find("<attempt=" + std::to_string(i + 1) + "> OS error description: [2]"),
              std::string::npos)
        << attempts[i];
  }
  EXPECT_EQ(lines_with(errors, "Can't read file <name=" + missing + "> OS error").size(), 1u);
}

TEST(RetryingFileOpener, ExistingFileOpensAtOnce) {
  korvex_host::TempFolder dir("retryok");
  const std::string path = dir.file("present.dat");
  korvex_host::write_file(path, "abc");
  basalt::RetryingFileOpener opener(path, 3, 1000);
  const auto begin = Clock::now();
  ASSERT_TRUE(opener.open());
  EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(900));
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(opener.handle(), buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "abc");
  opener.close();
  opener.close();
  EXPECT_FALSE(opener.is_open());
}

TEST(FileMapSimple, ExtendingZeroesTheViewAndTheSameSizeKeepsIt) {
  korvex_host::TempFolder dir("map");
  const std::string path = dir.file("map.dat");
  korvex_host::write_file(path, "0123456789");
  {
    basalt::FileMapSimple map;
    auto* view = static_cast<char*>(map.map(path.c_str(), 100));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(map.size(), 100u);
    EXPECT_EQ(std::string(view, 100), std::string(100, '\0'));
    std::memcpy(view, "kept", 4);
  }
  EXPECT_EQ(korvex_host::read_file(path).size(), 100u);
  basalt::FileMapSimple again;
  auto* view = static_cast<char*>(again.map(path.c_str(), 100));
  EXPECT_EQ(std::string(view, 4), "kept");
  again.unmap();
  again.unmap();
  EXPECT_EQ(again.data(), nullptr);
}

TEST(FileMapSimple, FailuresNameTheStepTheFileAndTheSize) {
  korvex_host::TempFolder dir("mapfail");
  const std::string unreachable = dir.file("no folder\\map.dat");
  basalt::FileMapSimple map;
  try {
    map.map(unreachable.c_str(), 100);
    FAIL() << "mapped a file in a missing folder";
  } catch (const CError& e) {
    EXPECT_EQ(e.GetErrorCode(), 0);
    EXPECT_EQ(std::string(e.GetErrorDesc()),
              "basalt::FileMapSimple::map CreateFile:file<" + unreachable + ">");
    EXPECT_STREQ(e.GetFile(), "basalt");
    EXPECT_GT(e.GetLine(), 0);
  }
  const std::string empty = dir.file("empty.dat");
  try {
    map.map(empty.c_str(), 0);
    FAIL() << "mapped zero bytes";
  } catch (const CError& e) {
    EXPECT_EQ(std::string(e.GetErrorDesc()),
              "basalt::FileMapSimple::map CreateFileMapping:file<" + empty + ">size<0>");
  }
  EXPECT_EQ(map.data(), nullptr);
  EXPECT_FALSE(korvex_host::held_open(empty));
}

TEST(BasaltLocks, ReleasingAMutexNotHeldRaisesWithTheSystemError) {
  basalt::Mutex mutex;
  try {
    mutex.leave();
    FAIL() << "released a mutex not held";
  } catch (const CError& e) {
    EXPECT_EQ(std::string(e.GetErrorDesc()), "basalt::Mutex::leave:GetLastError()<288>");
    EXPECT_STREQ(e.GetFile(), "basalt");
  }
}

TEST(BasaltLocks, MutexAndCriticalSectionExcludeEachOther) {
  basalt::Mutex mutex;
  basalt::CriticalSection section;
  for (basalt::Lockable* lock :
       {static_cast<basalt::Lockable*>(&mutex), static_cast<basalt::Lockable*>(&section)}) {
    int counter = 0;
    auto work = [&] {
      for (int i = 0; i < 2000; ++i) {
        basalt::Guard guard(*lock);
        const int seen = counter;
        if (i % 100 == 0) std::this_thread::yield();
        counter = seen + 1;
      }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4000);
  }
}

TEST(BasaltLocks, SemaphoreIsAnAutoResetEvent) {
  basalt::Semaphore event;
  EXPECT_FALSE(event.wait(10));
  event.set();
  EXPECT_TRUE(event.wait(10));
  EXPECT_FALSE(event.wait(10));
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
  });
  EXPECT_TRUE(event.wait(0));
  setter.join();
}

TEST(BasaltSettings, FileLiesBesideTheHostProgramUnlessAPathIsGiven) {
  EXPECT_EQ(basalt::settings_path(), korvex_host::host_folder() + "varnek.ini");
  EXPECT_EQ(basalt::settings_path("C:\\etc\\v.ini"), "C:\\etc\\v.ini");
  EXPECT_EQ(basalt::settings_path("etc/v.ini"), "etc/v.ini");
}

TEST(BasaltSettings, ValuesAreWrittenAndReadBack) {
  const std::string file = "basalt_test_" + std::to_string(GetCurrentProcessId()) + ".ini";
  const std::string long_value(300, 'v');
  ASSERT_TRUE(basalt::settings_write("s", "text", long_value.c_str(), file.c_str()));
  ASSERT_TRUE(basalt::settings_write("s", "ten", "0123456789", file.c_str()));
  ASSERT_TRUE(basalt::settings_write("s", "number", "42", file.c_str()));
  EXPECT_EQ(basalt::settings_text("s", "text", "", file.c_str()), long_value);
  EXPECT_EQ(basalt::settings_text("s", "ten", "", file.c_str()), "0123456789");
  EXPECT_EQ(basalt::settings_text("s", "missing", "dflt", file.c_str()), "dflt");
  EXPECT_EQ(basalt::settings_int("s", "number", 5, file.c_str()), 42);
  EXPECT_EQ(basalt::settings_int("s", "missing", 5, file.c_str()), 5);
  EXPECT_TRUE(korvex_host::file_exists(korvex_host::host_folder() + file));
  DeleteFileA((korvex_host::host_folder() + file).c_str());
}

}  // namespace
