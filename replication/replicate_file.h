// ReplicateFile: brings one instrument's archive up to date with one trading day (or
// removes the day, or converts the legacy interval directory), guarding the archive.
//
// The steps are separate so that a caller can combine them (a rebuild loads an archive
// once, merges many days into it and saves it once):
//   PassesReplicateClasses -> LoadDayMinutes + ApplyTimeWindow (day_minutes.h)
//   -> LoadArchive (archive_load.h) -> MergeDay (day_merge.h) -> SaveArchive (archive_save.h)
#pragma once

#include <filesystem>

struct InstrumentWork;
struct RunSettings;

// [ReplicateClasses] filter of work.curClass_ / curSec_: true when the section is
// absent, or lists "CLASS,SECURITY" or the class alone.
bool PassesReplicateClasses(const RunSettings& settings, const InstrumentWork& work);

// One instrument (work.curClass_, curSec_) for work.action_ and work.date_.
// relPath: below minutesDir_ the date/class/security directories (add, addlast, insert);
// below archiveDir_ the class directory joined with the security's ".dat" file or its
// interval directory (delete, conversion). Every outcome is logged; a failure never stops
// the caller. Filesystem errors of listing and status queries propagate as exceptions.
void ReplicateFile(const RunSettings& settings, InstrumentWork& work,
                   const std::filesystem::path& relPath);
