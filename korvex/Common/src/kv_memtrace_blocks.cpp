#include "kv_memtrace_blocks.h"

#include <cstdlib>
#include <limits>
#include <new>

#include "kv_stats_constants.h"
#include "kv_stats_hash.h"

namespace kv {

BlockTable::~BlockTable() {
  release();
}

bool BlockTable::allocate() {
  if (heads_ == nullptr) {
    heads_ = static_cast<std::uint32_t*>(std::calloc(kBlockBuckets, sizeof *heads_));
  }
  return heads_ != nullptr;
}

void BlockTable::release() {
  std::free(heads_);
  heads_ = nullptr;
  std::vector<BlockEntry>().swap(entries_);
  free_ = 0;
  live_ = 0;
}

void BlockTable::clear() {
  if (heads_ != nullptr) {
    for (std::uint32_t i = 0; i < kBlockBuckets; ++i) heads_[i] = 0;
  }
  std::vector<BlockEntry>().swap(entries_);
  free_ = 0;
  live_ = 0;
}

std::uint32_t BlockTable::new_entry() {
  if (free_ != 0) {
    const std::uint32_t index = free_ - 1;
    free_ = entries_[index].next;
    return index;
  }
  if (entries_.size() >= std::numeric_limits<std::uint32_t>::max() - 1) throw std::bad_alloc();
  entries_.push_back(BlockEntry{});
  return static_cast<std::uint32_t>(entries_.size() - 1);
}

bool BlockTable::record(const void* address, std::uint32_t size, std::uint16_t site) {
  if (heads_ == nullptr || address == nullptr) return false;
  const std::uint32_t bucket = address_hash(address) % kBlockBuckets;
  std::uint32_t last = 0;  // index + 1 of the bucket's last entry
  for (std::uint32_t at = heads_[bucket]; at != 0; at = entries_[at - 1].next) {
    BlockEntry& e = entries_[at - 1];
    if (e.address == address) {
      e.size = size;
      e.site = site;
      return true;
    }
    last = at;
  }
  std::uint32_t index;
  try {
    index = new_entry();
  } catch (const std::bad_alloc&) {
    return false;
  }
  entries_[index] = BlockEntry{address, size, 0, site};
  if (last == 0) {
    heads_[bucket] = index + 1;
  } else {
    entries_[last - 1].next = index + 1;
  }
  ++live_;
  return true;
}

void BlockTable::forget(const void* address) {
  BlockEntry ignored;
  take(address, ignored);
}

bool BlockTable::take(const void* address, BlockEntry& entry) {
  if (heads_ == nullptr || address == nullptr) return false;
  std::uint32_t* link = &heads_[address_hash(address) % kBlockBuckets];
  while (*link != 0) {
    const std::uint32_t index = *link - 1;
    BlockEntry& e = entries_[index];
    if (e.address == address) {
      entry = e;
      *link = e.next;
      e = BlockEntry{nullptr, 0, free_, 0};
      free_ = index + 1;
      --live_;
      return true;
    }
    link = &e.next;
  }
  return false;
}

std::uint64_t BlockTable::space() const {
  if (heads_ == nullptr) return 0;
  return kBlockBuckets * kSpacePerBucket + entries_.size() * kSpacePerSlot;
}

}  // namespace kv
