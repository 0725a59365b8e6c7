// Checks a log or errors file path before the logs are opened; problems are printed on
// the standard error stream with the path in quoted form.
#pragma once

#include <filesystem>

// An existing file must be writable; a missing one needs an existing parent directory
// (so an empty path fails). Prints "Error opening file ...", "Does not have permission to
// write into file ..." or "Can not find directory ..." and returns false on failure.
bool CheckLogPath(const std::filesystem::path& path);
