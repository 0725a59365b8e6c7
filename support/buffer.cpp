#include "support/buffer.h"

#include <cstring>

namespace Library {

Buffer::Buffer(const void* bytes, std::uint32_t length) {
  if (bytes == nullptr || length == 0) return;
  data_ = new unsigned char[length];
  std::memcpy(data_, bytes, length);
  size_ = capacity_ = length;
}

Buffer::~Buffer() {
  delete[] data_;
}

}  // namespace Library
