#include "kv_memtrace_sites.h"

#include "kv_stats_constants.h"
#include "kv_stats_hash.h"

namespace kv {

SiteTable::SiteTable() : buckets_(kSiteBuckets) {}

bool SiteTable::find_or_add(const char* file, std::int32_t line, std::uint16_t& number) {
  if (file == nullptr) file = "";
  std::vector<std::uint16_t>& bucket = buckets_[site_hash(file, line) % kSiteBuckets];
  for (const std::uint16_t n : bucket) {
    const Site& s = sites_[n];
    if (s.line == line && s.file == file) {
      number = n;
      return true;
    }
  }
  if (sites_.size() >= kMaxSites) return false;
  number = static_cast<std::uint16_t>(sites_.size());
  sites_.push_back(Site{file, line});
  bucket.push_back(number);
  return true;
}

void SiteTable::clear() {
  std::vector<Site>().swap(sites_);
  for (auto& bucket : buckets_) std::vector<std::uint16_t>().swap(bucket);
}

}  // namespace kv
