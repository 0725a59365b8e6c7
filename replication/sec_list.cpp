#include "replication/sec_list.h"

#include <cstring>

#include "replication/instrument_work.h"
#include "replication/replication_constants.h"

namespace {

bool IsSeparator(char c) {
  return std::strchr(kSecuritySeparators, c) != nullptr && c != '\0';
}

}  // namespace

bool IsSecInList(std::string_view list, std::string_view sec, std::size_t start) {
  if (sec.empty()) return false;
  for (std::size_t at = list.find(sec, start); at != std::string_view::npos;
       at = list.find(sec, at + 1)) {
    const std::size_t end = at + sec.size();
    const bool boundedBefore = at == 0 || IsSeparator(list[at - 1]);
    const bool boundedAfter = end == list.size() || IsSeparator(list[end]);
    if (boundedBefore && boundedAfter) return true;
  }
  return false;
}

bool ClassSelected(const RunSettings& settings, const std::string& cls) {
  return !settings.hasClasses_ || settings.classes_.count(cls) != 0;
}

bool SecuritySelected(const RunSettings& settings, const std::string& cls, const std::string& sec) {
  if (!settings.hasClasses_) return true;
  const auto found = settings.classes_.find(cls);
  if (found == settings.classes_.end()) return false;
  return found->second == kAllSecurities || IsSecInList(found->second, sec, 0);
}
