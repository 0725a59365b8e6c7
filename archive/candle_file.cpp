#include "archive/candle_file.h"

#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "archive/archive_layout.h"
#include "archive/interval_names.h"
#include "support/cfile.h"
#include "support/durable_writes.h"
#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace {

// Opens path and reads its size. Returns false without a message when it cannot be opened;
// logs the corruption message when the size is not a whole number of records or exceeds
// maxRecords.
bool OpenCandleFile(Library::WinFile::CFile& file, std::size_t maxRecords, std::size_t& records) {
  if (!file.IsOpen()) return false;
  const std::uint32_t size = file.Size();
  const std::size_t limit =
      std::min<std::size_t>(maxRecords, std::numeric_limits<std::int32_t>::max() / kCandleBytes);
  if (size % kCandleBytes != 0 || size / kCandleBytes > limit) {
    LogError("Graph minute %s is corrupted", support::NarrowPath(file.Path()).c_str());
    return false;
  }
  records = size / kCandleBytes;
  return true;
}

// A directory (or any other object that is not a file) at path: such a path cannot be
// opened as a candle file on any platform.
bool NotAFile(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  return !error && fs::exists(status) && !fs::is_regular_file(status);
}

// The file's bytes go straight into the candles and are decoded where they lie.
bool ReadRecords(Library::WinFile::CFile& file, std::size_t records, Candle* into) {
  if (!file.Read(into, static_cast<std::uint32_t>(records * kCandleBytes))) {
    LogError("Error reading file %s ", support::NarrowPath(file.Path()).c_str());
    return false;
  }
  DecodeCandlesInPlace(into, records);
  return true;
}

}  // namespace

bool ReadCandleFile(const fs::path& path, CMinArch& target, std::vector<Candle>& storage) {
  storage.clear();
  if (NotAFile(path)) return false;
  Library::WinFile::CFile file(path, std::ios::in);
  std::size_t records = 0;
  if (!OpenCandleFile(file, std::numeric_limits<std::size_t>::max(), records)) return false;
  storage.resize(records);
  if (!ReadRecords(file, records, storage.data())) {
    storage.clear();
    storage.shrink_to_fit();
    return false;
  }
  target.m_Candles = storage.data();
  target.m_Count = static_cast<std::int32_t>(records);
  return true;
}

bool ReadCandleFile(const fs::path& path, CMinArch& target, std::size_t capacity) {
  if (NotAFile(path)) return false;
  Library::WinFile::CFile file(path, std::ios::in);
  std::size_t records = 0;
  if (!OpenCandleFile(file, capacity, records)) return false;
  if (records > 0 && target.m_Candles == nullptr) return false;
  if (!ReadRecords(file, records, target.m_Candles)) return false;
  target.m_Count = static_cast<std::int32_t>(records);
  return true;
}

bool WriteCandleFile(const fs::path& path, const CMinArch& source) {
  return WriteCandleFile(path, source, nullptr);
}

bool WriteCandleFile(const fs::path& path, const CMinArch& source,
                     const std::function<bool(std::span<const unsigned char>)>& beforeReplace) {
  if (source.m_Count < 0 || (source.m_Count > 0 && source.m_Candles == nullptr)) return false;
  const std::size_t count = static_cast<std::size_t>(source.m_Count);
  std::vector<unsigned char> encoded;
  std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(source.m_Candles),
                                       count * kCandleBytes);
  if (!CandlesAreFileBytes()) {
    encoded.resize(count * kCandleBytes);
    EncodeCandles(source.m_Candles, count, encoded.data());
    bytes = encoded;
  }
  if (beforeReplace && !beforeReplace(bytes)) return false;
  return !support::ReplaceFileAtomically(path, bytes.data(), bytes.size());
}

bool LocateInterval(CMinArch& target, std::string_view name) {
  const std::int32_t code = IntervalCodeFromExactName(name);
  const auto place = FindSlot(target.m_Instrument, code);
  if (!place) {
    LogError("Error reading date( %s )", std::string(name).c_str());
    return false;
  }
  target.m_Candles = target.m_Instrument + place->firstRecord;
  target.m_Count = place->count;
  return true;
}
