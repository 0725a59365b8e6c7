#include "support/file_lock.h"

#include <fstream>

namespace support {

namespace {

// A process id has at most 10 digits; anything longer is not one.
constexpr std::size_t kMaxOwnerLength = 20;

}  // namespace

LockAttempt FileLock::TryTake(const std::filesystem::path& path, std::error_code& error) {
  Release();
  return TryLockFile(path, handle_, error);
}

std::error_code FileLock::WriteOwner(const std::string& text) {
  if (!Held()) return {};
  return WriteLockedFile(handle_, text);
}

std::string ReadLockOwner(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const std::size_t last = line.find_last_not_of(" \t\r");
  line = line.substr(first, last - first + 1);
  return line.size() <= kMaxOwnerLength ? line : std::string();
}

}  // namespace support
