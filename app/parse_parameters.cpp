#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <system_error>

#include "app/app_constants.h"
#include "app/log_path_check.h"
#include "app/min_replicator.h"
#include "app/run_settings.h"
#include "app/worker_count.h"
#include "archive/min_arch.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace {

struct Args {
  int argc;
  const char* const* argv;
};

// The option's value when the option word occurs (even with no value), else the
// setting's value (an empty setting counts as absent).
std::string OptionOrSetting(const Args& args, const char* option, const IniFile& ini,
                            const char* section, const char* key) {
  std::string value;
  if (FindOption(args.argc, args.argv, option, value)) return value;
  return ini.GetString(section, key, "");
}

// An absolute path from narrow text; empty text stays empty.
fs::path AbsolutePath(const std::string& text) {
  if (text.empty()) return {};
  const fs::path path = support::PathFromNarrow(text);
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) throw fs::filesystem_error("absolute", path, error);
  return absolute;
}

// Pieces of text cut at every separator; the last piece only when it is not empty.
std::vector<std::string> SplitKeepingInnerEmpties(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    pieces.push_back(text.substr(start, at - start));
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

std::string WithoutColons(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
  return text;
}

}  // namespace

bool CMinReplicator::ParseParameters(int argc, const char* const* argv) {
  const IniFile ini(kSettingsFileName);
  const Args args{argc, argv};
  std::string ignored;
  if (FindOption(argc, argv, "-?", ignored)) {
    std::fputs(UsageText(), stdout);
    return false;
  }
  if (FindOption(argc, argv, "--version", ignored) || FindOption(argc, argv, "-v", ignored)) {
    std::fputs(VersionText().c_str(), stdout);
    return false;
  }
  dateBegin.clear();
  date_.clear();
  sessionStartHour_.clear();
  dateBeginValue = kRangeLowerBoundStart;
  dateEndValue = kRangeUpperBoundStart;
  processedCount_ = corruptedCount_ = zeroVolumeCount_ = 0;

  action_ = OptionOrSetting(args, "-a", ini, "General", "Action");
  if (!ReadPathsAndCheckLogs(argc, argv, ini)) return false;
  date_ = OptionOrSetting(args, "-d", ini, "General", "Date");
  sessionStartHour_ = OptionOrSetting(args, "-s", ini, "General", "Session_Start_Hour");
  if (!sessionStartHour_.empty()) {
    sessionStartHour_ += kSessionStartSuffix;
    sessionStart_ = std::atoi(sessionStartHour_.c_str());
  }
  dateBegin = OptionOrSetting(args, "-b", ini, "General", "DateBegin");
  dateEnd = ini.GetString("General", "DateEnd", "");
  threadsText_ = OptionOrSetting(args, kThreadsOption, ini, "General", kThreadsKey);
  ReadSections(ini);
  OpenLogs();
  return true;
}

bool CMinReplicator::ReadPathsAndCheckLogs(int argc, const char* const* argv, const IniFile& ini) {
  const Args args{argc, argv};
  minutesDir_ = AbsolutePath(OptionOrSetting(args, "-f", ini, "General", "Minutes"));
  archiveDir_ = AbsolutePath(OptionOrSetting(args, "-t", ini, "General", "Archive"));
  logFile_ = AbsolutePath(OptionOrSetting(args, "-l", ini, "Output", "Logs"));
  if (!logFile_.empty() && !CheckLogPath(logFile_)) return false;
  errorsFile_ = AbsolutePath(OptionOrSetting(args, "-e", ini, "Output", "Errors"));
  return errorsFile_.empty() || CheckLogPath(errorsFile_);
}

void CMinReplicator::ReadSections(const IniFile& ini) {
  intervalEntries = ini.GetSection("Intervals");
  std::stable_sort(intervalEntries.begin(), intervalEntries.end(),
                   [](const IniEntry& a, const IniEntry& b) { return a.first < b.first; });
  intervals_ = BuildIntervals(intervalEntries);
  ReadReplicateClasses(ini);
  ReadTimeSettings(ini);
  classes_.clear();
  for (const IniEntry& entry : ini.GetSection("Classes")) classes_.emplace(entry);
  hasClasses_ = !classes_.empty();
  changeLotList = ini.GetSection("ChangeLot");
  changePriceList = ini.GetSection("ChangePrice");
}

void CMinReplicator::ReadReplicateClasses(const IniFile& ini) {
  const std::vector<IniEntry> entries = ini.GetSection("ReplicateClasses");
  replicateClasses_.clear();
  for (const auto& [key, value] : entries) {
    if (value.empty()) {
      replicateClasses_.insert(key);
      continue;
    }
    for (const std::string& piece : SplitKeepingInnerEmpties(value, ','))
      replicateClasses_.insert(key + "," + piece);
  }
  hasReplicateClasses_ = !entries.empty();
}

void CMinReplicator::ReadTimeSettings(const IniFile& ini) {
  static const std::string kWord = ToUpper("TimeSettings");
  for (const std::string& name : ini.GetSectionNames()) {
    const std::size_t underscore = name.find('_');
    if (ToUpper(name).find(kWord) == std::string::npos || underscore == std::string::npos ||
        underscore == 0)
      continue;
    const std::string suffix = name.substr(underscore + 1);
    timeBegin_ = timeEnd_ = 0;
    timeBegins_[suffix] = 0;
    timeEnds_[suffix] = 0;
    for (const auto& [key, value] : ini.GetSection(name)) {
      const std::string upperKey = ToUpper(key);
      if (upperKey == "TIMEBEGIN") {
        timeBegin_ = timeBegins_[suffix] = std::atoi(WithoutColons(value).c_str());
      } else if (upperKey == "TIMEEND") {
        timeEnd_ = timeEnds_[suffix] = std::atoi(WithoutColons(value).c_str());
      } else if (upperKey == "CLASSES") {
        for (const std::string& piece : SplitKeepingInnerEmpties(value, ','))
          classTimeSettings_[piece] = suffix;
      }
    }
  }
}

// A log without a path writes to the standard output only.
void CMinReplicator::OpenLogs() {
  std::error_code error;
  if (!logFile_.empty())
    error = InitLogs(logFile_, errorsFile_, kMainThreadName);
  else if (!errorsFile_.empty())
    error = ErrorsLog().InitLog(errorsFile_, kMainThreadName);
  else
    SetLogThreadName(kMainThreadName);
  if (error) {
    std::printf("Log init error (Code=%d): %s\n", error.value(), error.message().c_str());
    std::fflush(stdout);
  }
}
