// Library-wide state: the three log tables with their console slots, the thread-local
// index, the dump mutex, the sibling DLLs and the debug level.
#include "kv_util_state.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

namespace kv {
namespace {

HMODULE g_module = nullptr;
HMODULE g_ombrel = nullptr;
HMODULE g_vigilor = nullptr;
FARPROC g_send_info = nullptr;
HANDLE g_dump_mutex = nullptr;
DWORD g_tls = TLS_OUT_OF_INDEXES;
std::atomic<int> g_debug_level{0};
char g_host_path[kPathSize] = "";
Table g_tables[kTableCount];

void fatal(const char* text) {
  FatalAppExitA(0, text);
}

void clear_slot(Slot& slot, int index) {
  std::memset(&slot, 0, sizeof slot);
  slot.index = index;
  slot.file = INVALID_HANDLE_VALUE;
}

bool make_tables() {
  const HANDLE console[kTableCount] = {GetStdHandle(STD_OUTPUT_HANDLE),
                                       GetStdHandle(STD_ERROR_HANDLE), INVALID_HANDLE_VALUE};
  for (int t = 0; t < kTableCount; ++t) {
    Table& table = g_tables[t];
    for (int i = 0; i < kSlotCount; ++i) {
      clear_slot(table.slots[i], i);
      table.refs[i] = 0;
    }
    Slot& zero = table.slots[kConsoleSlot];
    zero.file = console[t] ? console[t] : INVALID_HANDLE_VALUE;
    zero.write_mutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!zero.write_mutex) fatal("Korvex: can't create a console write mutex");
    table.mutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (!table.mutex) return false;
  }
  return true;
}

void read_host_path() {
  const DWORD n = GetModuleFileNameA(nullptr, g_host_path, kPathSize);
  if (n == 0 || n >= kPathSize) g_host_path[0] = '\0';
}

void close_handle(HANDLE& h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  h = nullptr;
}

}  // namespace

HMODULE module_handle() {
  return g_module;
}
HANDLE dump_mutex() {
  return g_dump_mutex;
}
HMODULE ombrel_module() {
  return g_ombrel;
}
FARPROC vigilor_send_info() {
  return g_send_info;
}
const char* host_program_path() {
  return g_host_path;
}
int debug_level() {
  return g_debug_level.load(std::memory_order_relaxed);
}

int set_debug_level(int level) {
  if (level < 0) return debug_level();
  return g_debug_level.exchange(level, std::memory_order_relaxed);
}

Table& table_of(LogTable table) {
  return g_tables[static_cast<int>(table)];
}

ThreadState* existing_thread_state() {
  if (g_tls == TLS_OUT_OF_INDEXES) return nullptr;
  return static_cast<ThreadState*>(TlsGetValue(g_tls));
}

ThreadState* thread_state() {
  ThreadState* state = existing_thread_state();
  if (state || g_tls == TLS_OUT_OF_INDEXES) return state;
  state = new (std::nothrow) ThreadState;
  if (!state) return nullptr;
  std::memset(state, 0, sizeof *state);
  for (int& s : state->slot) s = kNoSlot;
  if (!TlsSetValue(g_tls, state)) {
    delete state;
    return nullptr;
  }
  // The C runtime makes a thread's own data (errno, which the line formatter reads) on
  // first use, from the process heap. Made now, a line of this thread never needs the
  // heap: KTerminateThread writes its lines after ending a thread that may hold the
  // heap's lock for good.
  const int saved_errno = errno;
  errno = saved_errno;
  return state;
}

void detach_thread() {
  const DWORD saved = GetLastError();
  for (Table& table : g_tables) ReleaseMutex(table.slots[kConsoleSlot].write_mutex);
  ThreadState* state = existing_thread_state();
  if (state) {
    for (int t = 0; t < kTableCount; ++t) release_thread_slot(static_cast<LogTable>(t), *state);
    TlsSetValue(g_tls, nullptr);
    delete state;
  }
  SetLastError(saved);
}

bool library_attach(HMODULE self) {
  g_module = self;
  read_host_path();
  if (!make_tables()) return false;
  g_dump_mutex = CreateMutexA(nullptr, FALSE, nullptr);
  if (!g_dump_mutex) return false;
  g_tls = TlsAlloc();
  if (g_tls == TLS_OUT_OF_INDEXES) return false;
  // Only now that the tables and thread-local storage exist may a sibling's own
  // start-up call back into this library.
  g_ombrel = LoadLibraryA(kOmbrelDll);
  g_vigilor = LoadLibraryA(kVigilorDll);
  if (g_vigilor) g_send_info = GetProcAddress(g_vigilor, kSendInfoName);
  return true;
}

void library_detach(bool process_ending) {
  ThreadState* state = existing_thread_state();
  if (state) {
    TlsSetValue(g_tls, nullptr);
    delete state;
  }
  if (g_tls != TLS_OUT_OF_INDEXES) TlsFree(g_tls);
  g_tls = TLS_OUT_OF_INDEXES;
  // When the whole process ends, other modules may already be gone: leave them be.
  if (!process_ending) {
    if (g_ombrel) FreeLibrary(g_ombrel);
    if (g_vigilor) FreeLibrary(g_vigilor);
  }
  g_ombrel = g_vigilor = nullptr;
  g_send_info = nullptr;
  for (Table& table : g_tables) {
    close_handle(table.slots[kConsoleSlot].write_mutex);
    close_handle(table.mutex);
  }
  close_handle(g_dump_mutex);
}

TableLock::TableLock(Table& table) : mutex_(table.mutex) {
  const DWORD r = WaitForSingleObject(mutex_, INFINITE);
  if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) fatal("Korvex: can't take a log table mutex");
}

TableLock::~TableLock() {
  if (!ReleaseMutex(mutex_)) fatal("Korvex: can't release a log table mutex");
}

WriteLock::WriteLock(HANDLE mutex) : mutex_(mutex) {
  const DWORD r = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
  held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

WriteLock::~WriteLock() {
  if (held_) ReleaseMutex(mutex_);
}

}  // namespace kv
