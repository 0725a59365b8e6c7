// The memory trace as a host sees it through "events.log": per-site totals of live
// blocks at each "MEMM" pass, switching tracing off and on from "varnek.ini", and the
// bound on the trace's own table.
//
// Every change of tracing state lives in one test: the settings file is shared by the
// test programs of this folder. Each step writes a fresh "mem_limit" after acting and
// waits for the report that shows it, so the report's pass began after the step.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "korvex_host.h"
#include "kvmemory.h"
#include "stats_host.h"

namespace {

using korvex_host::proc;
using stats_host::any_ends_with;
using stats_host::contains;
using stats_host::count_starting;
using stats_host::field;

constexpr char kMark[] = "MEMM";
constexpr char kReport[] = "Memory report:";
constexpr char kSection[] = "mem_trace";
// Limits far above the table's space, one per step.
constexpr long long kStepLimit = 900000000;

class MemoryTrace : public ::testing::Test {
 protected:
  void TearDown() override { settings_.set(kSection, "enable", "0"); }

  // Writes a fresh limit (above any table) and answers the report's pass that read it.
  std::vector<std::string> next_pass(long long limit = 0) {
    if (limit == 0) limit = kStepLimit + ++step_;
    settings_.set(kSection, "mem_limit", std::to_string(limit));
    std::size_t index = 0;
    texts_ = stats_host::wait_for_field(kMark, kReport, "memLimit", limit, settings_, index,
                                        next_report_);
    next_report_ = index + 1;
    report_ = stats_host::nth_starting(texts_, kReport, index);
    return stats_host::pass_after(texts_, kReport, index);
  }

  stats_host::Settings settings_;
  std::vector<std::string> texts_;
  std::string report_;
  int step_ = 0;
  std::size_t next_report_ = 0;  // each step's report comes after the one before

  decltype(&::_NewMemory) new_memory_ = proc<decltype(&::_NewMemory)>("_NewMemory");
  decltype(&::_DeleteMemory) delete_memory_ = proc<decltype(&::_DeleteMemory)>("_DeleteMemory");
  decltype(&::memTraceMalloc) malloc_ = proc<decltype(&::memTraceMalloc)>("memTraceMalloc");
  decltype(&::memTraceRealloc) realloc_ = proc<decltype(&::memTraceRealloc)>("memTraceRealloc");
  decltype(&::memTraceFree) free_ = proc<decltype(&::memTraceFree)>("memTraceFree");
};

TEST_F(MemoryTrace, ReportsLiveBlocksPerSiteAndFollowsTheSettings) {
  settings_.set(kSection, "enable", "1");
  settings_.set(kSection, "period", "1");
  // The first traced operation starts the monitor.
  free_(malloc_(1, "start.cpp", 1), "start.cpp", 2);
  next_pass();
  EXPECT_GT(field(report_, "space"), 0) << report_;

  // Two blocks at one site, one at another; a block whose site name is overwritten
  // after the call; a block that grows (and most likely moves).
  void* first = new_memory_(100, "C:\\src\\feed\\site.cpp", 321, false);
  void* second = new_memory_(100, "C:\\src\\feed\\site.cpp", 321, true);
  void* other = malloc_(50, "/home/build/other.cpp", 9);
  char name[] = "D:\\tmp\\gone.cpp";
  void* named = malloc_(7, name, 70);
  name[7] = 'X';
  void* grown = malloc_(16, "r.cpp", 5);
  grown = realloc_(grown, 100000, "r.cpp", 6);
  ASSERT_NE(grown, nullptr);

  // Eight threads at once, each at its own site: 50 blocks, 20 of them freed.
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this, t] {
      std::vector<void*> blocks;
      for (int i = 0; i < 50; ++i) blocks.push_back(new_memory_(10, "thread.cpp", 1000 + t, false));
      for (int i = 0; i < 20; ++i) delete_memory_(&blocks[i]);
    });
  }
  for (auto& t : threads) t.join();

  std::vector<std::string> pass = next_pass();
  ASSERT_FALSE(pass.empty());
  EXPECT_EQ(pass[0], "100000 1 r.cpp:6");
  EXPECT_TRUE(contains(pass, "200 2 site.cpp:321"));
  EXPECT_TRUE(contains(pass, "50 1 other.cpp:9"));
  EXPECT_TRUE(contains(pass, "7 1 gone.cpp:70"));
  EXPECT_FALSE(any_ends_with(pass, " r.cpp:5"));
  for (int t = 0; t < 8; ++t) {
    EXPECT_TRUE(contains(pass, "300 30 thread.cpp:" + std::to_string(1000 + t))) << t;
  }

  delete_memory_(&first);
  pass = next_pass();
  EXPECT_TRUE(contains(pass, "100 1 site.cpp:321"));

  settings_.set(kSection, "enable", "0");
  next_pass();
  EXPECT_EQ(field(report_, "space"), 0) << report_;
  EXPECT_EQ(count_starting(texts_, "Memory tracing disabled"), 1u);

  // Switched on again, the emptied tables hold none of the blocks still alive; a limit
  // below the table's own space drops its entries, and tracing goes on.
  settings_.set(kSection, "enable", "1");
  pass = next_pass(1000);
  EXPECT_FALSE(any_ends_with(pass, " site.cpp:321"));
  const std::string exceeded = stats_host::nth_starting(texts_, "Trace mem limit exceeded:", 0);
  ASSERT_FALSE(exceeded.empty());
  // Nothing was traced since tracing came back on: the table's space is its bucket
  // array alone, 16 bytes for each of its 5,000,011 buckets.
  EXPECT_EQ(field(exceeded, "space"), 16LL * 5000011) << exceeded;
  EXPECT_EQ(field(exceeded, "memLimit"), 1000) << exceeded;
  EXPECT_EQ(field(report_, "space"), field(exceeded, "space")) << report_;
  EXPECT_EQ(count_starting(texts_, "Memory tracing disabled"), 1u);

  delete_memory_(&second);
  free_(other, "other.cpp", 10);
  free_(named, "gone.cpp", 71);
  free_(grown, "r.cpp", 7);

  // Tracing went on from the emptied table; the operation counters lose no call of
  // eight threads at once.
  void* late = new_memory_(33, "late.cpp", 4, false);
  const long long mallocs = field(report_, "memOpCountMalloc");
  const long long frees = field(report_, "memOpCountFree");
  const long long reallocs = field(report_, "memOpCountRealloc");
  threads.clear();
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 500; ++i) {
        void* p = malloc_(8, "count.cpp", 1);
        p = realloc_(p, 16, "count.cpp", 2);
        free_(p, "count.cpp", 3);
      }
    });
  }
  for (auto& t : threads) t.join();
  pass = next_pass();
  EXPECT_EQ(pass, std::vector<std::string>{"33 1 late.cpp:4"});
  EXPECT_EQ(field(report_, "memOpCountMalloc") - mallocs, 8 * 500 + 1) << report_;
  EXPECT_EQ(field(report_, "memOpCountFree") - frees, 8 * 500 + 4) << report_;
  EXPECT_EQ(field(report_, "memOpCountRealloc") - reallocs, 8 * 500) << report_;
  // Since the limit emptied the table, at least one block and at most one per thread
  // and call were live at once: 12 bytes per entry slot above the bucket array.
  const long long slot_bytes = field(report_, "space") - 16LL * 5000011;
  EXPECT_EQ(slot_bytes % 12, 0) << report_;
  EXPECT_GE(slot_bytes, 12) << report_;
  EXPECT_LE(slot_bytes, 12 * (1 + 8 * 2)) << report_;
  delete_memory_(&late);
}

}  // namespace
