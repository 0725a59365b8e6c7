// An insert rebuilds the N-minute slots its first and last minute fall in; what those
// slots held outside the inserted span stays where a finer interval nesting in N still
// holds it. Checked on random days and spans against a fold written here: after the
// insert every candle of an interval is the fold of the finest nesting interval's candles
// in its slot (with a one-minute interval: the fold of the minutes the day now holds).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive/test_archive.h"

namespace {

constexpr std::int32_t kDate = 20240305;

int MinuteOf(std::int32_t hhmmss) {
  return hhmmss / 10000 * 60 + hhmmss / 100 % 100;
}
std::int32_t TimeOf(int minute) {
  return minute / 60 * 10000 + minute % 60 * 100;
}

// The start (minute of the day) of the slot of `size` minutes that minute falls in.
int SlotOf(int minute, int size) {
  return size >= 1440 ? 0 : minute / size * size;
}

// A day of random minutes from `from` to `to` (minutes of the day), some missing.
std::vector<Candle> RandomMinutes(std::mt19937& rng, int from, int to) {
  std::uniform_int_distribution<int> step(-3, 3), volume(1, 40), gap(0, 9);
  std::vector<Candle> out;
  double price = 500 + step(rng);
  for (int m = from; m <= to; ++m) {
    if (m != from && m != to && gap(rng) == 0) continue;
    Candle c;
    c.date = kDate;
    c.time = TimeOf(m);
    c.open = price;
    price += step(rng);
    c.close = price;
    c.high = std::max(c.open, c.close) + 1;
    c.low = std::min(c.open, c.close) - 1;
    c.volume = volume(rng);
    out.push_back(c);
  }
  return out;
}

// Candles (of any interval) grouped into slots of `size` minutes and folded.
std::map<int, Candle> Fold(const std::vector<Candle>& parts, int size) {
  std::map<int, Candle> out;
  for (const Candle& c : parts) {
    const int slot = SlotOf(MinuteOf(c.time), size);
    auto [at, fresh] = out.try_emplace(slot, c);
    if (fresh) continue;
    Candle& f = at->second;
    f.high = std::max(f.high, c.high);
    f.low = std::min(f.low, c.low);
    f.close = c.close;
    f.volume += c.volume;
  }
  return out;
}

void ExpectSameCandles(const std::vector<Candle>& run, const std::map<int, Candle>& expected,
                       const std::string& what) {
  ASSERT_EQ(run.size(), expected.size()) << what;
  auto e = expected.begin();
  for (const Candle& c : run) {
    SCOPED_TRACE(what + " slot " + std::to_string(e->first));
    EXPECT_EQ(c.time, TimeOf(e->first));
    EXPECT_EQ(c.open, e->second.open);
    EXPECT_EQ(c.high, e->second.high);
    EXPECT_EQ(c.low, e->second.low);
    EXPECT_EQ(c.close, e->second.close);
    EXPECT_EQ(c.volume, e->second.volume);
    ++e;
  }
}

// The finest interval of codes finer than code whose slots nest in code's.
std::optional<int> FinestNesting(const std::vector<int>& codes, int code) {
  for (const int f : codes) {  // ascending
    if (f < code && (code >= 1440 || code % f == 0)) return f;
  }
  return std::nullopt;
}

}  // namespace

TEST(InsertEdgeSlots, EveryIntervalAgreesWithItsFinestNestingIntervalAfterAnInsert) {
  const std::vector<int> pool = {2, 3, 5, 7, 10, 15, 30, 45, 60, 90, 120, 180, 240, 1439, 1440, 1441};
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::vector<int> codes;
    if (seed % 3 != 0) codes.push_back(1);
    for (const int c : pool) {
      if (rng() % 4 == 0) codes.push_back(c);
    }
    if (codes.size() < 2) codes.push_back(90);
    std::sort(codes.begin(), codes.end());
    std::vector<std::string> names;
    for (const int c : codes) names.push_back(std::to_string(c));
    test_archive::Archive archive(names);
    std::uniform_int_distribution<int> start(8 * 60, 11 * 60), length(60, 600);
    const int from = start(rng);
    const int to = from + length(rng);
    ASSERT_TRUE(archive.Apply(RandomMinutes(rng, from, to), kDate).ok);
    // A span inside the day, or reaching past either end of it.
    std::uniform_int_distribution<int> inside(from - 20, to + 20);
    int a = inside(rng), b = inside(rng);
    if (a > b) std::swap(a, b);
    ASSERT_TRUE(archive.Apply(RandomMinutes(rng, a, b), kDate, 0, "insert").ok);
    const std::vector<Candle> ones = codes.front() == 1 ? archive.Run(1) : std::vector<Candle>{};
    for (const int code : codes) {
      const std::optional<int> finer = FinestNesting(codes, code);
      if (!finer) continue;
      ExpectSameCandles(archive.Run(code), Fold(archive.Run(*finer), code),
                        std::to_string(code) + " against " + std::to_string(*finer));
      if (!ones.empty())
        ExpectSameCandles(archive.Run(code), Fold(ones, code), std::to_string(code) + " against 1");
    }
  }
}

// A 5-minute slot that the span starts inside is rebuilt whole in both intervals: the
// 90-minute slot keeps the 5-minute candles wholly before the span, and loses with them
// the minutes of the straddled 5-minute slot before the span.
TEST(InsertEdgeSlots, TheEdgeKeepsOnlyWhatTheFinerIntervalStillHolds) {
  test_archive::Archive archive({"5", "90"});
  ASSERT_TRUE(archive.Apply(test_archive::Minutes(kDate, 1030, 1159), kDate).ok);
  ASSERT_TRUE(archive.Apply(test_archive::Minutes(kDate, 1042, 1110, 700), kDate, 0, "insert").ok);
  const std::vector<Candle> coarse = archive.Run(90);
  ASSERT_EQ(coarse.size(), 1u);
  // 10:30-10:39 (two 5-minute candles) + 10:42-11:10 (29) + 11:15-11:59 (45): 10:40, 10:41
  // and 11:11-11:14 went with their rebuilt 5-minute slots.
  EXPECT_EQ(coarse[0].volume, 10 + 29 + 45);
  EXPECT_EQ(coarse[0].open, 100);
  EXPECT_EQ(coarse[0].close, archive.Run(5).back().close);
}

// The one-minute interval keeps the newest 3000 candles and has dropped the start of the
// inserted date up to 10:55: the 90-minute slot of 10:30 reads what lies before the span
// (from 11:17) from the 5-minute interval, and the 5-minute slot of 11:15 from the
// one-minute one, so that after the insert every 90-minute candle of the date is still the
// fold of the 5-minute candles, and every 5-minute candle from 11:00 on the fold of the
// one-minute ones.
TEST(InsertEdgeSlots, AFinerIntervalThatDroppedTheSlotsStartLeavesItToACoarserOne) {
  test_archive::Archive archive({"1", "5", "90"});
  std::mt19937 rng(7);
  const std::int32_t dates[] = {20240304, 20240305, 20240306, 20240307, 20240308, 20240311};
  // 611 minutes a day: the one-minute run drops the first date and 55 minutes of the next.
  for (const std::int32_t date : dates)
    ASSERT_TRUE(archive.Apply(test_archive::Minutes(date, 1000, 2010), date).ok);
  const std::int32_t date = dates[1];
  ASSERT_EQ(archive.Run(1).front().date, date);
  ASSERT_EQ(archive.Run(1).front().time, 105500);
  std::vector<Candle> span = RandomMinutes(rng, 11 * 60 + 17, 15 * 60 + 22);
  for (Candle& c : span) c.date = date;
  ASSERT_TRUE(archive.Apply(span, date, 0, "insert").ok);
  const auto ofDate = [&](std::int32_t code, std::int32_t from) {
    std::vector<Candle> out;
    for (const Candle& c : archive.Run(code))
      if (c.date == date && c.time >= from) out.push_back(c);
    return out;
  };
  ExpectSameCandles(ofDate(90, 0), Fold(ofDate(5, 0), 90), "90 against 5");
  const std::int32_t oneFrom = archive.Run(1).front().time;
  const std::int32_t fiveFrom = TimeOf(SlotOf(MinuteOf(oneFrom), 5) + 5);
  ExpectSameCandles(ofDate(5, fiveFrom), Fold(ofDate(1, fiveFrom), 5), "5 against 1");
}
