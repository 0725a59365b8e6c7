// Loading and checking one instrument archive file into a working buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle.h"
#include "replication/interval_slots.h"

struct InstrumentWork;
struct RunSettings;

// One instrument archive in memory: kArchiveRecords records, zero past the archive's
// end. A damaged archive is never merged nor saved.
struct LoadedArchive {
  LoadedArchive() = default;
  LoadedArchive(LoadedArchive&&) = default;
  LoadedArchive& operator=(LoadedArchive&&) = default;
  ~LoadedArchive() { RecycleArchiveBuffer(std::move(buffer)); }

  std::filesystem::path path;
  std::string text;  // narrow text of path, for messages
  std::vector<Candle> buffer;
  bool damaged = false;
};

// settings.archiveDir_ / work.curClass_ / (work.curSec_ + ".dat").
std::filesystem::path InstrumentArchivePath(const RunSettings& settings,
                                            const InstrumentWork& work);

// The slots of the [Intervals] keys of Barsync.ini (current directory), in file order
// (PlanIntervalSlots).
IntervalSlotPlan ConfiguredIntervalSlots();

// Slot codes of a new archive: settings.newArchiveCodes_, or when those are not set, those
// of ConfiguredIntervalSlots.
std::vector<std::int32_t> NewArchiveCodes(const RunSettings& settings);

// An existing instrument archive file read whole and checked as LoadArchive checks it.
struct ArchiveFileRead {
  bool exists = false;  // false: nothing at path (no message)
  int records = 0;      // records read into the buffer (when sound)
  std::string damage;   // empty when sound; else the text after "contains errors: "
};

// Reads path into buffer (kArchiveRecords records, zeroed by the caller) and checks it:
// unreadable, a size that is not a multiple of 48 or above 2,304,768 bytes, fewer than
// 16 records, a slot count outside 0..3000, a record count other than 16 + the sum of the
// counts, or a record that is not a usable candle is damage (buffer zeroed again). No
// message: the callers report in their own words (ReportDamagedArchive).
ArchiveFileRead ReadArchiveFile(const std::filesystem::path& path, std::vector<Candle>& buffer);

// Loads the archive at path (logs "Archive file %s loading" / "... loaded" at level 2)
// and counts it in processedCount_. When no file exists: "Archive %s is missing.
// Creating a new one" (level 2) and a new archive with the slots of NewArchiveCodes (no
// file is written until the archive is saved). A file that exists but cannot be used
// (unreadable, a size that is not a multiple of 48 or above 2,304,768 bytes, fewer than
// 16 records, a slot count outside 0..3000, a record count other than 16 + the sum of
// the counts, or a record that is not a usable candle) is reported at level 0, counted in
// corruptedCount_ and returned damaged; the file is left untouched.
LoadedArchive LoadArchive(const RunSettings& settings, InstrumentWork& work,
                          const std::filesystem::path& path);

// A new archive for path, whatever stands there now, logged and counted as LoadArchive
// does for a missing file: the rebuild starts every archive anew and replaces the stored
// file only when it saves, so that a killed rebuild leaves each archive whole.
LoadedArchive NewArchive(const RunSettings& settings, InstrumentWork& work,
                         const std::filesystem::path& path);
