// Dumps through ombrel.dll: the auto setting, the full-dump limit, the dump path, dumps
// on request and crash dumps.
#include <atomic>
#include <cstdio>

#include "basalt_settings.h"
#include "kv_exc.h"
#include "kv_util.h"
#include "kvexc.h"

namespace kv {
namespace {

using SnapFn = int(__cdecl*)(int type, const char* path);
using CrashFn = int(__stdcall*)(int kind, const char* path, unsigned thread_id,
                                EXCEPTION_POINTERS* pointers);

int read_auto_setting() {
  return basalt::settings_int(kDumpsSection, kAutoKey, 0) != 0 ? 1 : 0;
}

std::atomic<int> g_auto{read_auto_setting()};
std::atomic<int> g_stopped{0};
std::atomic<int> g_full_count{0};
std::atomic<HMODULE> g_own_ombrel{nullptr};  // loaded here when absent at library start
std::atomic<SnapFn> g_snap{nullptr};
std::atomic<CrashFn> g_crash{nullptr};
char g_dump_path[kPathSize] = "";  // the last dump's path, under the dump mutex

HMODULE ombrel() {
  HMODULE at_start = ombrel_module();
  return at_start ? at_start : g_own_ombrel.load();
}

void load_ombrel() {
  if (ombrel()) return;
  HMODULE loaded = LoadLibraryA(kOmbrelDll);
  HMODULE expected = nullptr;
  if (loaded && !g_own_ombrel.compare_exchange_strong(expected, loaded)) FreeLibrary(loaded);
}

void look_up_entries() {
  HMODULE module = ombrel();
  if (!module) return;
  if (!g_snap.load()) {
    g_snap =
        reinterpret_cast<SnapFn>(reinterpret_cast<void*>(GetProcAddress(module, kSnapDumpName)));
  }
  if (!g_crash.load()) {
    g_crash =
        reinterpret_cast<CrashFn>(reinterpret_cast<void*>(GetProcAddress(module, kCrashDumpName)));
  }
}

// Entry points on first need: from the DLL loaded at start, else loaded now.
void ensure_entries() {
  if (g_snap.load() && g_crash.load()) return;
  load_ombrel();
  look_up_entries();
}

// "Dumps\YYYYMMDD\" + kind word + "HHMMSS_mmm.dmp" in the current folder; the folders
// are made on the way (an existing one is fine).
void build_dump_path(int kind, char* out) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char folder[kPathSize];
  std::snprintf(folder, sizeof folder, "%s\\%04u%02u%02u\\", kDumpsFolder, t.wYear, t.wMonth,
                t.wDay);
  CreateDirectoryA(kDumpsFolder, nullptr);
  CreateDirectoryA(folder, nullptr);
  std::snprintf(out, kPathSize, "%s%s%02u%02u%02u_%03u.dmp", folder,
                kind != kMiniDump ? kFullWord : kMiniWord, t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds);
}

bool is_rpc_status(unsigned code) {
  return code >= kRpcFirst && code <= kRpcLast;
}

// The crash kind: full only with "fulloncrash" and under the limit; a full request
// always counts.
int crash_kind(int kind) {
  if (kind != kFullDump) return kind;
  const bool full_on_crash = basalt::settings_int(kDumpsSection, kFullOnCrashKey, 0) != 0;
  const bool limit_reached = g_full_count.fetch_add(1) >= kFullDumpLimit;
  return limit_reached || !full_on_crash ? kMiniDump : kind;
}

}  // namespace

DumpLock::DumpLock() {
  HANDLE mutex = dump_mutex();
  const DWORD r = mutex ? WaitForSingleObject(mutex, kDumpMutexWaitMs) : WAIT_FAILED;
  held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

DumpLock::~DumpLock() {
  if (held_) ReleaseMutex(dump_mutex());
}

bool reload_auto_setting() {
  if (g_stopped.load()) return false;
  const int on = read_auto_setting();
  g_auto.exchange(on);
  if (on) {
    load_ombrel();
    look_up_entries();
  }
  return on != 0;
}

void create_process_dump(int kind, bool count_full, bool respect_auto) {
  if (respect_auto && !reload_auto_setting()) return;
  ensure_entries();
  const SnapFn snap = g_snap.load();
  if (!snap) return;
  DumpLock lock;
  if (!lock.held()) return;
  if (kind == kFullDump && count_full && g_full_count.fetch_add(1) >= kFullDumpLimit) {
    kind = kMiniDump;
  }
  build_dump_path(kind, g_dump_path);
  snap(kind | kHandleDataFlag, g_dump_path);
}

void create_crash_dump(int kind, EXCEPTION_POINTERS* pointers, bool respect_auto, DWORD thread_id) {
  if (respect_auto && !reload_auto_setting()) return;
  ensure_entries();
  const CrashFn crash = g_crash.load();
  if (!crash) return;
  const EXCEPTION_RECORD* record = exception_record(pointers);
  const unsigned code = record ? record->ExceptionCode : 0;
  if (is_rpc_status(code)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", code);
    TaggedLine("ExcFilterI") << "Skipping dump creation for RPC exception 0x" << hex;
    return;
  }
  TaggedLine("DUMP:: <CreateProcessCrashDump") << "Beginning crash dump creation";
  const int final_kind = crash_kind(kind);
  char path[kPathSize];
  int result = 0;
  {
    DumpLock lock;
    if (!lock.held()) return;
    build_dump_path(final_kind, g_dump_path);
    // ombrel.dll copies the record and the context: it is given both or neither.
    EXCEPTION_POINTERS* usable = record && exception_context(pointers) ? pointers : nullptr;
    result = crash(final_kind, g_dump_path, thread_id, usable);
    std::snprintf(path, sizeof path, "%s", g_dump_path);
  }
  // ombrel.dll gives up waiting for its writer after a while (the writer may be unable
  // to start, e.g. while this thread holds the loader lock); the dump is then unfinished.
  TaggedLine("DUMP:: CreateProcessCrashDump>")
      << "Crash dump [" << path << "] " << (result == kDumpNotFinished ? "not finished" : "done");
}

}  // namespace kv

extern "C" void __cdecl CreateProcessDump(int kind, int count_full, int respect_auto) {
  kv::ReentryGuard guard;
  if (guard.entered()) return;
  kv::LastErrorKeeper keep;
  kv::create_process_dump(kind, count_full != 0, respect_auto != 0);
}

extern "C" void __cdecl CreateProcessCrashDump(int kind, EXCEPTION_POINTERS* pointers,
                                               int respect_auto) {
  kv::ReentryGuard guard;
  if (guard.entered()) return;
  kv::LastErrorKeeper keep;
  kv::create_crash_dump(kind, pointers, respect_auto != 0, GetCurrentThreadId());
}

extern "C" unsigned char __cdecl IsAutoDumpCreationEnabled(void) {
  kv::LastErrorKeeper keep;
  return kv::reload_auto_setting() ? 1 : 0;
}

extern "C" unsigned char __cdecl EnableAutoDumpCreation(int enable) {
  return static_cast<unsigned char>(kv::g_auto.exchange((enable & 0xFF) != 0 ? 1 : 0));
}

extern "C" int __cdecl IsFullDumpLimitExceeded(void) {
  return kv::g_full_count.load() >= kv::kFullDumpLimit ? 1 : 0;
}

extern "C" int __cdecl SetDisableDumpsOnProcessStop(void) {
  return kv::g_stopped.exchange(1);
}
