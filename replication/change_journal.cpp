#include "replication/change_journal.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <vector>

#include "support/filesystem_helpers.h"
#include "support/platform.h"
#include "support/temporary_name.h"

namespace fs = std::filesystem;

namespace {

constexpr char kHeader[] = "Barsync change journal";
constexpr char kChangeWord[] = "change ";
constexpr char kStepWord[] = "step ";
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

bool ReadBytes(const fs::path& path, std::vector<unsigned char>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Appends text to file and puts it on the disk.
bool AppendDurably(const fs::path& file, const std::string& text) {
  std::error_code error;
  std::FILE* f = support::OpenForAppend(file, error);
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() &&
                       !support::FlushToDisk(f);
  return std::fclose(f) == 0 && written;
}

// Makes file with text as its whole content in one step, so that a kill never leaves a
// journal without its header (which would stop every later change); the temporary a kill
// left from an earlier try goes first.
bool CreateWhole(const fs::path& file, const std::string& text) {
  std::error_code error;
  fs::remove(support::TemporaryPathFor(file), error);
  fs::path temp;
  if (support::WriteTemporary(file, text.data(), text.size(), temp) ||
      support::PutInPlace(temp, file))
    return false;
  support::SyncDirectory(file.parent_path());
  return true;
}

// The name a file is journalled under: the same for every spelling of its path (a folder
// given as "archive", "./archive/" or through a link), so that a rerun finds it.
std::string JournalKey(const fs::path& path) {
  std::error_code error;
  fs::path key = fs::weakly_canonical(path, error);
  if (error) key = path.lexically_normal();
  return support::NarrowPath(key);
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

}  // namespace

std::uint64_t JournalDigest(std::span<const unsigned char> bytes) {
  std::uint64_t digest = kFnvOffset;
  for (unsigned char b : bytes) digest = (digest ^ b) * kFnvPrime;
  return digest;
}

ChangeJournal::Start ChangeJournal::Begin(const fs::path& file, const std::string& signature) {
  const std::lock_guard<std::mutex> lock(mutex_);
  active_ = false;
  file_ = file;
  recorded_.clear();
  occurrences_.clear();
  foundSignature_.clear();
  const std::string wanted = OneLine(signature);
  if (!FileExists(file)) {
    if (!CreateWhole(file, std::string(kHeader) + "\n" + kChangeWord + wanted + "\n"))
      return Start::kFailed;
    active_ = true;
    return Start::kFresh;
  }
  std::ifstream in(file, std::ios::binary);
  std::string header;
  std::string change;
  if (!in || !std::getline(in, header) || header != kHeader || !std::getline(in, change) ||
      change.rfind(kChangeWord, 0) != 0)
    return Start::kFailed;
  foundSignature_ = change.substr(sizeof kChangeWord - 1);
  if (foundSignature_ != wanted) return Start::kOtherChange;
  // A line cut short by a kill is not whole: its file was never replaced, so it is skipped.
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kStepWord, 0) != 0 || in.eof()) continue;
    std::istringstream fields(line.substr(sizeof kStepWord - 1));
    int occurrence = -1;
    std::string digestText;
    if (!(fields >> occurrence >> digestText) || occurrence < 0 || digestText.size() != 16)
      continue;
    std::string path;
    std::getline(fields, path);
    if (path.size() < 2 || path[0] != ' ') continue;
    recorded_[{path.substr(1), occurrence}] = std::stoull(digestText, nullptr, 16);
  }
  active_ = true;
  return Start::kResumed;
}

ChangeJournal::Step ChangeJournal::Next(const fs::path& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Step step;
  step.path = path;
  const std::string key = JournalKey(path);
  step.occurrence = occurrences_[key]++;
  if (!active_) return step;
  // Done when the file holds what this step, or a later step of the same file, wrote.
  auto it = recorded_.lower_bound({key, step.occurrence});
  if (it == recorded_.end() || it->first.first != key) return step;
  std::vector<unsigned char> bytes;
  if (!ReadBytes(path, bytes)) return step;
  const std::uint64_t digest = JournalDigest(bytes);
  for (; it != recorded_.end() && it->first.first == key; ++it)
    if (it->second == digest) step.done = true;
  return step;
}

bool ChangeJournal::Record(const Step& step, std::span<const unsigned char> bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!active_) return true;
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llx",
                static_cast<unsigned long long>(JournalDigest(bytes)));
  return AppendDurably(file_, std::string(kStepWord) + std::to_string(step.occurrence) + " " +
                                  digest + " " + OneLine(JournalKey(step.path)) + "\n");
}

void ChangeJournal::Finish() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!active_) return;
  active_ = false;
  RemoveFile(file_);
}

ChangeJournal& RunChangeJournal() {
  static ChangeJournal journal;
  return journal;
}
