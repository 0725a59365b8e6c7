// The site table of the memory trace: every allocation site seen (file name and line),
// in order of first appearance; a site's number is its index. The table keeps its own
// copy of each file name, since a caller's text may belong to a module that unloads.
// Not thread-safe: the trace lock guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

struct Site {
  std::string file;
  std::int32_t line;
};

class SiteTable {
 public:
  SiteTable();

  // Finds the site's number, adding the site when it is new. Answers false (and adds
  // nothing) when every 16-bit number is taken. A null file counts as "".
  bool find_or_add(const char* file, std::int32_t line, std::uint16_t& number);

  const std::vector<Site>& sites() const { return sites_; }
  // Forgets every site and gives back the memory.
  void clear();

 private:
  std::vector<Site> sites_;
  std::vector<std::vector<std::uint16_t>> buckets_;  // kSiteBuckets lists of site numbers
};

}  // namespace kv
