// Reader of settings files of the section-and-key form ("Barsync.ini").
//
// The whole file is read once, at construction; lookups answer from memory and never
// fail. Section names and keys are upper-cased (byte by byte, as unsigned char) and
// trimmed, so lookups ignore letter case; values keep their case. A missing file gives
// empty settings; a read failure in the middle of the file throws std::runtime_error
// "Read ini file error. File\"<path>\" line:<n>".
//
// Reading rules: a UTF-8 byte-order mark at the start is skipped; tabs and carriage
// returns are removed from every line; empty lines and lines starting with ';' or '#'
// are skipped; "[name]" starts a section (text after ']' ignored; a '[' line without ']'
// keeps the current section); "key=value" adds an entry (a key-less line gets the key
// "<EMPTY_KEY>"; the value is trimmed and then cut before its first '#' or ';'); a line
// without '=' is ignored. Entries before the first section join the first section.
// A section name that occurs again adds its entries to its first occurrence.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

using IniEntry = std::pair<std::string, std::string>;

class IniFile {
 public:
  explicit IniFile(const std::filesystem::path& path);

  // Value of the first entry with key in section; defaultValue when absent or empty.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue) const;
  // atoi of the value found as by GetString; defaultValue when absent or empty.
  std::int32_t GetInt(const std::string& section, const std::string& key,
                      std::int32_t defaultValue) const;
  // All entries of section in file order (keys upper-cased); empty when absent.
  std::vector<IniEntry> GetSection(const std::string& section) const;
  // All section names, upper-cased, in ascending byte order.
  std::vector<std::string> GetSectionNames() const;

 private:
  void Read();
  void ParseLine(std::string& line);
  void StorePending();
  const std::string* FindValue(const std::string& section, const std::string& key) const;

  std::filesystem::path path_;
  std::map<std::string, std::vector<IniEntry>> sections_;
  std::string currentSection_;
  std::vector<IniEntry> pending_;
};

// Removes leading and trailing spaces (only the space character).
std::string Trim(const std::string& text);

// Upper-cases every byte (as unsigned char, so bytes above 127 are safe).
std::string ToUpper(std::string text);

// The trimmed text before the first separator; text keeps what follows it. Without a
// separator: the whole text trimmed, and text becomes empty. Callers loop while text
// is not empty.
std::string NextToken(std::string& text, char separator);
