#include "replication/archive_load.h"

#include <algorithm>
#include <system_error>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/interval_names.h"
#include "replication/archive_check.h"
#include "replication/instrument_work.h"
#include "replication/interval_order.h"
#include "replication/replication_constants.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr char kIntervalsSection[] = "Intervals";

// The name of slot i in messages: the configured interval at that position, or the name
// of the slot's code when the configuration has fewer intervals.
std::string ConfiguredSlotName(const Candle* buffer, int slot) {
  if (static_cast<std::size_t>(slot) < intervalEntries.size()) return intervalEntries[slot].first;
  return IntervalNameOfCode(SlotCode(buffer, slot));
}

LoadedArchive Damaged(InstrumentWork& work, LoadedArchive archive, const std::string& damage) {
  ReportDamagedArchive(archive.text, damage);
  ++work.corruptedCount_;
  archive.damaged = true;
  return archive;
}

std::string FileProblem(const std::filesystem::path& path, std::uintmax_t& size) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return "Can not read the file (" + error.message() + ")";
  if (!std::filesystem::is_regular_file(status)) return "It is not a file";
  size = std::filesystem::file_size(path, error);
  if (error) return "Can not read the file (" + error.message() + ")";
  if (size % kCandleBytes != 0 || size > kArchiveBytes)
    return "Invalid file size " + std::to_string(size);
  return {};
}

}  // namespace

std::filesystem::path InstrumentArchivePath(const RunSettings& settings,
                                            const InstrumentWork& work) {
  return settings.archiveDir_ / work.curClass_ /
         support::PathFromNarrow(work.curSec_ + kArchiveExtension);
}

IntervalSlotPlan ConfiguredIntervalSlots() {
  const IniFile ini(kSettingsFileName);
  return PlanIntervalSlots(ini.GetSection(kIntervalsSection));
}

std::vector<std::int32_t> NewArchiveCodes(const RunSettings& settings) {
  if (!settings.newArchiveCodes_.empty()) return settings.newArchiveCodes_;
  return ConfiguredIntervalSlots().codes;
}

ArchiveFileRead ReadArchiveFile(const std::filesystem::path& path, std::vector<Candle>& buffer) {
  ArchiveFileRead read;
  std::error_code error;
  const auto kind = support::QueryObject(path, error);
  if (kind == support::ObjectKind::kNothing && !error) return read;
  read.exists = true;
  std::uintmax_t size = 0;
  const std::string problem =
      error ? "Can not read the file (" + error.message() + ")" : FileProblem(path, size);
  if (!problem.empty()) {
    read.damage = problem + ".";
    return read;
  }
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  if (!ReadCandleFile(path, whole, kArchiveRecords)) {
    read.damage = "Can not read the file.";
    return read;
  }
  read.damage = FindArchiveDamage(buffer.data(), whole.m_Count, ConfiguredSlotName);
  // The buffer came zeroed and the read wrote only its first m_Count records: zeroing
  // those is enough (not all 2.3 MB, for an archive of a few records).
  if (!read.damage.empty()) std::fill_n(buffer.begin(), whole.m_Count, Candle{});
  read.records = read.damage.empty() ? whole.m_Count : 0;
  return read;
}

namespace {

LoadedArchive StartLoading(InstrumentWork& work, const std::filesystem::path& path) {
  LoadedArchive archive;
  archive.path = path;
  archive.text = support::NarrowPath(path);
  archive.buffer = NewArchiveBuffer();
  LogAt(2, "Archive file %s loading", archive.text.c_str());
  ++work.processedCount_;
  return archive;
}

LoadedArchive Fresh(const RunSettings& settings, LoadedArchive archive) {
  LogAt(2, "Archive %s is missing.  Creating a new one", archive.text.c_str());
  InitSlots(archive.buffer.data(), NewArchiveCodes(settings));
  LogAt(2, "Archive file %s loaded", archive.text.c_str());
  return archive;
}

}  // namespace

LoadedArchive NewArchive(const RunSettings& settings, InstrumentWork& work,
                         const std::filesystem::path& path) {
  return Fresh(settings, StartLoading(work, path));
}

LoadedArchive LoadArchive(const RunSettings& settings, InstrumentWork& work,
                          const std::filesystem::path& path) {
  LoadedArchive archive = StartLoading(work, path);
  const ArchiveFileRead read = ReadArchiveFile(path, archive.buffer);
  if (!read.exists) return Fresh(settings, std::move(archive));
  if (!read.damage.empty()) return Damaged(work, std::move(archive), read.damage);
  LogAt(2, "Archive file %s loaded", archive.text.c_str());
  return archive;
}
