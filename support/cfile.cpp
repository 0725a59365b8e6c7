#include "support/cfile.h"

#include <exception>
#include <limits>
#include <system_error>

#include "support/buffer.h"
#include "support/log.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace Library {
namespace WinFile {

CFile::CFile(const fs::path& path, std::ios::openmode mode, bool seekToEnd) : path_(path) {
  stream_.open(path_, mode | std::ios::binary);
  if (stream_.is_open() && seekToEnd) stream_.seekp(0, std::ios::end);
}

CFile::~CFile() {
  try {
    std::lock_guard<std::mutex> guard(lock_);
    if (stream_.is_open()) stream_.close();
  } catch (const std::exception&) {
    LogError("Mutex threw exception while destructing CFile: %s",
             support::NarrowPath(path_).c_str());
  }
}

bool CFile::IsOpen() {
  std::lock_guard<std::mutex> guard(lock_);
  return stream_.is_open();
}

bool CFile::Write(const void* bytes, std::uint32_t length) {
  const Buffer copy(bytes, length);
  std::lock_guard<std::mutex> guard(lock_);
  if (!stream_.is_open()) return false;
  if (copy.Size() > 0)
    stream_.write(reinterpret_cast<const char*>(copy.Data()),
                  static_cast<std::streamsize>(copy.Size()));
  stream_.flush();  // a full disk shows here, not at some later close
  return !stream_.fail();
}

std::uint32_t CFile::Size() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!stream_.is_open()) return 0;
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path_, error);
  if (error) throw fs::filesystem_error("file_size", path_, error);
  constexpr std::uintmax_t kMax = std::numeric_limits<std::uint32_t>::max();
  return size > kMax ? static_cast<std::uint32_t>(kMax) : static_cast<std::uint32_t>(size);
}

bool CFile::Read(void* destination, std::uint32_t length) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!stream_.is_open()) return false;
  stream_.read(static_cast<char*>(destination), static_cast<std::streamsize>(length));
  return !stream_.fail();
}

}  // namespace WinFile
}  // namespace Library
