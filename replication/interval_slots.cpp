#include "replication/interval_slots.h"

#include <algorithm>

#include "archive/archive_format.h"
#include "archive/interval_names.h"
#include "replication/interval_order.h"
#include "support/log.h"

namespace {

constexpr char kCommentedKey[] = "//";

// The code a key gives a slot: kNoInterval for a commented key, a code that is not an
// interval, or one already in codes.
std::int32_t SlotCodeOfKey(const std::string& key, const std::vector<std::int32_t>& codes) {
  if (key.rfind(kCommentedKey, 0) == 0) return kNoInterval;
  const std::int32_t code = IntervalCodeFromName(key);
  if (!IsIntervalCode(code) || std::find(codes.begin(), codes.end(), code) != codes.end())
    return kNoInterval;
  return code;
}

}  // namespace

IntervalSlotPlan PlanIntervalSlots(const std::vector<IniEntry>& keys) {
  IntervalSlotPlan plan;
  plan.codes.assign(kSlotCount, kNoInterval);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const std::int32_t code = SlotCodeOfKey(keys[k].first, plan.codes);
    if (k < static_cast<std::size_t>(kSlotCount)) {
      plan.codes[k] = code;
      continue;
    }
    if (code == kNoInterval) continue;
    const auto unused = std::find(plan.codes.begin(), plan.codes.end(), kNoInterval);
    if (unused == plan.codes.end()) {
      plan.ignored.push_back(keys[k].first);
    } else {
      *unused = code;
    }
  }
  return plan;
}

std::vector<CMinArch> KeepIntervalsWithSlots(const std::vector<CMinArch>& intervals,
                                             const IntervalSlotPlan& plan) {
  if (plan.ignored.empty()) return intervals;
  std::string names;
  for (const std::string& key : plan.ignored) names += (names.empty() ? "" : ", ") + key;
  LogError("Only %d intervals fit in an archive: %d keys of [Intervals] are ignored: %s",
           kSlotCount, static_cast<int>(plan.ignored.size()), names.c_str());
  std::vector<CMinArch> kept;
  for (const CMinArch& interval : intervals) {
    if (std::find(plan.codes.begin(), plan.codes.end(), interval.m_Interval) != plan.codes.end())
      kept.push_back(interval);
  }
  return kept;
}
