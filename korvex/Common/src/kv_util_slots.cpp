// Shared log slots: attaching threads by name, reference counts, opening, releasing
// and forced rotation.
#include <cstdint>
#include <cstring>

#include "kv_util_state.h"

namespace kv {
namespace {

// How an attach ended, decided under the table lock and acted on after it.
struct AttachOutcome {
  int index = kNoSlot;
  unsigned error = 0;  // the OS error of a failed open
  bool table_full = false;
};

constexpr DWORD kLogAccess = GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kLogShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

int find_slot(Table& table, const char* path) {
  for (int i = kConsoleSlot + 1; i < kSlotCount; ++i) {
    const Slot& s = table.slots[i];
    if (s.in_use && _stricmp(s.name, path) == 0) return i;
  }
  return kNoSlot;
}

int free_slot(Table& table) {
  for (int i = kConsoleSlot + 1; i < kSlotCount; ++i) {
    if (!table.slots[i].in_use) return i;
  }
  return kNoSlot;
}

void reset_slot(Slot& slot, int index) {
  std::memset(&slot, 0, sizeof slot);
  slot.index = index;
  slot.file = INVALID_HANDLE_VALUE;
}

void close_slot(Slot& slot, int index) {
  if (slot.file != INVALID_HANDLE_VALUE) CloseHandle(slot.file);
  if (slot.write_mutex) CloseHandle(slot.write_mutex);
  reset_slot(slot, index);
}

void stamp_creation_time(HANDLE file) {
  // The local wall-clock time is stored as the file time: the daily check reads it back
  // as a local date.
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME stamp;
  if (SystemTimeToFileTime(&now, &stamp)) SetFileTime(file, &stamp, nullptr, nullptr);
}

HANDLE open_log_file(const char* path) {
  return CreateFileA(path, kLogAccess, kLogShare, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Makes a free slot into the named log; on failure the slot is left free again.
unsigned create_slot(Table& table, int index, const char* path, const char* settings_path) {
  Slot& slot = table.slots[index];
  reset_slot(slot, index);
  slot.in_use = 1;
  std::memcpy(slot.name, path, std::strlen(path) + 1);
  const RotationSetting setting = read_rotation_setting(settings_path, path);
  slot.rotate_daily = setting.rotate_daily ? 1 : 0;
  slot.generations = setting.generations;
  if (slot.rotate_daily && rotation_due(path)) rotate_generations(path, slot.generations);
  unsigned error = open_slot_file(slot);
  if (error == 0) {
    slot.write_mutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!slot.write_mutex) error = GetLastError();
  }
  if (error != 0) close_slot(slot, index);
  return error;
}

AttachOutcome find_or_create(Table& table, const char* path, const char* settings_path) {
  AttachOutcome outcome;
  TableLock lock(table);
  outcome.index = find_slot(table, path);
  if (outcome.index == kNoSlot) {
    const int index = free_slot(table);
    if (index == kNoSlot) {
      outcome.table_full = true;
      return outcome;
    }
    outcome.error = create_slot(table, index, path, settings_path);
    if (outcome.error != 0) return outcome;
    outcome.index = index;
  }
  ++table.refs[outcome.index];
  return outcome;
}

// A slot whose reopen after a rotation failed gets another chance.
void reopen_if_closed(Slot& slot) {
  WriteLock lock(slot.write_mutex);
  if (slot.file == INVALID_HANDLE_VALUE) open_slot_file(slot);
}

void drop_reference(Table& table, int index) {
  TableLock lock(table);
  Slot& slot = table.slots[index];
  if (table.refs[index] > 0) --table.refs[index];
  if (table.refs[index] == 0 && slot.in_use) close_slot(slot, index);
}

void warn_table_full(LogTable kind, const char* path) {
  static const char* const kKindNames[kTableCount] = {"events", "errors", "net events"};
  write_line(LineKind::warning, "All %d %s log slots are taken: %s is not opened", kSlotCount - 1,
             kKindNames[static_cast<int>(kind)], path);
}

// The OS error an attach threw (see raise_open_failure).
unsigned attach_error(LogTable kind, const char* name) {
  try {
    attach_thread(kind, name, nullptr);
  } catch (const char*) {
    return kSharingViolation;
  } catch (std::uint32_t error) {
    return error;
  }
  return 0;
}

}  // namespace

void raise_open_failure(unsigned error) {
  if (error == kSharingViolation) throw kSharingViolationText;
  throw static_cast<std::uint32_t>(error);
}

unsigned open_slot_file(Slot& slot) {
  HANDLE file = open_log_file(slot.name);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != kPathNotFound && error != kInvalidName) return error;
    create_folders(slot.name);
    file = open_log_file(slot.name);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
  }
  if (slot.rotate_daily) stamp_creation_time(file);
  SetFilePointer(file, 0, nullptr, FILE_END);
  slot.file = file;
  slot.skipped_writes = 0;
  return 0;
}

int thread_slot(LogTable table) {
  const ThreadState* state = existing_thread_state();
  return state ? state->slot[static_cast<int>(table)] : kNoSlot;
}

void release_thread_slot(LogTable kind, ThreadState& state) {
  int& own = state.slot[static_cast<int>(kind)];
  if (own == kNoSlot || own == kConsoleSlot) return;
  Table& table = table_of(kind);
  ReleaseMutex(table.slots[own].write_mutex);  // in case this thread holds it
  const int index = own;
  own = kNoSlot;
  drop_reference(table, index);
}

void attach_thread(LogTable kind, const char* name, const char* settings_file) {
  if (!name || !name[0]) return;
  ThreadState* state = thread_state();
  if (!state) return;
  char path[kPathSize];
  if (!resolve_path(name, path)) raise_open_failure(kNameTooLong);
  Table& table = table_of(kind);
  int& own = state->slot[static_cast<int>(kind)];
  if (own > kConsoleSlot && _stricmp(table.slots[own].name, path) == 0) {
    reopen_if_closed(table.slots[own]);
    return;
  }
  release_thread_slot(kind, *state);
  char settings_path[kPathSize];
  if (!resolve_path(settings_file, settings_path)) settings_path[0] = '\0';
  const AttachOutcome outcome = find_or_create(table, path, settings_path);
  if (outcome.error != 0) raise_open_failure(outcome.error);
  if (outcome.table_full) {
    warn_table_full(kind, path);
    return;
  }
  own = outcome.index;
  reopen_if_closed(table.slots[own]);
}

unsigned rotate_now(LogTable kind, const char* name, int generations) {
  if (!name || !name[0]) return 0;
  char path[kPathSize];
  if (!resolve_path(name, path)) return kNameTooLong;
  Table& table = table_of(kind);
  int index = kNoSlot;
  {
    TableLock lock(table);
    index = find_slot(table, path);
    if (index != kNoSlot) ++table.refs[index];  // keeps the slot while it rotates
  }
  if (index == kNoSlot) return attach_error(kind, name);
  Slot& slot = table.slots[index];
  unsigned error = 0;
  {
    WriteLock lock(slot.write_mutex);
    if (slot.file != INVALID_HANDLE_VALUE) CloseHandle(slot.file);
    slot.file = INVALID_HANDLE_VALUE;
    slot.skipped_writes = 0;
    rotate_generations(path, clamp_generations(generations));
    error = open_slot_file(slot);  // on failure later writes retry it
  }
  drop_reference(table, index);
  return error;
}

void write_to_slot(LogTable kind, int index, const char* data, std::size_t size) {
  if (index == kNoSlot) return;
  Slot& slot = table_of(kind).slots[index];
  WriteLock lock(slot.write_mutex);
  if (slot.file == INVALID_HANDLE_VALUE || !slot.file) {
    // Only a named slot can be reopened (the net events console has no file at all).
    if (index == kConsoleSlot || !slot.name[0]) return;
    if (++slot.skipped_writes < kReopenRetryWrites) return;
    slot.skipped_writes = 0;
    if (open_slot_file(slot) != 0) return;
  }
  DWORD written = 0;
  WriteFile(slot.file, data, static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace kv
