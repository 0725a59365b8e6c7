#include "support/progress_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using support::ProgressLine;

// A progress line writing into a string, on a clock the test moves.
struct Fixture {
  std::string out;
  int writes = 0;
  double now = 100;
  ProgressLine line{[this](std::string_view text) {
                      out += text;
                      ++writes;
                    },
                    [this] { return now; }};

  // What a terminal shows on the last line: "\r" returns to its start, "\n" starts anew.
  std::string Shown() const {
    std::string screen;
    std::size_t column = 0;
    for (char ch : out) {
      if (ch == '\n') {
        screen.clear();
        column = 0;
      } else if (ch == '\r') {
        column = 0;
      } else {
        if (column < screen.size())
          screen[column] = ch;
        else
          screen += ch;
        ++column;
      }
    }
    return screen.substr(0, screen.find_last_not_of(' ') + 1);
  }
};

TEST(ProgressLine, ShowsDoneOfTotalDateElapsedAndTimeLeft) {
  Fixture f;
  f.line.Begin("rebuild");
  f.line.SetTotal(4);
  EXPECT_EQ(f.writes, 0);
  f.line.SetDate("20240130");
  EXPECT_EQ(f.Shown(), "rebuild: 0/4 instruments, date 20240130, 0:00 elapsed");
  f.now += 10;
  f.line.InstrumentDone();
  EXPECT_EQ(f.Shown(), "rebuild: 1/4 instruments, date 20240130, 0:10 elapsed, about 0:30 left");
  f.now += 3590;
  f.line.InstrumentDone();
  EXPECT_EQ(f.Shown(),
            "rebuild: 2/4 instruments, date 20240130, 1:00:00 elapsed, about 1:00:00 left");
  f.line.InstrumentDone();
  f.line.InstrumentDone();
  f.line.End();
  EXPECT_EQ(f.out.back(), '\n');
  EXPECT_FALSE(f.line.Active());
  // The last state drawn before the newline is the final one, without an estimate.
  const std::string last = f.out.substr(f.out.rfind('\r') + 1);
  EXPECT_EQ(last.substr(0, last.find_last_not_of(" \n") + 1),
            "rebuild: 4/4 instruments, date 20240130, 1:00:00 elapsed");
}

TEST(ProgressLine, RedrawsAtMostFourTimesASecondButAlwaysTheEnd) {
  Fixture f;
  f.line.Begin("add");
  f.line.SetTotal(100000);
  const int begun = f.writes;
  EXPECT_EQ(begun, 0);
  for (int i = 0; i < 100000; ++i) {
    f.now += 0.0001;  // ten seconds in all
    f.line.InstrumentDone();
  }
  const int draws = f.writes - begun;
  EXPECT_GE(draws, 30);  // the first at once, then one per quarter second
  EXPECT_LE(draws, 41);
  f.line.End();
  EXPECT_NE(f.out.find("add: 100000/100000 instruments"), std::string::npos);
}

TEST(ProgressLine, ErasedLineIsBlankAndDrawnAgainAtTheNextStep) {
  Fixture f;
  f.line.Begin("test");
  f.line.SetTotal(3);
  f.line.InstrumentDone();
  EXPECT_EQ(f.Shown(), "test: 1/3 instruments, 0:00 elapsed, about 0:00 left");
  f.line.Erase();
  EXPECT_EQ(f.Shown(), "");
  f.line.InstrumentDone();  // at once, without waiting for the pace
  EXPECT_EQ(f.Shown(), "test: 2/3 instruments, 0:00 elapsed, about 0:00 left");
  f.line.Erase();
  const int writes = f.writes;
  f.line.Erase();  // nothing drawn: nothing to erase
  EXPECT_EQ(f.writes, writes);
}

TEST(ProgressLine, ShorterTextCoversTheLongerOne) {
  Fixture f;
  f.line.Begin("changelot");
  f.line.SetTotal(10);
  f.line.SetDate("20240130");
  f.now += 1;
  f.line.SetDate("");
  EXPECT_EQ(f.Shown(), "changelot: 0/10 instruments, 0:01 elapsed");
}

TEST(ProgressLine, NothingBeforeBeginOrAfterEnd) {
  Fixture f;
  f.line.SetTotal(3);
  f.line.InstrumentDone();
  f.line.End();
  f.line.Erase();
  EXPECT_EQ(f.writes, 0);
}

TEST(ClockText, MinutesAndHours) {
  EXPECT_EQ(support::ClockText(0), "0:00");
  EXPECT_EQ(support::ClockText(59.6), "1:00");
  EXPECT_EQ(support::ClockText(754), "12:34");
  EXPECT_EQ(support::ClockText(3723), "1:02:03");
  EXPECT_EQ(support::ClockText(-5), "0:00");
}

}  // namespace
