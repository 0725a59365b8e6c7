#include "archive/convert_interval_dir.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/usable_candle.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

constexpr char kArchiveFileExtension[] = ".dat";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The entries of the interval directory, in ascending order of their names. A listing
// that fails throws (the run ends), so that a directory is never removed unlisted.
std::vector<std::filesystem::path> ListEntries(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    entries.push_back(entry.path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

// The first entry named fileName without regard to letter case, or entries.end().
std::vector<std::filesystem::path>::iterator FindIgnoringCase(
    std::vector<std::filesystem::path>& entries, const std::string& fileName) {
  const std::string wanted = Lower(fileName);
  return std::find_if(entries.begin(), entries.end(), [&](const std::filesystem::path& p) {
    return Lower(support::NarrowPath(p.filename())) == wanted;
  });
}

enum class IntervalResult { kConverted, kMissing, kDamaged };

// The first record of candles[0..count) that is not a usable candle, named for the errors
// log; empty when every record is usable. Such a record would make the new archive one that
// every later run refuses, so the legacy directory is kept as it is instead.
std::string FindUnusableRecord(const Candle* candles, int count) {
  for (int i = 0; i < count; ++i) {
    const CandleFault fault = FindCandleFault(candles[i]);
    if (fault == CandleFault::kNone) continue;
    return "record " + std::to_string(i) + " (date " + std::to_string(candles[i].date) +
           ", time " + std::to_string(candles[i].time) +
           ") is not a usable candle: " + std::string(CandleFaultText(fault));
  }
  return {};
}

// Copies one interval file into slot `slot` at record `next`. kConverted when the file was
// read (it counts as converted), kDamaged when it is there but cannot be read, or holds a
// record that is not a usable candle (reported; nothing of the directory may be converted:
// an archive written without that interval would keep the next conversion from ever
// taking it).
IntervalResult ConvertInterval(const CMinArch& interval, int slot,
                               const std::filesystem::path& source, bool present,
                               std::vector<Candle>& buffer, int& next) {
  const std::string text = support::NarrowPath(source);
  LogAt(2, "Archive file %s loading", text.c_str());
  CMinArch series = interval;
  std::vector<Candle> storage;
  if (!present) {
    LogAt(2, "Archive %s is missing. ", text.c_str());
    SetSlot(buffer.data(), slot, interval.m_Interval, 0);
    return IntervalResult::kMissing;
  }
  if (!ReadCandleFile(source, series, storage)) {
    LogError("Archive file %s can not be read as candles", text.c_str());
    return IntervalResult::kDamaged;
  }
  LogAt(2, "Archive file %s loaded", text.c_str());
  int count = series.m_Count;
  const Candle* first = series.m_Candles;
  if (count > kMaxCandlesPerInterval) {
    LogError("Archive file %s holds %d candles: only the newest %d are converted", text.c_str(),
             count, kMaxCandlesPerInterval);
    first += count - kMaxCandlesPerInterval;
    count = kMaxCandlesPerInterval;
  }
  const std::string damage = FindUnusableRecord(first, count);
  if (!damage.empty()) {
    LogError("Archive file %s contains errors: %s", text.c_str(), damage.c_str());
    return IntervalResult::kDamaged;
  }
  SetSlot(buffer.data(), slot, interval.m_Interval, count);
  std::copy(first, first + count, buffer.begin() + next);
  next += count;
  return IntervalResult::kConverted;
}

}  // namespace

void ConvertIntervalDirectory(const std::filesystem::path& archiveDir, const std::string& cls,
                              const std::string& sec, const std::vector<CMinArch>& intervals) {
  const std::filesystem::path classDir = archiveDir / support::PathFromNarrow(cls);
  const std::filesystem::path target =
      classDir / support::PathFromNarrow(sec + kArchiveFileExtension);
  const std::filesystem::path sourceDir = classDir / support::PathFromNarrow(sec);
  const std::string targetText = support::NarrowPath(target);
  std::error_code error;
  if (support::QueryObject(target, error) != support::ObjectKind::kNothing || error) {
    LogAt(0, "Archive %s already exist, reorganization not produce.", targetText.c_str());
    return;
  }
  // Entries not converted yet; those left at the end keep the directory.
  std::vector<std::filesystem::path> left = ListEntries(sourceDir);
  // This thread's recycled working buffer: a conversion goes through every security.
  ScopedArchiveBuffer scratch;
  std::vector<Candle>& buffer = scratch.get();
  int next = kSlotCount;
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    const CMinArch& interval = intervals[i];
    const std::string fileName = interval.m_Name + kArchiveFileExtension;
    if (i >= static_cast<std::size_t>(kSlotCount)) {
      LogError("Interval %s is not converted: an archive holds only %d intervals",
               interval.m_Name.c_str(), kSlotCount);
      continue;
    }
    const auto found = FindIgnoringCase(left, fileName);
    const bool present = found != left.end();
    const std::filesystem::path source = present ? *found : sourceDir / fileName;
    const IntervalResult result =
        ConvertInterval(interval, static_cast<int>(i), source, present, buffer, next);
    if (result == IntervalResult::kDamaged) {
      LogError("The directory %s is not converted and is kept as it is",
               support::NarrowPath(sourceDir).c_str());
      return;
    }
    if (result == IntervalResult::kConverted) left.erase(found);
  }
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  whole.m_Count = next;
  LogAt(2, "Archive file %s saving", targetText.c_str());
  if (!WriteCandleFile(target, whole)) {
    LogError("Error updating archive %s", targetText.c_str());
    return;
  }
  LogAt(2, "Archive file %s saved", targetText.c_str());
  for (const auto& entry : left) {
    LogError("File %s was not converted: the directory %s is kept",
             support::NarrowPath(entry).c_str(), support::NarrowPath(sourceDir).c_str());
  }
  if (left.empty()) RemoveTree(sourceDir);
}
