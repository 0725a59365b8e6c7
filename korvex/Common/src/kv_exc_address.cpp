// Safe memory checks and the logical address (module, section, offset) of a code address.
#include <cstring>

#include "kv_exc.h"

namespace kv {
namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

bool region_ok(const MEMORY_BASIC_INFORMATION& region, bool writable) {
  if (region.State != MEM_COMMIT) return false;
  if (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (region.Protect & (writable ? kWritable : kReadable)) != 0;
}

// The NT headers of an image mapped at base, or null when the region is not an image
// with valid MZ and PE signatures.
const IMAGE_NT_HEADERS* image_headers(std::uintptr_t base) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<const void*>(base), &region, sizeof region) == 0)
    return nullptr;
  if (region.Type != MEM_IMAGE) return nullptr;
  if (!memory_ok(base, sizeof(IMAGE_DOS_HEADER), false)) return nullptr;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return nullptr;
  const std::uintptr_t nt_at = base + static_cast<std::uintptr_t>(dos->e_lfanew);
  if (!memory_ok(nt_at, sizeof(IMAGE_NT_HEADERS), false)) return nullptr;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(nt_at);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

}  // namespace

void locate_section(std::uintptr_t base, std::uintptr_t address, LogicalAddress& out) {
  const IMAGE_NT_HEADERS* nt = image_headers(base);
  if (!nt) return;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const unsigned count = nt->FileHeader.NumberOfSections;
  const auto table_at = reinterpret_cast<std::uintptr_t>(section);
  if (!memory_ok(table_at, count * sizeof(IMAGE_SECTION_HEADER), false)) return;
  const std::uintptr_t rva = address - base;
  for (unsigned i = 0; i < count; ++i, ++section) {
    const std::uintptr_t start = section->VirtualAddress;
    const DWORD size = section->Misc.VirtualSize > section->SizeOfRawData
                           ? section->Misc.VirtualSize
                           : section->SizeOfRawData;
    if (rva >= start && rva <= start + size) {
      out.section = i + 1;
      out.offset = rva - start;
      return;
    }
  }
}

bool memory_ok(std::uintptr_t address, std::size_t size, bool writable) {
  if (address == 0 || size == 0 || address + size < address) return false;
  const std::uintptr_t end = address + size;
  std::uintptr_t at = address;
  while (at < end) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) == 0) return false;
    if (!region_ok(region, writable)) return false;
    const std::uintptr_t region_end =
        reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (region_end <= at) return false;
    at = region_end;
  }
  return true;
}

std::uintptr_t region_base(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return 0;
  return reinterpret_cast<std::uintptr_t>(region.AllocationBase);
}

LogicalAddress logical_address(std::uintptr_t address) {
  LogicalAddress out;
  const std::uintptr_t base = region_base(address);
  if (base == 0) return out;
  const DWORD n =
      GetModuleFileNameA(reinterpret_cast<HMODULE>(base), out.module, sizeof out.module);
  if (n == 0 || n >= sizeof out.module) out.module[0] = '\0';
  locate_section(base, address, out);
  return out;
}

namespace {

// ntdll's loader-lock functions, found while the library loads (a lookup later would
// itself wait for the loader lock).
using LockLoaderFn = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using UnlockLoaderFn = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
constexpr ULONG kTryOnly = 2;          // LdrLockLoaderLock: do not wait
constexpr ULONG kAcquired = 1;         // disposition: the lock was taken
constexpr int kLoaderLockTries = 100;  // about half a second in all
constexpr DWORD kLoaderLockPauseMs = 5;

template <class F>
F ntdll_function(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
               : nullptr;
}
const LockLoaderFn g_lock_loader = ntdll_function<LockLoaderFn>("LdrLockLoaderLock");
const UnlockLoaderFn g_unlock_loader = ntdll_function<UnlockLoaderFn>("LdrUnlockLoaderLock");

}  // namespace

LoaderLockTry::LoaderLockTry() {
  if (!g_lock_loader || !g_unlock_loader) return;
  for (int i = 0; i < kLoaderLockTries; ++i) {
    ULONG disposition = 0;
    ULONG_PTR cookie = 0;
    if (g_lock_loader(kTryOnly, &disposition, &cookie) >= 0 && disposition == kAcquired) {
      held_ = true;
      cookie_ = cookie;
      return;
    }
    Sleep(kLoaderLockPauseMs);
  }
}

LoaderLockTry::~LoaderLockTry() {
  if (held_) g_unlock_loader(0, cookie_);
}

void module_path_locked(std::uintptr_t base, char* out, std::size_t size) {
  out[0] = '\0';
  if (base == 0 || size == 0) return;
  // The wide lookup: the narrow one converts through a heap buffer, and the heap's lock
  // may be held by a thread that was terminated.
  wchar_t wide[kPathSize];
  const DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(base), wide, kPathSize);
  if (n == 0 || n >= kPathSize) return;
  const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int m = WideCharToMultiByte(code_page, 0, wide, static_cast<int>(n), out,
                                    static_cast<int>(size) - 1, nullptr, nullptr);
  out[m > 0 ? m : 0] = '\0';
}

namespace {

template <class T>
const T* readable(const T* p) {
  return p && memory_ok(reinterpret_cast<std::uintptr_t>(p), sizeof *p, false) ? p : nullptr;
}

}  // namespace

const EXCEPTION_RECORD* exception_record(const EXCEPTION_POINTERS* pointers) {
  return readable(pointers) ? readable(pointers->ExceptionRecord) : nullptr;
}

const CONTEXT* exception_context(const EXCEPTION_POINTERS* pointers) {
  return readable(pointers) ? readable(pointers->ContextRecord) : nullptr;
}

}  // namespace kv
