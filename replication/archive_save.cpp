#include "replication/archive_save.h"

#include "archive/archive_format.h"
#include "archive/archive_layout.h"
#include "archive/candle_file.h"
#include "support/filesystem_helpers.h"
#include "support/log.h"

bool SaveArchive(const LoadedArchive& archive) {
  if (archive.damaged) return false;
  const char* text = archive.text.c_str();
  LogAt(2, "Archive file %s saving", text);
  CMinArch whole(kOneMinuteInterval, 0);
  whole.m_Candles = const_cast<Candle*>(archive.buffer.data());
  whole.m_Count = ArchiveRecords(archive.buffer.data());
  if (whole.m_Count == kSlotCount) {
    LogAt(2, "Archive file %s deleted", text);
    return RemoveFile(archive.path);
  }
  if (!WriteCandleFile(archive.path, whole)) {
    LogError("Error updating archive %s", text);
    return false;
  }
  LogAt(2, "Archive file %s saved", text);
  return true;
}
