// Named timings and latency classes as a host sees them in the "TIMN" reports of
// "events.log".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "korvex_host.h"
#include "kvstats.h"
#include "stats_host.h"

namespace {

using korvex_host::proc;
using stats_host::field;
using stats_host::starts_with;

constexpr char kMark[] = "TIMN";
constexpr char kBegin[] = "kvutil timing begin:";
constexpr char kEnd[] = "kvutil timing kv end:";
constexpr int kPeriodMs = 300;

struct Timing {
  decltype(&::GetHRTimer) now = proc<decltype(&::GetHRTimer)>("GetHRTimer");
  decltype(&::MonitorTiming) monitor = proc<decltype(&::MonitorTiming)>("MonitorTiming");
  decltype(&::StartTiming) start = proc<decltype(&::StartTiming)>("StartTiming");
  decltype(&::StopTiming) stop = proc<decltype(&::StopTiming)>("StopTiming");
  decltype(&::UpdateTradeTiming) trade = proc<decltype(&::UpdateTradeTiming)>("UpdateTradeTiming");
  decltype(&::UpdateOrderTiming) order = proc<decltype(&::UpdateOrderTiming)>("UpdateOrderTiming");

  void busy(double micros) const {
    const double until = now() + micros;
    while (now() < until) {
    }
  }
};

std::string whole(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", v);
  return text;
}

// The report texts of the pass that ends with the n-th end line (0-based), the
// COUNTTIMINGS line that opens it included.
std::vector<std::string> report_pass(const std::vector<std::string>& texts, std::size_t n) {
  std::vector<std::string> pass;
  std::size_t ends = 0;
  for (const auto& t : texts) {
    if (starts_with(t, "COUNTTIMINGS:")) pass.clear();
    pass.push_back(t);
    if (starts_with(t, kEnd) && ends++ == n) return pass;
  }
  return {};
}

// Waits for the end of the next report pass and answers that pass.
std::vector<std::string> next_report() {
  static const stats_host::Settings none;
  const std::size_t seen = stats_host::count_starting(stats_host::monitor_texts(kMark), kEnd);
  const auto texts = stats_host::wait_for(kMark, kEnd, seen, 1, none);
  return report_pass(texts, seen);
}

const std::string* line_of(const std::vector<std::string>& pass, const std::string& prefix) {
  for (const auto& t : pass) {
    if (starts_with(t, prefix)) return &t;
  }
  return nullptr;
}

TEST(Timing, NothingIsTimedBeforeTheMonitorStarts) {
  Timing t;
  EXPECT_FALSE(t.start("load", 7, false));
  EXPECT_EQ(t.stop("load", 7, false), 0.0);
  EXPECT_GE(t.now(), 0.0);
}

TEST(Timing, ReportsEachPeriodsRunsAndLatencyClasses) {
  // Lines an earlier program given the same process id left in the shared log.
  const std::size_t earlier = stats_host::own_lines(stats_host::events_log()).size();
  Timing t;
  ASSERT_NE(t.monitor(kPeriodMs, 1), 0);
  EXPECT_NE(t.monitor(kPeriodMs, 1), 0);
  EXPECT_FALSE(t.start(nullptr, 1, false));
  EXPECT_EQ(t.stop(nullptr, 1, false), 0.0);
  next_report();  // a pass has just ended: the next one is a full period away

  const std::string tid = std::to_string(GetCurrentThreadId());
  const double before = t.now();
  ASSERT_TRUE(t.start("load", 7, false));
  t.busy(100);
  const double first = t.stop("load", 7, false);
  ASSERT_TRUE(t.start("load", 7, false));
  t.busy(300);
  const double second = t.stop("load", 7, false);
  const double after = t.now();
  // Wait timings only inside a running plain timing, never inside another wait.
  EXPECT_FALSE(t.start("queue", 5, true));
  ASSERT_TRUE(t.start("held", 3, false));
  EXPECT_GE(first, 100.0);
  EXPECT_GE(second, 300.0);

  std::thread other([&t] {
    EXPECT_FALSE(t.start("queue", 5, true));
    ASSERT_TRUE(t.start("outer", 5, false));
    EXPECT_TRUE(t.start("queue", 5, true));
    EXPECT_FALSE(t.start("queue2", 5, true));
    t.stop("queue", 5, true);
    t.stop("outer", 5, false);
  });
  other.join();

  t.trade(1000000.0);
  t.trade(1000000.5);
  t.order(10.0);
  t.order(20.0);

  std::vector<std::string> pass = next_report();
  ASSERT_FALSE(pass.empty());
  EXPECT_EQ(pass[0], "COUNTTIMINGS:Timings=4 WaitTimings=1");
  EXPECT_EQ(pass[1], kBegin);
  const std::string* load = line_of(pass, "load:");
  ASSERT_NE(load, nullptr);
  const std::string expected_tail = "count<2>minTime<" + whole(first) + ">maxTime<" +
                                    whole(second) + ">avgTime()<" + whole((first + second) / 2) +
                                    ">";
  EXPECT_EQ(load->substr(load->find("count<")), expected_tail);
  EXPECT_EQ(load->substr(0, load->find("started<")), "load:p<7>threadId<" + tid + ">");
  const long long started = field(*load, "started");
  EXPECT_GE(started, std::llround(before) - 1);
  EXPECT_LE(started, std::llround(after) + 1);
  const std::size_t time_at = load->find("time<");
  ASSERT_NE(time_at, std::string::npos);
  const std::string clock = load->substr(time_at + 5, 12);
  int h = -1, m = -1, s = -1, ms = -1;
  ASSERT_EQ(std::sscanf(clock.c_str(), "%2d:%2d:%2d.%3d", &h, &m, &s, &ms), 4) << clock;
  SYSTEMTIME local;
  GetLocalTime(&local);
  const int seconds_apart =
      std::abs((local.wHour * 3600 + local.wMinute * 60 + local.wSecond) - (h * 3600 + m * 60 + s));
  EXPECT_TRUE(seconds_apart < 10 || seconds_apart > 86390) << clock;

  // Sorted by number, then name: held (3) before outer (5), queue (5), load (7).
  const std::string* held = line_of(pass, "held:");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->substr(held->find("count<")), "count<0>minTime<0>maxTime<0>avgTime()<0>");
  EXPECT_LT(held, line_of(pass, "outer:"));
  EXPECT_LT(line_of(pass, "outer:"), line_of(pass, "queue:"));
  EXPECT_LT(line_of(pass, "queue:"), load);
  EXPECT_EQ(line_of(pass, "queue2:"), nullptr);

  const std::string* fast_trade = line_of(pass, "Fast-trade timing:");
  ASSERT_NE(fast_trade, nullptr);
  EXPECT_EQ(*fast_trade, "Fast-trade timing:count<1>min<1000000>max<1000000>avg<1000000>");
  const std::string* slow_trade = line_of(pass, "Slow-trade timing:");
  ASSERT_NE(slow_trade, nullptr);
  EXPECT_EQ(field(*slow_trade, "count"), 1);
  EXPECT_EQ(*line_of(pass, "Fast-order timing:"),
            "Fast-order timing:count<2>min<10>max<20>avg<15>");
  EXPECT_EQ(line_of(pass, "Slow-order timing:"), nullptr);
  EXPECT_EQ(pass.back(), kEnd);

  // The next pass: the running timing stays, the finished ones and the classes are gone.
  pass = next_report();
  ASSERT_FALSE(pass.empty());
  EXPECT_EQ(pass[0], "COUNTTIMINGS:Timings=0 WaitTimings=0");
  EXPECT_NE(line_of(pass, "held:"), nullptr);
  EXPECT_EQ(line_of(pass, "load:"), nullptr);
  EXPECT_EQ(line_of(pass, "Fast-trade timing:"), nullptr);
  EXPECT_EQ(pass.size(), 4u);

  // One reporter, however often MonitorTiming was called.
  std::set<std::string> reporters;
  const std::vector<stats_host::Line> lines = stats_host::own_lines(stats_host::events_log());
  for (std::size_t i = earlier; i < lines.size(); ++i) {
    if (lines[i].mark == kMark) reporters.insert(lines[i].thread);
  }
  EXPECT_EQ(reporters.size(), 1u);

  // A timing never started is measured from the library's load.
  const double now = t.now();
  EXPECT_GE(t.stop("never", 9, false), now);
  EXPECT_GT(t.stop("held", 3, false), 0.0);
}

// A later thread that gets the ended thread's id can't be arranged from a host (the
// system picks the ids); the unit test TimingThreadEnd.* gives the same id on purpose.
TEST(Timing, AThreadThatEndsLeavesNoTimingBehind) {
  Timing t;
  ASSERT_NE(t.monitor(kPeriodMs, 1), 0);
  std::thread ended([&t] {
    ASSERT_TRUE(t.start("orphan", 11, false));
    EXPECT_TRUE(t.start("orphanwait", 11, true));
  });
  ended.join();
  next_report();  // its snapshot may have been taken before the thread ended
  const std::vector<std::string> pass = next_report();
  ASSERT_FALSE(pass.empty());
  EXPECT_EQ(line_of(pass, "orphan:"), nullptr);
  EXPECT_EQ(line_of(pass, "orphanwait:"), nullptr);
  // A new thread starts without a running timing to nest a wait timing in.
  std::thread fresh([&t] { EXPECT_FALSE(t.start("orphanwait", 11, true)); });
  fresh.join();
}

}  // namespace
