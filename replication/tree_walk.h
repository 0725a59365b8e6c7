// The walks over the minute export tree and the archive tree. Each visits the classes
// and securities that the [Classes] filter admits, in ascending order of their names (so
// that runs are reproducible on every file system), sets work.curClass_ and
// curSec_ on the way down, and hands every instrument to ReplicateFile. Listing and status
// errors of the file system propagate as std::filesystem::filesystem_error.
#pragma once

#include <filesystem>

struct InstrumentWork;
struct RunSettings;

// depth 1: relPath is a date directory of minutesDir_ holding class directories (each
// admitted class gets its directory in archiveDir_); depth 2: a class directory holding
// security directories; depth 3: a security directory, whose "1.dat" is replicated. A
// directory inside a security directory: "Invalid directory structure %s" and that
// security is skipped. A missing start directory: "Can not find Minutes location".
void WalkMinutes(const RunSettings& settings, InstrumentWork& work,
                 const std::filesystem::path& relPath, int depth);

// depth 1: archiveDir_ (relPath empty) or a directory of class directories; depth 2: a
// class directory holding archive files ("SEC.dat", also "SEC.dat.bak": the security code
// is the text before the first ".dat", which must not be empty) and legacy interval
// directories; depth 3: one of these, handed to ReplicateFile. A missing start directory:
// "Can not find Archves location".
void WalkArchives(const RunSettings& settings, InstrumentWork& work,
                  const std::filesystem::path& relPath, int depth);
