// Process-wide and per-thread state of the logging core (inside kv_util only).
#pragma once

#include <windows.h>

#include <cstdint>

#include "kv_util.h"

namespace kv {

// One log file shared by every thread that names it. Guarded by its table's mutex
// for everything but the handle, which its write mutex guards once the slot is made.
struct Slot {
  std::int32_t rotate_daily;
  std::int32_t generations;
  std::int32_t in_use;
  std::int32_t index;
  HANDLE file;  // INVALID_HANDLE_VALUE while closed (a reopen after rotation failed)
  HANDLE write_mutex;
  char name[kPathSize];
  std::uint32_t skipped_writes;  // writes lost since the file was closed; guarded as file
};

struct Table {
  Slot slots[kSlotCount];
  std::uint16_t refs[kSlotCount];
  HANDLE mutex;
};

Table& table_of(LogTable table);

// Per-thread state, made the first time the thread needs it.
struct ThreadState {
  int slot[kTableCount];
  char mark[kMarkSize];
  char banner[kBannerSize];
  char line[kLineSize];
  std::size_t length;  // append position in line
  char source_file[kSourceFileSize];
  int source_line;
  char description[kScratchSize];
  char output[kOutputSize + 1];
  DWORD reported_id;  // the thread number shown in line headers; 0: the thread's own
};

// The calling thread's state, made on first use; null only when memory is short.
ThreadState* thread_state();
// The calling thread's state if it has one, else null.
ThreadState* existing_thread_state();

// Process attach / detach, called from DllMain.
bool library_attach(HMODULE self);
void library_detach(bool process_ending);

// Waits for a mutex (an abandoned one counts as taken). A table mutex that can't be
// taken or released ends the process: the tables can no longer be trusted.
class TableLock {
 public:
  explicit TableLock(Table& table);
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  HANDLE mutex_;
};

// Holds a slot's write mutex for one write or one rotation.
class WriteLock {
 public:
  explicit WriteLock(HANDLE mutex);
  ~WriteLock();
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  HANDLE mutex_;
  bool held_;
};

// Path helpers (kv_util_path.cpp). out holds kPathSize bytes; false when the result
// would not fit, out is then empty.
bool resolve_path(const char* name, char* out);
// Creates the missing folders of a file path; stops at the first that can't be made.
void create_folders(const char* file_path);
// Length of the root of a path that is never climbed or created ("C:\", "\\srv\share\").
std::size_t root_length(const char* path);

// Rotation helpers (kv_util_rotation.cpp).
struct RotationSetting {
  bool rotate_daily = false;
  int generations = 0;
};
RotationSetting read_rotation_setting(const char* settings_path, const char* log_path);
// Moves F.k to F.k+1 for k = G-1..1 and F to F.1 (G == 0 deletes F). Stops at the first
// move that fails; answers whether every step succeeded.
bool rotate_generations(const char* file, int generations);
// True when the file exists and its creation date (as stored) is not today's local date.
bool rotation_due(const char* file);
int clamp_generations(int generations);

// Leaves the thread's slot of a table (a kind it never attached is passed over); the
// file is closed when no other thread uses it.
void release_thread_slot(LogTable table, ThreadState& state);

// Opening (kv_util_slots.cpp): answers 0 or the OS error of the open.
unsigned open_slot_file(Slot& slot);

// Writes bytes to a slot under its write mutex; failures are ignored. A named slot whose
// file is closed (its reopen after a rotation failed) tries to open it again on every
// kReopenRetryWrites-th write it loses.
void write_to_slot(LogTable table, int index, const char* data, std::size_t size);

}  // namespace kv
