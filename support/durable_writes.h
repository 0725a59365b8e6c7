// Crash-safe replacement of whole files, with the cost of making it durable paid per
// folder rather than per file.
//
// Each file is written to its temporary, flushed to disk, then renamed over the target, so
// that after a crash it is the old file or the new one, never a torn one. Where a rename
// needs its folder synced to survive a crash (Linux), the folder is noted instead of
// synced at once; SyncNotedDirectories syncs each noted folder once. Until then a crash can
// only bring back the old file whole. A run calls SyncNotedDirectories before it reports
// success, so that everything it wrote is on disk when it ends.
#pragma once

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace support {

// Writes data as the whole of target crash-safely (as above). On any failure target is
// untouched, no temporary is left and the error returned. When the calling thread holds
// its replacements (HoldThreadReplaces), the temporary is written and flushed but put in
// place only by Publish.
std::error_code ReplaceFileAtomically(const std::filesystem::path& target, const void* data,
                                      std::size_t size);

// Replacements held back by one piece of work: written and flushed, put in place only
// when the run takes that piece's result (Publish), or removed when it does not (Discard,
// also on destruction).
class HeldReplaces {
 public:
  HeldReplaces() = default;
  HeldReplaces(const HeldReplaces&) = delete;
  HeldReplaces& operator=(const HeldReplaces&) = delete;
  ~HeldReplaces() { Discard(); }

  void Add(std::filesystem::path temp, std::filesystem::path target);
  // Puts every temporary in its place, in the order written. On the first failure the
  // rest are removed untouched, failed names that target, and the error is returned.
  std::error_code Publish(std::filesystem::path& failed);
  // Removes every temporary not yet put in place.
  void Discard();

 private:
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> replaces_;
};

// Where the calling thread's replacements go: held (not null) or put in place at once.
void HoldThreadReplaces(HeldReplaces* held);

// Notes the folder of target: its renames are made durable by SyncNotedDirectories.
void NoteRenameIn(const std::filesystem::path& target);
// Syncs every noted folder once and forgets them. Any thread may call it.
void SyncNotedDirectories();

}  // namespace support
