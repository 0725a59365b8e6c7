#include "replication/interval_order.h"

#include <algorithm>
#include <set>

#include "archive/archive_format.h"
#include "support/log.h"

namespace {

// 0: minute intervals, 1: day, 2: week and month.
int Group(std::int32_t code) {
  if (code >= kOneMinuteInterval) return 0;
  return code == kDayInterval ? 1 : 2;
}

}  // namespace

bool IsIntervalCode(std::int32_t code) {
  return code >= kOneMinuteInterval || code == kDayInterval || code == kWeekInterval ||
         code == kMonthInterval;
}

std::vector<CMinArch> MergeOrder(const std::vector<CMinArch>& configured) {
  std::vector<CMinArch> kept;
  std::set<std::int32_t> codes;
  for (const CMinArch& interval : configured) {
    if (!IsIntervalCode(interval.m_Interval)) {
      LogError("Interval %s is ignored: %d is not an interval code", interval.m_Name.c_str(),
               interval.m_Interval);
    } else if (!codes.insert(interval.m_Interval).second) {
      LogError("Interval %s is ignored: an earlier interval has the same code %d",
               interval.m_Name.c_str(), interval.m_Interval);
    } else {
      kept.push_back(interval);
    }
  }
  std::stable_sort(kept.begin(), kept.end(), [](const CMinArch& a, const CMinArch& b) {
    return Group(a.m_Interval) < Group(b.m_Interval);
  });
  return kept;
}
