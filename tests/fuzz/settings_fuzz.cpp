// Fuzz target: Barsync.ini through the settings reader (IniFile, NextToken) and the
// settings step (ParseParameters, ValidateParameters), then the settings' users: the slots
// of a new archive and the class time windows.
//
// Input: the text of Barsync.ini. The minutes, archive and log options are forced on the
// command line, so that no fuzzed path leads outside the workspace. Checks: the reader's
// promises (names and keys upper-cased and trimmed, no tab or carriage return left,
// values cut at comments, sorted section names, first entry wins), NextToken ends and
// yields trimmed tokens without the separator, at most 16 distinct valid slot codes,
// a time window keeps a part of the minutes, and a merge goes through valid intervals only.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "archive/archive_format.h"
#include "replication/archive_load.h"
#include "replication/day_minutes.h"
#include "replication/interval_order.h"
#include "support/ini_file.h"
#include "tests/fuzz/fuzz_workspace.h"

namespace {

constexpr int kMinuteStep = 7;

bool Trimmed(const std::string& text) {
  return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

bool HasNoLowerCase(const std::string& text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
}

bool HasNo(const std::string& text, const char* characters) {
  return text.find_first_of(characters) == std::string::npos;
}

void CheckTokens(std::string text, char separator) {
  const std::size_t limit = text.size() + 1;
  std::size_t tokens = 0;
  while (!text.empty()) {
    const std::size_t before = text.size();
    const std::string token = NextToken(text, separator);
    fuzz::Check(Trimmed(token) && token.find(separator) == std::string::npos,
                "NextToken gave an untrimmed token or one with the separator", token);
    fuzz::Check(text.size() < before, "NextToken did not shorten the text");
    fuzz::Check(++tokens <= limit, "NextToken does not end");
  }
}

void CheckReader(const IniFile& ini) {
  const std::vector<std::string> names = ini.GetSectionNames();
  fuzz::Check(std::is_sorted(names.begin(), names.end()), "section names not sorted");
  for (const std::string& name : names) {
    fuzz::Check(Trimmed(name) && HasNoLowerCase(name) && HasNo(name, "\t\r"),
                "section name not upper-cased and trimmed", name);
    const std::vector<IniEntry> entries = ini.GetSection(name);
    fuzz::Check(!entries.empty(), "a listed section without entries", name);
    for (const IniEntry& entry : entries) {
      const std::string& key = entry.first;
      const std::string& value = entry.second;
      fuzz::Check(Trimmed(key) && HasNoLowerCase(key) && HasNo(key, "\t\r"),
                  "key not upper-cased and trimmed", key);
      fuzz::Check(HasNo(value, "\t\r#;"), "value keeps a tab, return or comment", value);
      const auto first = std::find_if(entries.begin(), entries.end(),
                                      [&](const IniEntry& e) { return e.first == key; });
      const std::string expected = first->second.empty() ? "default" : first->second;
      fuzz::Check(ini.GetString(name, key, "default") == expected,
                  "GetString does not give the first entry", key);
      CheckTokens(value, ',');
    }
  }
}

void CheckNewArchiveCodes() {
  std::vector<std::int32_t> codes = NewArchiveCodes(RunSettings{});
  fuzz::Check(codes.size() <= static_cast<std::size_t>(kSlotCount), "more than 16 slots");
  codes.erase(std::remove(codes.begin(), codes.end(), kNoInterval), codes.end());
  for (std::int32_t code : codes) fuzz::Check(IsIntervalCode(code), "an invalid slot code");
  std::sort(codes.begin(), codes.end());
  fuzz::Check(std::adjacent_find(codes.begin(), codes.end()) == codes.end(),
              "a slot code given twice");
}

// Every kMinuteStep-th minute of a day that runs from 00:00 past midnight into the next.
// Made once; each window gets a copy of its own.
DayMinutes AllDayMinutes() {
  static const std::vector<Candle> minutes = [] {
    std::vector<Candle> all;
    for (int minute = 0; minute < 2 * kMinutesPerDay; minute += kMinuteStep) {
      Candle c;
      c.volume = c.open = c.high = c.low = c.close = 1;
      c.date = 20240130;
      const int ofDay = minute % kMinutesPerDay;
      c.time = (ofDay / kMinutesPerHour) * kTimeHourFactor +
               (ofDay % kMinutesPerHour) * kTimeMinuteFactor;
      all.push_back(c);
    }
    return all;
  }();
  DayMinutes day;
  day.storage = minutes;
  day.minutes.m_Candles = day.storage.data();
  day.minutes.m_Count = static_cast<std::int32_t>(day.storage.size());
  return day;
}

void CheckTimeWindows(const CMinReplicator& r) {
  for (const auto& [cls, suffix] : r.classTimeSettings_) {
    DayMinutes day = AllDayMinutes();
    InstrumentWork w;
    w.curClass_ = cls;
    const bool kept = ApplyTimeWindow(r, w, day);
    const auto first = day.minutes.m_Candles - day.storage.data();
    fuzz::Check(first >= 0 && day.minutes.m_Count >= 0 &&
                    first + day.minutes.m_Count <= static_cast<std::ptrdiff_t>(day.storage.size()),
                "a time window outside the minutes", cls);
    fuzz::Check(kept == (day.minutes.m_Count > 0), "a time window's result and part disagree");
  }
}

// The intervals a merge goes through: valid codes, each once, whatever [Intervals] holds
// (a key of blanks, a word, a number twice).
void CheckMergeOrder(const CMinReplicator& r) {
  std::set<std::int32_t> codes;
  for (const CMinArch& interval : MergeOrder(r.intervals_)) {
    fuzz::Check(IsIntervalCode(interval.m_Interval), "an invalid interval is merged",
                interval.m_Name);
    fuzz::Check(codes.insert(interval.m_Interval).second, "an interval is merged twice",
                interval.m_Name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& workspace = fuzz::Workspace();
  struct Release {
    ~Release() { fuzz::ReleaseSettingGlobals(); }
  } release;
  fuzz::MakeEmptyFolder(fuzz::MinutesDir());
  fuzz::MakeEmptyFolder(fuzz::ArchiveDir());
  fuzz::WriteBytes(workspace / kSettingsFileName,
                   std::string_view(reinterpret_cast<const char*>(data), size));
  CheckReader(IniFile(kSettingsFileName));

  CMinReplicator r;
  if (!fuzz::ParseConfined(r)) return 0;
  CheckNewArchiveCodes();
  CheckTimeWindows(r);
  CheckMergeOrder(r);
  r.ValidateParameters();
  return 0;
}
