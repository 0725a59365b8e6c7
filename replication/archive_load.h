// Loading and checking one instrument archive file into a working buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/candle.h"

class CMinReplicator;

// One instrument archive in memory: kArchiveRecords records, zero past the archive's
// end. A damaged archive is never merged nor saved.
struct LoadedArchive {
  std::filesystem::path path;
  std::string text;  // narrow text of path, for messages
  std::vector<Candle> buffer;
  bool damaged = false;
};

// archiveDir_ / curClass_ / (curSec_ + ".dat").
std::filesystem::path InstrumentArchivePath(const CMinReplicator& replicator);

// Slot codes of a new archive from the [Intervals] keys of Barsync.ini (current
// directory) in file order: a key beginning with "//", a code of 0 or below -3, or a code
// that an earlier key has already given, leaves its slot unused. Keys past the sixteenth
// are ignored (one error line per run).
std::vector<std::int32_t> NewArchiveCodes();

// Loads the archive at path (logs "Archive file %s loading" / "... loaded" at level 2)
// and counts it in processedCount_. When no file exists: "Archive %s is missing.
// Creating a new one" (level 2) and a new archive with the slots of NewArchiveCodes (no
// file is written until the archive is saved). A file that exists but cannot be used
// (unreadable, a size that is not a multiple of 48 or above 2,304,768 bytes, fewer than
// 16 records, a slot count outside 0..3000, a record count other than 16 + the sum of
// the counts, or a damaged candle record) is reported at level 0, counted in
// corruptedCount_ and returned damaged; the file is left untouched.
LoadedArchive LoadArchive(CMinReplicator& replicator, const std::filesystem::path& path);

// A new archive for path, whatever stands there now, logged and counted as LoadArchive
// does for a missing file: the rebuild starts every archive anew and replaces the stored
// file only when it saves, so that a killed rebuild leaves each archive whole.
LoadedArchive NewArchive(CMinReplicator& replicator, const std::filesystem::path& path);
