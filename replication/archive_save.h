// Writing a merged instrument archive back, or removing it when it holds no candle.
#pragma once

#include "replication/archive_load.h"

// Logs "Archive file %s saving" (level 2). An archive without any candle is removed
// ("Archive file %s deleted", level 2; a missing file is no failure). Otherwise the
// 16 + sum-of-counts records are written crash-safely ("Archive file %s saved", level 2),
// or "Error updating archive %s" is reported and the previous file stays as it was.
// Nothing is done for a damaged archive. True when the archive on disk is as merged.
bool SaveArchive(const LoadedArchive& archive);
