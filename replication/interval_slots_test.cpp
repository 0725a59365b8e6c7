#include "replication/interval_slots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_format.h"

namespace {

std::vector<IniEntry> Keys(const std::vector<std::string>& names) {
  std::vector<IniEntry> keys;
  for (const std::string& name : names) keys.emplace_back(name, "3000");
  return keys;
}

std::vector<CMinArch> Intervals(const std::vector<std::string>& names) {
  std::vector<CMinArch> out;
  for (const std::string& name : names) out.emplace_back(name, 3000);
  return out;
}

std::vector<std::int32_t> Codes(const std::vector<CMinArch>& intervals) {
  std::vector<std::int32_t> codes;
  for (const CMinArch& interval : intervals) codes.push_back(interval.m_Interval);
  return codes;
}

}  // namespace

TEST(IntervalSlots, SixteenKeysOrFewerFillTheSlotsByPosition) {
  const IntervalSlotPlan plan = PlanIntervalSlots(Keys({"1", "//5", "60", "DAY", "05", "XYZ"}));
  EXPECT_EQ(plan.codes,
            (std::vector<std::int32_t>{1, 0, 60, -1, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(plan.ignored.empty());
  // A repeated code leaves its slot unused, as a commented key does.
  EXPECT_EQ(PlanIntervalSlots(Keys({"MONTH", "MOUNTH", "5"})).codes[1], kNoInterval);
}

// Keys past the sixteenth take the slots that commented, repeated or unknown keys left
// unused; only those that find none are ignored, and only those are left out of the run.
TEST(IntervalSlots, KeysPastTheSixteenthTakeUnusedSlotsTheRestAreIgnored) {
  const IntervalSlotPlan plan = PlanIntervalSlots(
      Keys({"1",  "//5", "2",   "3",    "//15",  "4",  "6",    "7",  "8",  "9", "10",
            "11", "12",  "DAY", "WEEK", "MONTH", "20", "//25", "30", "45", "1", "90"}));
  EXPECT_EQ(plan.codes,
            (std::vector<std::int32_t>{1, 20, 2, 3, 30, 4, 6, 7, 8, 9, 10, 11, 12, -1, -2, -3}));
  EXPECT_EQ(plan.ignored, (std::vector<std::string>{"45", "90"}));

  testing::internal::CaptureStdout();
  const std::vector<CMinArch> kept =
      KeepIntervalsWithSlots(Intervals({"1", "10", "20", "30", "45", "90", "DAY"}), plan);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Codes(kept), (std::vector<std::int32_t>{1, 10, 20, 30, -1}));
  EXPECT_NE(log.find("Only 16 intervals fit in an archive: 2 keys of [Intervals] are ignored: 45, "
                     "90"),
            std::string::npos)
      << log;
}

TEST(IntervalSlots, NothingIgnoredKeepsTheWholeListWithoutALine) {
  const IntervalSlotPlan plan = PlanIntervalSlots(Keys({"1", "DAY"}));
  testing::internal::CaptureStdout();
  const std::vector<CMinArch> kept = KeepIntervalsWithSlots(Intervals({"1", "DAY", "5"}), plan);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(kept.size(), 3u);
}
