#include "support/temporary_name.h"

#include <cctype>
#include <string>

#include "support/platform.h"

namespace support {

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  const std::size_t start = text.size() - suffix.size();
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[start + i]);
    const auto b = static_cast<unsigned char>(suffix[i]);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
  std::filesystem::path::string_type name = target.filename().native();
  for (auto& c : name)
    if (c == '.') c = '_';
  // A target whose name nearly fills a file name would get a temporary name too long for
  // the file system and could never be written; such a name is cut. Only the holder of the
  // run lock writes, one file at a time, so a cut name never meets another one.
  const std::size_t room = kMaxFileNameLength - (sizeof kTemporarySuffix - 1);
  if (name.size() > room) name.resize(room);
  std::filesystem::path temp = target.parent_path() / name;
  temp += kTemporarySuffix;
  return temp;
}

bool IsTemporaryName(const std::filesystem::path& path) {
  const std::string name = NarrowPath(path.filename());
  return EndsWithIgnoringCase(name, kTemporarySuffix) ||
         EndsWithIgnoringCase(name, kEarlierTemporarySuffix);
}

}  // namespace support
