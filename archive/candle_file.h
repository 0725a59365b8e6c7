// Reading and writing whole candle files, and finding an interval inside a loaded archive.
//
// A candle file is a bare array of 48-byte candle records (a minute export file, a legacy
// interval file) or a whole instrument archive file (slots and runs, archive_layout.h).
// Paths are wide-character paths; messages print their narrow text.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "archive/candle.h"
#include "archive/min_arch.h"

// Reads the whole file into storage, which the caller owns (it is resized to the record
// count; the file's previous content of storage is lost). On success target.m_Candles
// points at storage's first record and target.m_Count is the record count.
// Failure, target unchanged and storage emptied:
// - the file cannot be opened, or path names a directory or another object that is not a
//   file: no message (callers report a missing file themselves);
// - its size is not a multiple of kCandleBytes: "Graph minute %s is corrupted";
// - reading fails: "Error reading file %s ".
// Throws std::filesystem::filesystem_error when the size of an opened file cannot be read.
bool ReadCandleFile(const std::filesystem::path& path, CMinArch& target,
                    std::vector<Candle>& storage);

// Reads the whole file into the buffer at target.m_Candles, which has room for capacity
// records (for an instrument archive, the kArchiveRecords working buffer). A file of more
// than capacity records is refused as corrupted; nothing past capacity records is ever
// written. On success target.m_Count is the record count; on failure target and its
// buffer are unchanged. Messages as above.
bool ReadCandleFile(const std::filesystem::path& path, CMinArch& target, std::size_t capacity);

// Writes source.m_Count records from source.m_Candles as the whole content of path,
// crash-safely: to a temporary file beside it, flushed to disk, then put in its place in
// one step. On failure (false) the previous file at path is untouched, byte for byte, and
// no temporary is left. No message: callers report the failure in their own words.
bool WriteCandleFile(const std::filesystem::path& path, const CMinArch& source);

// The same, with beforeReplace called with the exact bytes the file will hold before
// anything is written; when it returns false nothing is written and the result is false.
bool WriteCandleFile(const std::filesystem::path& path, const CMinArch& source,
                     const std::function<bool(std::span<const unsigned char>)>& beforeReplace);

// Finds the interval named name in the archive at target.m_Instrument: its code by the
// exact names "day", "week", "month", "mounth" (case matters: "Day" is read as the number
// 0 and so finds the first unused slot), otherwise its decimal value. On success
// target.m_Candles and target.m_Count describe the first slot holding that code. When no
// slot holds it (or the slot counts are damaged): "Error reading date( %s )" with the name,
// failure, target unchanged.
bool LocateInterval(CMinArch& target, std::string_view name);
