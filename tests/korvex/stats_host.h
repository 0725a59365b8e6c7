// Helpers of the statistics host tests: the lines this process wrote to "events.log"
// beside the test program (where the library's monitor threads write), the settings
// file "varnek.ini" there, and waiting for monitor passes.
//
// Several test programs share that folder, so lines are picked by this process's id,
// and settings are written key by key and written again whenever another program's
// write of the file has lost them.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "korvex_host.h"

namespace stats_host {

// A line's thread, mark and text (what follows the header).
struct Line {
  std::string thread;
  std::string mark;
  std::string text;
};

inline std::string events_log() {
  return korvex_host::host_folder() + "events.log";
}

// The lines of a log written by this process, in order ("" mark when none).
inline std::vector<Line> own_lines(const std::string& path) {
  const std::string pid = "(" + std::to_string(GetCurrentProcessId()) + ":";
  std::vector<Line> lines;
  for (const std::string& l : korvex_host::read_lines(path)) {
    const std::size_t at = l.find(pid);
    if (at == std::string::npos) continue;
    const std::size_t end = l.find("): ", at);
    if (end == std::string::npos) continue;
    const std::string inside = l.substr(at + 1, end - at - 1);  // pid:tid[:mark]
    const std::size_t first = inside.find(':');
    const std::size_t second = inside.find(':', first + 1);
    Line line;
    line.thread = inside.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    line.mark = second == std::string::npos ? "" : inside.substr(second + 1);
    line.text = l.substr(end + 3);
    lines.push_back(line);
  }
  return lines;
}

// Texts of this process's lines with the given mark in events.log.
inline std::vector<std::string> monitor_texts(const std::string& mark) {
  std::vector<std::string> texts;
  for (const Line& l : own_lines(events_log())) {
    if (l.mark == mark) texts.push_back(l.text);
  }
  return texts;
}

inline bool starts_with(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

inline std::size_t count_starting(const std::vector<std::string>& texts,
                                  const std::string& prefix) {
  std::size_t n = 0;
  for (const auto& t : texts) n += starts_with(t, prefix) ? 1 : 0;
  return n;
}

// ---- Settings ----

inline std::string settings_file() {
  return korvex_host::host_folder() + "varnek.ini";
}

inline std::string read_setting(const char* section, const char* key) {
  char value[256] = {};
  GetPrivateProfileStringA(section, key, "", value, sizeof value, settings_file().c_str());
  return value;
}

// Settings this test wants; apply() writes those that are missing or different.
class Settings {
 public:
  void set(const char* section, const char* key, const std::string& value) {
    for (auto& s : wanted_) {
      if (s.section == section && s.key == key) {
        s.value = value;
        apply();
        return;
      }
    }
    wanted_.push_back({section, key, value});
    apply();
  }
  void apply() const {
    for (const auto& s : wanted_) {
      if (read_setting(s.section.c_str(), s.key.c_str()) != s.value) {
        WritePrivateProfileStringA(s.section.c_str(), s.key.c_str(), s.value.c_str(),
                                   settings_file().c_str());
      }
    }
  }

 private:
  struct Wanted {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<Wanted> wanted_;
};

// Waits until the monitor with the given mark has written `more` further lines that
// start with prefix (counted from `seen`), keeping the settings applied meanwhile.
// Answers the monitor's texts at that moment; fails the test on time-out.
inline std::vector<std::string> wait_for(
    const std::string& mark, const std::string& prefix, std::size_t seen, std::size_t more,
    const Settings& settings, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    settings.apply();
    std::vector<std::string> texts = monitor_texts(mark);
    if (count_starting(texts, prefix) >= seen + more) {
      // The lines that follow the report in the same pass come right after it.
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return monitor_texts(mark);
    }
    if (std::chrono::steady_clock::now() > until) {
      ADD_FAILURE() << "no " << more << " more '" << prefix << "' lines from " << mark;
      return texts;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The texts written after the n-th (0-based) line starting with prefix and before the
// next such line.
inline std::vector<std::string> pass_after(const std::vector<std::string>& texts,
                                           const std::string& prefix, std::size_t n) {
  std::vector<std::string> pass;
  std::size_t found = 0;
  bool inside = false;
  for (const auto& t : texts) {
    if (starts_with(t, prefix)) {
      if (inside) break;
      inside = found++ == n;
      continue;
    }
    if (inside) pass.push_back(t);
  }
  return pass;
}

// The n-th line starting with prefix ("" when there is none).
inline std::string nth_starting(const std::vector<std::string>& texts, const std::string& prefix,
                                std::size_t n) {
  std::size_t found = 0;
  for (const auto& t : texts) {
    if (starts_with(t, prefix) && found++ == n) return t;
  }
  return "";
}

// The number in "name<number>" of a tagged line (-1 when missing).
inline long long field(const std::string& text, const std::string& name) {
  const std::size_t at = text.find(name + "<");
  if (at == std::string::npos) return -1;
  return std::strtoll(text.c_str() + at + name.size() + 1, nullptr, 10);
}

// Waits for a line starting with prefix whose field `name` is `value` (a pass that has
// read a setting written just before), keeping the settings applied. Only the prefix
// lines from number `from` on count (a value left in the settings file by an earlier
// run may show in the first reports). Answers the monitor's texts and sets index to
// that line's number among the prefix lines.
inline std::vector<std::string> wait_for_field(const std::string& mark, const std::string& prefix,
                                               const std::string& name, long long value,
                                               const Settings& settings, std::size_t& index,
                                               std::size_t from = 0) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    settings.apply();
    std::vector<std::string> texts = monitor_texts(mark);
    std::size_t n = 0;
    for (const auto& t : texts) {
      if (!starts_with(t, prefix)) continue;
      if (n >= from && field(t, name) == value) {
        index = n;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return monitor_texts(mark);
      }
      ++n;
    }
    if (std::chrono::steady_clock::now() > until) {
      ADD_FAILURE() << "no '" << prefix << "' line with " << name << "<" << value << "> from "
                    << mark;
      index = n;
      return texts;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

inline bool contains(const std::vector<std::string>& texts, const std::string& text) {
  for (const auto& t : texts) {
    if (t == text) return true;
  }
  return false;
}

inline bool any_ends_with(const std::vector<std::string>& texts, const std::string& tail) {
  for (const auto& t : texts) {
    if (t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace stats_host
