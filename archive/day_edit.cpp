#include "archive/day_edit.h"

#include <string>

#include "support/log.h"

// Day insertion and deletion are not built yet: the call refuses and changes nothing.
namespace {
bool Refuse(const ApplyRequest& request) {
  LogError("Action %s is not available yet", std::string(request.action).c_str());
  return false;
}
}  // namespace

bool EditMinuteInterval(CMinArch&, const ApplyRequest& request, AggregationState&) {
  return Refuse(request);
}

bool EditCalendarInterval(CMinArch&, const ApplyRequest& request, AggregationState&) {
  return Refuse(request);
}
