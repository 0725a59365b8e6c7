// ReplicateFile: brings one instrument's archive up to date with one trading day (or
// removes the day, or converts the legacy interval directory), guarding the archive.
//
// The steps are separate so that a caller can combine them (a rebuild loads an archive
// once, merges many days into it and saves it once):
//   PassesReplicateClasses -> LoadDayMinutes + ApplyTimeWindow (day_minutes.h)
//   -> LoadArchive (archive_load.h) -> MergeDay (day_merge.h) -> SaveArchive (archive_save.h)
#pragma once

#include <filesystem>

class CMinReplicator;

// [ReplicateClasses] filter of replicator.curClass_ / curSec_: true when the section is
// absent, or lists "CLASS,SECURITY" or the class alone.
bool PassesReplicateClasses(const CMinReplicator& replicator);

// One instrument (replicator.curClass_, curSec_) for the run's action and date_.
// relPath: below minutesDir_ the date/class/security directories (add, addlast, insert);
// below archiveDir_ the class directory joined with the security's ".dat" file or its
// interval directory (delete, conversion). Every outcome is logged; a failure never stops
// the caller. Filesystem errors of listing and status queries propagate as exceptions.
void ReplicateFile(CMinReplicator& replicator, const std::filesystem::path& relPath);
