// Traffic counters as a host sees them in the "TRAF" reports of "events.log", switched
// by section "traffic_trace" of "varnek.ini" (one test: the file is shared by the test
// programs of this folder).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "korvex_host.h"
#include "kvmemory.h"
#include "kvstats.h"
#include "stats_host.h"

namespace {

using korvex_host::proc;
using stats_host::count_starting;
using stats_host::field;
using stats_host::starts_with;

constexpr char kMark[] = "TRAF";
constexpr char kReport[] = "Traffic report:";
constexpr char kSection[] = "traffic_trace";

// Sum of the bytes of every "<direction> <code> <bytes>" line.
long long bytes_of(const std::vector<std::string>& texts, const std::string& head) {
  long long sum = 0;
  for (const auto& t : texts) {
    if (starts_with(t, head)) sum += std::stoll(t.substr(head.size()));
  }
  return sum;
}

class Traffic : public ::testing::Test {
 protected:
  void TearDown() override { settings_.set(kSection, "enable", "0"); }

  // Waits for the next report and answers its pass (the report line first).
  std::vector<std::string> next_report() {
    const std::size_t seen = count_starting(stats_host::monitor_texts(kMark), kReport);
    texts_ = stats_host::wait_for(kMark, kReport, seen, 1, settings_);
    reports_ = seen + 1;
    std::vector<std::string> pass = stats_host::pass_after(texts_, kReport, seen);
    pass.insert(pass.begin(), stats_host::nth_starting(texts_, kReport, seen));
    return pass;
  }

  stats_host::Settings settings_;
  std::vector<std::string> texts_;
  std::size_t reports_ = 0;
  decltype(&::TrafficTrace) trace_ = proc<decltype(&::TrafficTrace)>("TrafficTrace");
};

TEST_F(Traffic, ReportsTotalsPerCodeEachPeriodAndLosesNoCount) {
  settings_.set(kSection, "enable", "1");
  settings_.set(kSection, "period", "1");
  trace_(1, 0, true);  // starts the monitor; its first pass has just ended when it reports
  next_report();

  trace_(5, 10, true);
  trace_(5, 20, true);
  trace_(5, 30, true);
  trace_(7, 5, false);
  trace_(8, -4, false);
  std::vector<std::string> pass = next_report();
  EXPECT_EQ(pass, (std::vector<std::string>{"Traffic report:incoming<60>outgoing<5>", "I 5 60",
                                            "O 7 5"}));

  // Eight threads counting and allocating at once.
  auto new_memory = proc<decltype(&::_NewMemory)>("_NewMemory");
  auto delete_memory = proc<decltype(&::_DeleteMemory)>("_DeleteMemory");
  const std::size_t first_pass = reports_;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        trace_(9, 1, true);
        void* p = new_memory(24, "traffic.cpp", 1, false);
        trace_(10, 2, false);
        delete_memory(&p);
      }
    });
  }
  for (auto& t : threads) t.join();
  next_report();
  next_report();
  std::vector<std::string> since;
  for (std::size_t r = first_pass; r < reports_; ++r) {
    pass = stats_host::pass_after(texts_, kReport, r);
    if (r == first_pass) {
      EXPECT_EQ(bytes_of(pass, "I 5 "), 0) << "code 5 is reported once";
    }
    since.insert(since.end(), pass.begin(), pass.end());
  }
  EXPECT_EQ(bytes_of(since, "I 9 "), 8 * 1000);
  EXPECT_EQ(bytes_of(since, "O 10 "), 8 * 1000 * 2);

  settings_.set(kSection, "enable", "0");
  texts_ = stats_host::wait_for(kMark, "Traffic tracing disabled", 0, 1, settings_);
  EXPECT_EQ(count_starting(texts_, "Traffic tracing disabled"), 1u);
}

}  // namespace
