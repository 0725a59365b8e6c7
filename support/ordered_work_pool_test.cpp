#include "support/ordered_work_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/log.h"
#include "support/support_constants.h"
#include "support/test_temp_dir.h"

namespace {

// The process's logs opened on files of a fresh folder; the messages of each line.
class PoolLogs : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    ASSERT_FALSE(InitLogs(dir_ / "main.log", dir_ / "errors.log", "GLOBAL"));
    testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    MainLog().Close();
    ErrorsLog().Close();
  }
  // The messages of the file's lines that follow "Init log", without the line heads.
  std::vector<std::string> Messages(const char* file) const {
    std::vector<std::string> messages;
    std::istringstream in(support::ReadTextFile(dir_ / file));
    for (std::string line; std::getline(in, line);) {
      const std::size_t at = line.find("): ");
      if (at == std::string::npos || line.find("Init log") != std::string::npos) continue;
      messages.push_back(line.substr(at + 3));
    }
    return messages;
  }

  support::TestTempDir dir_;
};

TEST_F(PoolLogs, LinesAndCommitsKeepTheHandingInOrderWhateverOrderThePiecesEndIn) {
  std::vector<int> commits;
  std::promise<void> thirdEnded;
  std::shared_future<void> third = thirdEnded.get_future().share();
  {
    OrderedWorkPool pool(3);
    LogAlways("before");
    pool.Submit(
        "A",
        [third] {
          third.wait();  // the first piece ends only after the third
          LogAt(0, "first");
          LogError("first failed");
        },
        [&] { commits.push_back(1); });
    LogAlways("between");
    pool.Submit(
        "B", [] { LogAlways("second"); }, [&] { commits.push_back(2); });
    pool.Submit(
        "C",
        [&thirdEnded] {
          LogAlways("third");
          thirdEnded.set_value();
        },
        [&] { commits.push_back(3); });
    LogAlways("after");
    pool.Finish();
    LogAlways("finished");
  }
  EXPECT_EQ(Messages("main.log"),
            (std::vector<std::string>{"before", "first", "first failed", "between", "second",
                                      "third", "after", "finished"}));
  EXPECT_EQ(Messages("errors.log"), std::vector<std::string>{"first failed"});
  EXPECT_EQ(commits, (std::vector<int>{1, 2, 3}));
}

TEST_F(PoolLogs, APieceWaitsUntilTheEarlierPieceOfItsKeyIsWritten) {
  std::atomic<int> committed{0};
  std::vector<int> seenByLater;
  OrderedWorkPool pool(4);
  for (int i = 0; i < 6; ++i) {
    pool.Submit(
        "same",
        [&, i] {
          if (i > 0) seenByLater.push_back(committed.load());
        },
        [&] { ++committed; });
  }
  pool.Finish();
  EXPECT_EQ(committed.load(), 6);
  EXPECT_EQ(seenByLater, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(PoolLogs, AnExceptionReachesFinishAfterTheLinesBeforeIt) {
  OrderedWorkPool pool(2);
  int commits = 0;
  pool.Submit(
      "A", [] { LogAlways("done"); }, [&] { ++commits; });
  pool.Submit(
      "B",
      [] {
        LogAlways("failing");
        throw std::runtime_error("listing failed");
      },
      [&] { ++commits; });
  EXPECT_THROW(
      {
        for (int i = 0; i < 20; ++i)
          pool.Submit(
              "C" + std::to_string(i), [] {}, [&] { ++commits; });
        pool.Finish();
      },
      std::runtime_error);
  const std::vector<std::string> lines = Messages("main.log");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "done");
  EXPECT_EQ(lines[1], "failing");
  EXPECT_GE(commits, 1);
  EXPECT_LT(commits, 22);  // the failing piece is not committed
}

TEST_F(PoolLogs, StopFromACommitEndsTheHandingIn) {
  for (int threads : {1, 2}) {
    OrderedWorkPool pool(threads);
    int done = 0;
    pool.Submit(
        "A", [] {}, [&] { pool.Stop(); });
    pool.Finish();
    pool.Submit(
        "B", [&] { ++done; }, [] {});
    EXPECT_TRUE(pool.Stopped()) << threads;
    EXPECT_EQ(done, 0) << threads;
  }
}

TEST_F(PoolLogs, OneThreadDoesEachPieceAtOnceOnTheCallingThread) {
  OrderedWorkPool pool(1);
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id ranOn;
  bool committed = false;
  pool.Submit(
      "A",
      [&] {
        ranOn = std::this_thread::get_id();
        LogAlways("at once");
      },
      [&] { committed = true; });
  EXPECT_EQ(ranOn, caller);
  EXPECT_TRUE(committed);
  EXPECT_EQ(Messages("main.log"), std::vector<std::string>{"at once"});
  pool.Finish();
}

}  // namespace

namespace {

TEST_F(PoolLogs, AbandonKeepsNothingHandedInAfterThePieceThatEndsTheRun) {
  for (int threads : {1, 3}) {
    std::vector<std::string> events;
    std::atomic<int> discarded{0};
    {
      OrderedWorkPool pool(threads);
      pool.Submit(
          "A", [] { LogAlways("a"); }, [&] { events.push_back("commit a"); });
      pool.Submit(
          "B", [] { LogAlways("b fails"); },
          [&] {
            LogError("b ends the run");
            events.push_back("commit b");
            pool.Abandon();
          });
      for (int i = 0; i < 5 && !pool.Stopped(); ++i) {
        LogAlways("handing in c%d", i);
        pool.Submit(
            "C" + std::to_string(i), [i] { LogAlways("c%d", i); },
            [&] { events.push_back("commit c"); }, [&] { ++discarded; });
      }
      pool.Finish();
    }
    EXPECT_EQ(events, (std::vector<std::string>{"commit a", "commit b"})) << threads;
    const std::vector<std::string> lines = Messages("main.log");
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b fails", "b ends the run"})) << threads;
    EXPECT_LE(discarded.load(), 5);
    MainLog().Close();
    ErrorsLog().Close();
    std::filesystem::remove(dir_ / "main.log");
    std::filesystem::remove(dir_ / "errors.log");
    SetUp();
  }
}

}  // namespace
