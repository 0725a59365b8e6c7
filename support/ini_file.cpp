#include "support/ini_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/quoted_path.h"
#include "support/support_constants.h"

namespace fs = std::filesystem;
using namespace support;

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string NextToken(std::string& text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) {
    std::string token = Trim(text);
    text.clear();
    return token;
  }
  std::string token = Trim(text.substr(0, at));
  text.erase(0, at + 1);
  return token;
}

IniFile::IniFile(const fs::path& path) : path_(path) {
  Read();
}

void IniFile::Read() {
  std::ifstream in(path_, std::ios::in | std::ios::binary);
  if (!in.is_open()) return;
  std::string line;
  for (long lineNumber = 1;; ++lineNumber) {
    std::getline(in, line);
    if (in.fail() && !in.eof()) {
      std::ostringstream message;
      message << "Read ini file error. File" << QuotedPath(path_) << " line:" << lineNumber;
      throw std::runtime_error(message.str());
    }
    if (in.fail() && line.empty()) break;  // end of file, nothing left on the last line
    if (lineNumber == 1 && line.compare(0, kUtf8ByteOrderMarkLength, kUtf8ByteOrderMark) == 0)
      line.erase(0, kUtf8ByteOrderMarkLength);
    ParseLine(line);
    if (in.eof()) break;
  }
  StorePending();
}

void IniFile::ParseLine(std::string& line) {
  line.erase(
      std::remove_if(line.begin(), line.end(), [](char c) { return c == '\t' || c == '\r'; }),
      line.end());
  if (line.empty() || line[0] == ';' || line[0] == '#') return;
  if (line[0] == '[') {
    StorePending();
    const std::size_t close = line.find(']');
    if (close != std::string::npos) currentSection_ = Trim(ToUpper(line.substr(1, close - 1)));
    return;
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return;
  std::string key = eq == 0 ? std::string(kEmptyKeyName) : Trim(ToUpper(line.substr(0, eq)));
  std::string value = Trim(line.substr(eq + 1));
  const std::size_t comment = value.find_first_of("#;");
  if (comment != std::string::npos) value.erase(comment);
  pending_.emplace_back(std::move(key), std::move(value));
}

void IniFile::StorePending() {
  if (currentSection_.empty() || pending_.empty()) return;
  std::vector<IniEntry>& entries = sections_[currentSection_];
  entries.insert(entries.end(), std::make_move_iterator(pending_.begin()),
                 std::make_move_iterator(pending_.end()));
  pending_.clear();
}

const std::string* IniFile::FindValue(const std::string& section, const std::string& key) const {
  const auto it = sections_.find(ToUpper(section));
  if (it == sections_.end()) return nullptr;
  const std::string upperKey = ToUpper(key);
  for (const IniEntry& entry : it->second)
    if (entry.first == upperKey) return &entry.second;
  return nullptr;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr || value->empty() ? defaultValue : *value;
}

std::int32_t IniFile::GetInt(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const {
  const std::string* value = FindValue(section, key);
  return value == nullptr || value->empty() ? defaultValue
                                            : static_cast<std::int32_t>(std::atoi(value->c_str()));
}

std::vector<IniEntry> IniFile::GetSection(const std::string& section) const {
  const auto it = sections_.find(ToUpper(section));
  return it == sections_.end() ? std::vector<IniEntry>{} : it->second;
}

std::vector<std::string> IniFile::GetSectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const auto& [name, entries] : sections_) names.push_back(name);
  return names;
}
