#include "crash/dump_path.h"

#include <array>
#include <cstdio>
#include <system_error>

#include "crash/crash_constants.h"

namespace ostrel::crash {

std::string DumpFolderName(const LocalTime& t) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%04d%02d%02d", t.year, t.month, t.day);
  return text.data();
}

std::string DumpFileName(int dumpType, const LocalTime& t) {
  std::array<char, 48> text{};
  std::snprintf(text.data(), text.size(), "%s%02d%02d%02d_%03d.dmp",
                dumpType != kNormalDump ? "full" : "mini", t.hour, t.minute, t.second,
                t.millisecond);
  return text.data();
}

std::filesystem::path MakeDumpPath(const std::filesystem::path& base, int dumpType,
                                   const LocalTime& time) {
  const std::filesystem::path root = base / kDumpRoot;
  const std::filesystem::path folder = root / DumpFolderName(time);
  std::error_code ignored;
  std::filesystem::create_directory(root, ignored);
  std::filesystem::create_directory(folder, ignored);
  return folder / DumpFileName(dumpType, time);
}

}  // namespace ostrel::crash
