// Filesystem queries and changes that never throw. On failure each writes one error line
// (errors log and main log) naming the path and the system's explanation, and returns a
// neutral result. A path where nothing exists is no failure for the queries: they answer
// false silently. Relative paths are resolved against the current directory first.
#pragma once

#include <filesystem>

// Absolute form of path against the current directory; an empty path on failure.
// "Error getting the full path: %s; %s"
std::filesystem::path GetFullPath(const std::filesystem::path& path);

// True when anything exists at path: file, directory, symbolic link or junction.
// "Error checking if filesystem object exists: %s; %s"
bool PathExists(const std::filesystem::path& path);

// True when something exists at path that is neither a directory nor a link/junction.
// "Error checking if file exists: %s; %s"
bool FileExists(const std::filesystem::path& path);

// True when a real directory exists at path (a link or junction does not count).
// "Error checking if directory exists: %s; %s"
bool DirectoryExists(const std::filesystem::path& path);

// Creates the single directory path (its parent must exist); nothing when it exists.
// Returns true when a directory stands at path afterwards.
// "Error while creating directory: %s; %s"
bool CreateDir(const std::filesystem::path& path);

// Removes path and everything below it; links and junctions are removed, never followed.
// A missing path is no failure. Returns false on failure.
// "Error while removing directory: %s; %s"
bool RemoveTree(const std::filesystem::path& path);

// Removes the single file (or empty directory) at path; a missing path is no failure.
// Returns false on failure. "Error while deleting file: %s; %s"
bool RemoveFile(const std::filesystem::path& path);

// Makes path the current directory. Returns false on failure.
// "Error setting current directory: %s; %s"
bool SetCurrentDir(const std::filesystem::path& path);
