// The block table of the memory trace: one entry (address, size, site number) per live
// traced block, in a hash table of kBlockBuckets buckets keyed by the address. Each
// bucket is a list that keeps its entries in the order they were added.
//
// The bucket array is only made by allocate(), so that a process that never traces
// pays nothing for it. Not thread-safe: the trace lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

struct BlockEntry {
  const void* address;  // null while the entry is free
  std::uint32_t size;
  std::uint32_t next;  // entry index + 1 of the next entry in the bucket, 0 at the end
  std::uint16_t site;
};

class BlockTable {
 public:
  BlockTable() = default;
  ~BlockTable();
  BlockTable(const BlockTable&) = delete;
  BlockTable& operator=(const BlockTable&) = delete;

  bool allocated() const { return heads_ != nullptr; }
  // Makes the empty bucket array; false when memory is short (the table stays unmade).
  bool allocate();
  // Gives back all memory, bucket array included.
  void release();
  // Drops every entry and the entries' memory, keeping the bucket array.
  void clear();

  // Sets the entry of an address (size and site), appending one when it is new.
  // False when the table is unmade or memory is short (nothing is recorded then).
  bool record(const void* address, std::uint32_t size, std::uint16_t site);
  // Removes the entry of an address; the others keep their order.
  void forget(const void* address);
  // As forget(), and answers whether there was an entry (copied to entry).
  bool take(const void* address, BlockEntry& entry);

  // The space figure of the table: kSpacePerBucket bytes per bucket plus kSpacePerSlot
  // per entry slot made since the last clear (a freed slot is reused before a new one is
  // made, so this is the most entries live at once). 0 while unmade.
  std::uint64_t space() const;
  std::size_t live() const { return live_; }

  // Calls f(entry) for every live entry.
  template <class F>
  void for_each(F f) const {
    for (const BlockEntry& e : entries_) {
      if (e.address != nullptr) f(e);
    }
  }

 private:
  std::uint32_t new_entry();

  std::uint32_t* heads_ = nullptr;  // kBlockBuckets entry indexes + 1 (0: empty bucket)
  std::vector<BlockEntry> entries_;
  std::uint32_t free_ = 0;  // index + 1 of the first free entry, chained through next
  std::size_t live_ = 0;
};

}  // namespace kv
