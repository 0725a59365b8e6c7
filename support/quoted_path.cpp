#include "support/quoted_path.h"

#include "support/platform.h"

std::string QuotedPath(const std::filesystem::path& path) {
  const std::string text = support::NarrowPath(path);
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}
