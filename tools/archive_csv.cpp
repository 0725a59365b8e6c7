// archive_csv: prints an instrument archive file (or a bare candle file) as CSV, for
// people and for tests.
//
//   archive_csv FILE            the slots ("slot,code,count"), then every candle
//   archive_csv FILE CODE       only the candles of the interval with that code
//   archive_csv --bare FILE     a bare candle file (minute export, legacy interval file)
//
// Candle lines: "interval,index,date,time,open,high,low,close,volume". Exit code 0, or 1
// when the file cannot be read or is not a sound archive; a failure always says why on
// standard error, so that a silent end is never the tool's own.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "archive/interval_names.h"

namespace {

constexpr int kFailed = 1;

void PrintCandle(std::int32_t code, int index, const Candle& c) {
  std::printf("%d,%d,%d,%06d,%.10g,%.10g,%.10g,%.10g,%.10g\n", code, index, c.date, c.time, c.open,
              c.high, c.low, c.close, c.volume);
}

int CannotRead(const std::filesystem::path& path) {
  std::error_code error;
  const bool exists = std::filesystem::exists(path, error);
  std::fprintf(stderr, "%s cannot be read: %s\n", path.string().c_str(),
               error            ? error.message().c_str()
               : !exists        ? "there is no such file"
                                : "not a file of whole candles, or an error while reading it");
  return kFailed;
}

int PrintBare(const std::filesystem::path& path) {
  CMinArch series(kOneMinuteInterval, 0);
  std::vector<Candle> storage;
  if (!ReadCandleFile(path, series, storage)) return CannotRead(path);
  std::printf("interval,index,date,time,open,high,low,close,volume\n");
  for (int i = 0; i < series.m_Count; ++i) PrintCandle(0, i, series.m_Candles[i]);
  return 0;
}

int PrintArchive(const std::filesystem::path& path, const char* onlyCode) {
  std::vector<Candle> buffer = NewArchiveBuffer();
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = buffer.data();
  if (!ReadCandleFile(path, whole, kArchiveRecords)) return CannotRead(path);
  if (whole.m_Count < kSlotCount || !SlotCountsValid(buffer.data()) ||
      whole.m_Count != ArchiveRecords(buffer.data())) {
    std::fprintf(stderr, "%s is not a sound archive file\n", path.string().c_str());
    return kFailed;
  }
  if (onlyCode == nullptr) {
    std::printf("slot,code,count\n");
    for (int slot = 0; slot < kSlotCount; ++slot)
      std::printf("%d,%d,%d\n", slot, SlotCode(buffer.data(), slot),
                  SlotCount(buffer.data(), slot));
  }
  std::printf("interval,index,date,time,open,high,low,close,volume\n");
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::int32_t code = SlotCode(buffer.data(), slot);
    if (onlyCode != nullptr && code != ParseDecimal(onlyCode)) continue;
    const auto place = FindSlot(buffer.data(), code);
    if (!place || place->slot != slot) continue;
    for (int i = 0; i < place->count; ++i) PrintCandle(code, i, buffer[place->firstRecord + i]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--bare") == 0) return PrintBare(argv[2]);
  if (argc == 2 || argc == 3) return PrintArchive(argv[1], argc == 3 ? argv[2] : nullptr);
  std::fprintf(stderr, "usage: archive_csv FILE [CODE] | archive_csv --bare FILE\n");
  return kFailed;
}
