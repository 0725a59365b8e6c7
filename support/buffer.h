// An owned copy of some bytes, used to carry the bytes of a write.
#pragma once

#include <cstdint>

namespace Library {

class Buffer {
 public:
  // Copies length bytes from bytes; holds nothing when length is 0 or bytes is null.
  Buffer(const void* bytes, std::uint32_t length);
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  virtual ~Buffer();

  const unsigned char* Data() const { return data_; }
  std::uint32_t Size() const { return size_; }
  std::uint32_t Capacity() const { return capacity_; }
  std::uint32_t GrowthStep() const { return growthStep_; }

 private:
  unsigned char* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
  std::uint32_t growthStep_ = 0;
};

}  // namespace Library
