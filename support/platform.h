// The platform layer: everything that differs between Windows and Linux lives behind
// these functions (platform_win.cpp / platform_posix.cpp), so that no other code tests
// the operating system. None of them throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

namespace support {

// Narrow text of a path for messages and the C library: the system's ANSI code page on
// Windows (characters it cannot hold become '?'), UTF-8 on Linux.
std::string NarrowPath(const std::filesystem::path& path);

// A path from narrow text as the program received it (command line, settings file):
// ANSI code page on Windows, UTF-8 on Linux.
std::filesystem::path PathFromNarrow(const std::string& text);

// True when the error says that nothing exists at the path: on Windows the error codes
// 2, 3, 53 and 123 (file, path or network path not found, invalid name); on Linux
// ENOENT, ENOTDIR and ENAMETOOLONG. Both the system and the generic category count.
bool IsNothingHere(const std::error_code& error);

// What stands at a path, without following a final symbolic link or junction.
enum class ObjectKind { kNothing, kFile, kDirectory, kLink };

// Queries the object at path. kNothing with a clear error when nothing exists there;
// kNothing with the system's error when the query itself failed.
ObjectKind QueryObject(const std::filesystem::path& path, std::error_code& error);

// Removes path and, when it is a real directory, everything below it. Symbolic links
// and junctions are removed themselves and never followed. A missing path is no error.
void RemoveTreeNoFollow(const std::filesystem::path& path, std::error_code& error);

// True when the file at path exists and is read-only (owner-write permission clear, or
// the read-only attribute set); error is set when its status cannot be read.
bool IsReadOnly(const std::filesystem::path& path, std::error_code& error);

unsigned CurrentProcessId();
unsigned CurrentThreadId();

// Whether the standard output is a terminal (console) at this moment.
bool StdoutIsTerminal();
// Whether the standard error stream is a terminal (console) at this moment.
bool StderrIsTerminal();

// Local broken-down time of t (thread-safe).
std::tm LocalTime(std::time_t t);

// Opens path for appending in binary mode ("ab"), creating it. Returns null and sets
// error (generic category, the C library's errno) on failure.
std::FILE* OpenForAppend(const std::filesystem::path& path, std::error_code& error);

// Flushes what was written to file through the C library and the system down to the disk,
// so that it survives a crash of the process or of the machine.
std::error_code FlushToDisk(std::FILE* file);

// The two halves of a crash-safe replacement (durable_writes.h puts them together).
// WriteTemporary writes the bytes to the temporary of target (TemporaryPathFor,
// temporary_name.h) with target's permissions, and flushes them to disk; on failure the
// temporary is removed. PutInPlace renames temp over target in one step (on Windows
// written through to the disk; on Linux the folder's entry reaches the disk with
// SyncDirectory); on failure temp is removed and target is untouched.
std::error_code WriteTemporary(const std::filesystem::path& target, const void* data,
                               std::size_t size, std::filesystem::path& temp);
std::error_code PutInPlace(const std::filesystem::path& temp, const std::filesystem::path& target);
// Makes the renames in dir durable (Linux: fsync of the folder); nothing where a rename
// is durable by itself (Windows, written through).
void SyncDirectory(const std::filesystem::path& dir);
// True where renames stay durable only after SyncDirectory of their folder.
bool RenamesNeedDirectorySync();

// True when the directory dir certainly holds no directory, told without listing it (on
// Linux file systems that count subdirectories in a directory's link count: exactly 2);
// false when it holds one or that cannot be told that way (Windows, btrfs). A symbolic
// link to a directory is not counted: the link count does not see it.
bool CertainlyWithoutSubdirectories(const std::filesystem::path& dir);

// An open, exclusively locked file (a file descriptor on Linux, a handle on Windows). The
// system releases the lock when the process ends in any way, killed included.
using LockHandle = std::intptr_t;
inline constexpr LockHandle kNoLockHandle = -1;

enum class LockAttempt {
  kTaken,   // handle holds the open, locked file
  kBusy,    // another open of the file holds the lock (in this process or another)
  kFailed,  // the file could not be opened or locked: error says why
};

// Opens the file at path (created when missing, never truncated) and tries once, without
// waiting, to lock it exclusively: flock on Linux, LockFileEx on Windows (on one byte far
// past the text, so that others can still read the text).
LockAttempt TryLockFile(const std::filesystem::path& path, LockHandle& handle,
                        std::error_code& error);

// Replaces the whole text of the locked file.
std::error_code WriteLockedFile(LockHandle handle, const std::string& text);

// Unlocks and closes the file; handle becomes kNoLockHandle. Nothing when none is held.
void UnlockFile(LockHandle& handle);

// True when inner is the same folder as outer or lies somewhere below it. Both are
// compared in their canonical form (links resolved as far as they exist), component by
// component; letter case is ignored on Windows, where file names ignore it.
bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace support
