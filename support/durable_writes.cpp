#include "support/durable_writes.h"

#include <mutex>
#include <set>

#include "support/platform.h"

namespace fs = std::filesystem;

namespace support {

namespace {

thread_local HeldReplaces* tHeld = nullptr;

struct NotedDirectories {
  std::mutex mutex;
  std::set<fs::path> dirs;
};

NotedDirectories& Noted() {
  static NotedDirectories* noted = new NotedDirectories();  // used until the very end
  return *noted;
}

}  // namespace

std::error_code ReplaceFileAtomically(const fs::path& target, const void* data, std::size_t size) {
  fs::path temp;
  if (const std::error_code error = WriteTemporary(target, data, size, temp)) return error;
  if (tHeld != nullptr) {
    tHeld->Add(temp, target);
    return {};
  }
  if (const std::error_code error = PutInPlace(temp, target)) return error;
  NoteRenameIn(target);
  return {};
}

void HeldReplaces::Add(fs::path temp, fs::path target) {
  replaces_.emplace_back(std::move(temp), std::move(target));
}

std::error_code HeldReplaces::Publish(fs::path& failed) {
  std::error_code error;
  std::size_t done = 0;
  for (; done < replaces_.size() && !error; ++done) {
    const auto& [temp, target] = replaces_[done];
    error = PutInPlace(temp, target);
    if (error)
      failed = target;
    else
      NoteRenameIn(target);
  }
  replaces_.erase(replaces_.begin(), replaces_.begin() + static_cast<std::ptrdiff_t>(done));
  Discard();
  return error;
}

void HeldReplaces::Discard() {
  for (const auto& replace : replaces_) {
    std::error_code ignored;
    fs::remove(replace.first, ignored);
  }
  replaces_.clear();
}

void HoldThreadReplaces(HeldReplaces* held) {
  tHeld = held;
}

void NoteRenameIn(const fs::path& target) {
  if (!RenamesNeedDirectorySync()) return;
  NotedDirectories& noted = Noted();
  std::lock_guard<std::mutex> lock(noted.mutex);
  noted.dirs.insert(target.parent_path());
}

void SyncNotedDirectories() {
  std::set<fs::path> dirs;
  {
    NotedDirectories& noted = Noted();
    std::lock_guard<std::mutex> lock(noted.mutex);
    dirs.swap(noted.dirs);
  }
  for (const fs::path& dir : dirs) SyncDirectory(dir);
}

}  // namespace support
