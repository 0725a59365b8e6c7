// The journal of a lot or price change: what lets a change that was killed part-way be run
// again without rescaling twice the files it had already changed.
//
// A change rewrites archives and minute files one by one, each crash-safely, but the run as
// a whole is not one step. Before each file is replaced, the journal (a text file in the
// archive folder) gets a line naming the file, the how-many-th change of that file in the
// run it is, and a digest of the bytes the file will hold. A run of the same change (same
// action, entries and dates) that finds the journal takes a file whose bytes have the digest
// of that step, or of a later step of the same file, as changed already and leaves it; every
// other file is changed as usual. The journal goes when the change completes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <utility>

class ChangeJournal {
 public:
  enum class Start {
    kFresh,        // no journal was there; a new one is kept from now on
    kResumed,      // the journal of an interrupted run of the same change: it is completed
    kOtherChange,  // the journal of an interrupted run of another change: nothing may be done
    kFailed,       // the journal cannot be read or written: nothing may be done
  };
  // Starts keeping the journal file for the change described by signature (one line).
  Start Begin(const std::filesystem::path& file, const std::string& signature);

  // One change of one file: which of this run's changes of that file it is, and whether an
  // interrupted run already wrote its result (the file is then left as it is).
  struct Step {
    std::filesystem::path path;
    int occurrence = 0;
    bool done = false;
  };
  Step Next(const std::filesystem::path& path);

  // Notes, on disk, the bytes step's file is about to hold. False when the line could not
  // be written: the file must not be replaced then.
  bool Record(const Step& step, std::span<const unsigned char> bytes);

  // The change is complete: the journal file is removed.
  void Finish();

  // The signature line of the journal found by a Begin that returned kOtherChange.
  const std::string& FoundSignature() const { return foundSignature_; }

  bool active() const { return active_; }

 private:
  std::mutex mutex_;
  bool active_ = false;
  std::filesystem::path file_;
  std::string foundSignature_;
  // From the interrupted run: (path, occurrence) -> digest of the bytes written.
  std::map<std::pair<std::string, int>, std::uint64_t> recorded_;
  // This run: path -> changes of it so far.
  std::map<std::string, int> occurrences_;
};

// The digest the journal keeps of a file's bytes (64-bit FNV-1a).
std::uint64_t JournalDigest(std::span<const unsigned char> bytes);

// The journal of this run's lot or price change (inactive in every other action).
ChangeJournal& RunChangeJournal();
