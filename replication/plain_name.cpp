#include "replication/plain_name.h"

#include <filesystem>

#include "support/platform.h"

namespace {
constexpr char kPathSeparators[] = "/\\:";
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of(kPathSeparators) != std::string::npos) return false;
  const std::filesystem::path path = support::PathFromNarrow(name);
  return !path.has_root_path() && path.filename() == path;
}
