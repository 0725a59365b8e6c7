#include "support/filesystem_helpers.h"

#include <string>
#include <system_error>

#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;
using support::ObjectKind;

namespace {

void Report(const char* format, const fs::path& path, const std::error_code& error) {
  LogError(format, support::NarrowPath(path).c_str(), error.message().c_str());
}

fs::path AbsoluteForQuery(const fs::path& path) {
  return path.is_absolute() ? path : GetFullPath(path);
}

// What stands at path; kNothing (after reporting with format) when the query failed.
ObjectKind Query(const fs::path& path, const char* format) {
  std::error_code error;
  const ObjectKind kind = support::QueryObject(AbsoluteForQuery(path), error);
  if (error) Report(format, path, error);
  return kind;
}

}  // namespace

fs::path GetFullPath(const fs::path& path) {
  std::error_code error;
  fs::path full = fs::absolute(path, error);
  if (error) {
    Report("Error getting the full path: %s; %s", path, error);
    return {};
  }
  return full;
}

bool PathExists(const fs::path& path) {
  return Query(path, "Error checking if filesystem object exists: %s; %s") != ObjectKind::kNothing;
}

bool FileExists(const fs::path& path) {
  if (!PathExists(path)) return false;
  return Query(path, "Error checking if file exists: %s; %s") == ObjectKind::kFile;
}

bool DirectoryExists(const fs::path& path) {
  if (!PathExists(path)) return false;
  return Query(path, "Error checking if directory exists: %s; %s") == ObjectKind::kDirectory;
}

bool CreateDir(const fs::path& path) {
  if (DirectoryExists(path)) return true;
  std::error_code error;
  fs::create_directory(AbsoluteForQuery(path), error);
  if (!error) return true;
  if (error == std::errc::file_exists && DirectoryExists(path)) return true;
  Report("Error while creating directory: %s; %s", path, error);
  return false;
}

bool RemoveTree(const fs::path& path) {
  std::error_code error;
  support::RemoveTreeNoFollow(path, error);
  if (!error) return true;
  Report("Error while removing directory: %s; %s", path, error);
  return false;
}

bool RemoveFile(const fs::path& path) {
  std::error_code error;
  fs::remove(path, error);
  if (!error || support::IsNothingHere(error)) return true;
  Report("Error while deleting file: %s; %s", path, error);
  return false;
}

bool SetCurrentDir(const fs::path& path) {
  std::error_code error;
  fs::current_path(path, error);
  if (!error) return true;
  Report("Error setting current directory: %s; %s", path, error);
  return false;
}
