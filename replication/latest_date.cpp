#include "replication/latest_date.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "archive/calendar.h"
#include "archive/interval_names.h"
#include "replication/instrument_work.h"
#include "replication/replication_constants.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"
#include "support/platform.h"

bool IsExportDateName(std::string_view name) {
  if (name.size() != static_cast<std::size_t>(kExportDateDigits)) return false;
  const bool digits = std::all_of(
      name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  return digits && IsValidDate(ParseDecimal(name));
}

std::string FindLatestDate(const RunSettings& settings) {
  if (!PathExists(settings.minutesDir_)) {
    LogError("Can not find Minutes location");
    return {};
  }
  std::string best;
  for (const auto& entry : std::filesystem::directory_iterator(settings.minutesDir_)) {
    if (!entry.is_directory()) continue;
    const std::string name = support::NarrowPath(entry.path().filename());
    if (IsExportDateName(name) && (best.empty() || name > best)) best = name;
  }
  return best;
}
