#include "archive/archive_layout.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Fills every slot with count candles whose volume tells slot and position apart.
std::vector<Candle> FullArchive(int count) {
  auto buffer = NewArchiveBuffer();
  int record = kSlotCount;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SetSlot(buffer.data(), slot, slot + 1, count);
    for (int i = 0; i < count; ++i) {
      buffer[record].volume = slot * 10000 + i;
      buffer[record].date = 20240101;
      ++record;
    }
  }
  return buffer;
}

Candle Fresh(double volume) {
  Candle c;
  c.volume = volume;
  c.date = 20240202;
  return c;
}

}  // namespace

TEST(ArchiveLayout, FindSlotGivesRunAndTail) {
  auto buffer = NewArchiveBuffer();
  SetSlot(buffer.data(), 0, 5, 3);
  SetSlot(buffer.data(), 1, 1, 7);
  SetSlot(buffer.data(), 2, kDayInterval, 2);
  const auto place = FindSlot(buffer.data(), 1);
  ASSERT_TRUE(place);
  EXPECT_EQ(place->slot, 1);
  EXPECT_EQ(place->firstRecord, 19);
  EXPECT_EQ(place->count, 7);
  EXPECT_EQ(place->tailCount, 9);
  EXPECT_FALSE(FindSlot(buffer.data(), kWeekInterval));
  EXPECT_EQ(ArchiveRecords(buffer.data()), 28);
  SetSlot(buffer.data(), 2, kDayInterval, kMaxCandlesPerInterval);
  EXPECT_TRUE(SlotCountsValid(buffer.data()));
  SetSlot(buffer.data(), 2, kDayInterval, kMaxCandlesPerInterval + 1);
  EXPECT_FALSE(SlotCountsValid(buffer.data()));
}

TEST(ArchiveLayout, AppendingMovesLaterSlotsAndKeepsTheNewest3000WithAllSlotsFull) {
  auto buffer = FullArchive(kMaxCandlesPerInterval);
  const auto place = FindSlot(buffer.data(), 5);  // slot 4
  CMinArch arch(5, 0);
  PointAtSlot(arch, buffer.data(), *place);
  int tail = place->tailCount;
  std::vector<Candle> fresh{Fresh(-1), Fresh(-2), Fresh(-3)};
  ASSERT_TRUE(ReplaceRun(arch, arch.m_Count, arch.m_Count, fresh, tail));
  EXPECT_EQ(arch.m_Count, kMaxCandlesPerInterval);
  EXPECT_EQ(tail, place->tailCount);
  EXPECT_EQ(arch.m_Candles[0].volume, 4 * 10000 + 3);  // three oldest dropped
  EXPECT_EQ(arch.m_Candles[kMaxCandlesPerInterval - 1].volume, -3);
  // The next slot's run did not move and is intact.
  EXPECT_EQ(arch.m_Candles[kMaxCandlesPerInterval].volume, 5 * 10000);
  EXPECT_EQ(buffer[kArchiveRecords - 1].volume, 15 * 10000 + kMaxCandlesPerInterval - 1);
}

TEST(ArchiveLayout, TooManyNewCandlesKeepOnlyTheNewestOfThem) {
  auto buffer = FullArchive(10);
  const auto place = FindSlot(buffer.data(), 16);  // last slot
  CMinArch arch(16, 0);
  PointAtSlot(arch, buffer.data(), *place);
  int tail = place->tailCount;
  std::vector<Candle> fresh;
  for (int i = 0; i < kMaxCandlesPerInterval + 5; ++i) fresh.push_back(Fresh(i));
  ASSERT_TRUE(ReplaceRun(arch, arch.m_Count, arch.m_Count, fresh, tail));
  EXPECT_EQ(arch.m_Count, kMaxCandlesPerInterval);
  EXPECT_EQ(arch.m_Candles[0].volume, 5);
}

TEST(ArchiveLayout, GrowingAndShrinkingAMiddleRunShiftsTheRest) {
  auto buffer = FullArchive(4);
  const auto place = FindSlot(buffer.data(), 2);  // slot 1
  CMinArch arch(2, 0);
  PointAtSlot(arch, buffer.data(), *place);
  int tail = place->tailCount;
  std::vector<Candle> fresh{Fresh(-1), Fresh(-2)};
  ASSERT_TRUE(ReplaceRun(arch, 1, 2, fresh, tail));  // one replaced by two
  EXPECT_EQ(arch.m_Count, 5);
  EXPECT_EQ(tail, place->tailCount + 1);
  const double expected[] = {10000, -1, -2, 10002, 10003, 20000};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(arch.m_Candles[i].volume, expected[i]) << i;
  ASSERT_TRUE(ReplaceRun(arch, 0, 5, {}, tail));
  EXPECT_EQ(arch.m_Count, 0);
  EXPECT_EQ(arch.m_Candles[0].volume, 20000);
  EXPECT_EQ(buffer[kSlotCount + 4 * 16 - 5].date, 20240101);  // last record of the archive
  EXPECT_EQ(buffer[kSlotCount + 4 * 16 - 4].date, 0);         // freed tail zeroed
  EXPECT_EQ(buffer[kSlotCount + 4 * 16].date, 0);
}

TEST(ArchiveLayout, RunsOutsideTheirBufferAreRefused) {
  auto buffer = NewArchiveBuffer();
  CMinArch arch(1, 0);
  int tail = 0;
  EXPECT_FALSE(ReplaceRun(arch, 0, 0, {}, tail));  // no buffer at all
  arch.m_Instrument = buffer.data();
  arch.m_Candles = buffer.data() + 3;  // inside the slots
  EXPECT_FALSE(ReplaceRun(arch, 0, 0, {}, tail));
  arch.m_Candles = buffer.data() + kSlotCount;
  tail = kArchiveRecords;  // claims more than the buffer holds
  EXPECT_FALSE(ReplaceRun(arch, 0, 0, {}, tail));
  tail = 0;
  arch.m_Count = 1;  // more candles than the tail
  EXPECT_FALSE(ReplaceRun(arch, 0, 0, {}, tail));
}

// Random replacements in random archives (often all 16 slots full) against a plain model:
// one vector per slot, cut to its newest 3000 after each replacement.
TEST(ArchiveLayout, RandomReplacementsMatchAModelOfSeparateRuns) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  double serial = 1;
  auto candle = [&] {
    Candle c;
    c.volume = serial++;
    c.date = 20240101;
    return c;
  };
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::vector<Candle>> model(kSlotCount);
    auto buffer = NewArchiveBuffer();
    int record = kSlotCount;
    const bool full = round % 2 == 0;
    for (int slot = 0; slot < kSlotCount; ++slot) {
      const int count = full ? kMaxCandlesPerInterval - pick(0, 2) : pick(0, 40);
      SetSlot(buffer.data(), slot, slot + 1, count);
      for (int i = 0; i < count; ++i) model[slot].push_back(buffer[record++] = candle());
    }
    for (int step = 0; step < 20; ++step) {
      const int slot = pick(0, kSlotCount - 1);
      const auto place = FindSlot(buffer.data(), slot + 1);
      ASSERT_TRUE(place);
      CMinArch arch(slot + 1, 0);
      PointAtSlot(arch, buffer.data(), *place);
      const int first = pick(0, arch.m_Count);
      const int last = pick(first, arch.m_Count);
      std::vector<Candle> fresh(pick(0, 3) == 0 ? pick(0, 3100) : pick(0, 5));
      for (auto& c : fresh) c = candle();
      int tail = place->tailCount;
      ASSERT_TRUE(ReplaceRun(arch, first, last, fresh, tail));
      SetSlot(buffer.data(), slot, slot + 1, arch.m_Count);

      auto& run = model[slot];
      run.erase(run.begin() + first, run.begin() + last);
      run.insert(run.begin() + first, fresh.begin(), fresh.end());
      if (run.size() > static_cast<std::size_t>(kMaxCandlesPerInterval))
        run.erase(run.begin(), run.end() - kMaxCandlesPerInterval);
      ASSERT_EQ(arch.m_Count, static_cast<int>(run.size()));
      ASSERT_EQ(tail, TotalCandles(buffer.data()) - (place->firstRecord - kSlotCount));
    }
    int at = kSlotCount;
    for (int slot = 0; slot < kSlotCount; ++slot) {
      ASSERT_EQ(SlotCount(buffer.data(), slot), static_cast<int>(model[slot].size()));
      for (const Candle& c : model[slot]) ASSERT_EQ(buffer[at++].volume, c.volume) << slot;
    }
    for (; at < kArchiveRecords; ++at) ASSERT_EQ(buffer[at].date, 0) << at;
  }
}
