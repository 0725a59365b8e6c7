#include "app/log_path_check.h"

#include <iostream>
#include <system_error>

#include "support/platform.h"
#include "support/quoted_path.h"

namespace fs = std::filesystem;

bool CheckLogPath(const fs::path& path) {
  std::error_code error;
  const support::ObjectKind kind = support::QueryObject(path, error);
  if (!error && kind != support::ObjectKind::kNothing) {
    const bool readOnly = support::IsReadOnly(path, error);
    if (error) {
      std::cerr << "Error opening file " << QuotedPath(path) << "; " << error.message() << "\n";
      return false;
    }
    if (readOnly) {
      std::cerr << "Does not have permission to write into file " << QuotedPath(path) << "\n";
      return false;
    }
    return true;
  }
  if (error) {
    std::cerr << "Error opening file " << QuotedPath(path) << "; " << error.message() << "\n";
    return false;
  }
  const fs::path parent = path.parent_path();
  std::error_code parentError;
  if (parent.empty() || !fs::is_directory(parent, parentError)) {
    std::cerr << "Can not find directory " << QuotedPath(parent) << "\n";
    return false;
  }
  return true;
}
